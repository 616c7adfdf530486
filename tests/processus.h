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

struct resultat_t {
    int status = -1;  // exit code; 128 + signal when killed; -1 when it had to be killed
    std::string sortie;
    std::string erreurs;
};

// Runs args[0] with the given arguments; each entry of env is "NAME=value"
// to set a variable or "NAME" to remove it from the inherited environment.
processus_t demarre(const std::vector<std::string> &args, const std::vector<std::string> &env);

// Reads the child's output until it exits; past timeout_ms it is killed.
resultat_t attend(processus_t &p, int timeout_ms);

// Starts, then waits: the whole run of a program that needs no driving.
resultat_t execute(const std::vector<std::string> &args, const std::vector<std::string> &env,
                   int timeout_ms);
