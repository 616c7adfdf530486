// Starts the built program as a separate process and collects what it
// prints and how it ends.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

struct processus_t {
    pid_t pid = -1;
    int sortie = -1;   // read end of the child's standard output
    int erreurs = -1;  // read end of the child's standard error
};

// The status a program that leaked memory of ours is given, as
// LeakSanitizer's own.
constexpr int STATUT_FUITE = 23;

struct resultat_t {
    // Exit code; 128 + signal when killed; -1 when it had to be killed;
    // STATUT_FUITE when a sanitizer build leaked memory of ours.
    int status = -1;
    std::string sortie;
    std::string erreurs;
};

// Runs args[0] with the given arguments; each entry of env is "NAME=value"
// to set a variable or "NAME" to remove it from the inherited environment.
// A sanitizer build's leak report is written with each frame's module, for
// attend to judge.
processus_t demarre(const std::vector<std::string> &args, const std::vector<std::string> &env);

// Reads the child's output until it exits; past timeout_ms it is killed.
resultat_t attend(processus_t &p, int timeout_ms);

// The blocks of a LeakSanitizer report that are our leaks. A leak is ours
// when, going out from the allocation, the first frame that is not the
// sanitizer runtime, SDL or the C and C++ runtimes lies in a module built
// from this tree (under dossier). A leak first met in a library below SDL
// (the GL driver, the X, Wayland or D-Bus client) is that library's, and so
// is one whose stack stops inside SDL or the runtimes. The program ends
// without SDL_Quit, and what those libraries hold then is not always
// reachable; which of their allocations show up differs with each version.
std::string fuites_a_nous(const std::string &rapport, const std::string &dossier);

// Ends a running program with this signal and waits for it; nothing if it
// is not running.
void arrete(processus_t &p, int signal, int timeout_ms = 5000);

// Starts, then waits: the whole run of a program that needs no driving.
resultat_t execute(const std::vector<std::string> &args, const std::vector<std::string> &env,
                   int timeout_ms);

// The running process has an OpenGL library mapped: the GL or EGL
// dispatcher, one of Mesa's drivers, or LLVM.
bool opengl_charge(pid_t pid);

// This run forces the GPU way (SDL_FRAMEBUFFER_ACCELERATION=1), as the
// gpu: copies of the cases do.
bool voie_gpu_forcee();
