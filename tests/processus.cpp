#include "processus.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

// Leaks do not change the exit status; attend judges the report, in which
// each frame ends with its module in double brackets. Stacks are unwound the
// fast way (a full unwind makes the GL driver's start take seconds), so one
// may stop at the first library built without frame pointers.
constexpr const char *OPTIONS_FUITES =
    "LSAN_OPTIONS=exitcode=0:stack_trace_format='    #%n %p %F %L [[%m]]'";

// Modules an allocation goes through on behalf of whoever called them.
bool intermediaire(const std::string &module) {
    const std::string nom = module.substr(module.rfind('/') + 1);
    static const std::array<const char *, 10> prefixes = {
        "libasan.", "libubsan.", "liblsan.",   "libSDL2",   "libSDL3",
        "libc.",    "libm.",     "libstdc++.", "libgcc_s.", "ld-linux"};
    return std::any_of(prefixes.begin(), prefixes.end(),
                       [&](const char *p) { return nom.rfind(p, 0) == 0; });
}

// Ours when the first frame outside the intermediaries lies in our tree,
// at a place our symbols name: our code is built with them. A frame in our
// binary that no function of it holds is past its end, where a library
// since unloaded (a GL driver SDL tried) had its code, or the garbage of a
// cut-short unwind: nothing says who asked.
bool fuite_a_nous(const std::string &bloc, const std::string &dossier) {
    std::istringstream lignes(bloc);
    std::string ligne;
    while (std::getline(lignes, ligne)) {
        const auto debut = ligne.rfind("[[");
        const auto fin = ligne.rfind("]]");
        if (debut == std::string::npos || fin == std::string::npos || fin < debut) {
            continue;
        }
        const std::string module = ligne.substr(debut + 2, fin - debut - 2);
        if (!intermediaire(module)) {
            const bool nommee = ligne.find(" in ") < debut;
            return nommee && module.rfind(dossier + "/", 0) == 0;
        }
    }
    // A stack cut short inside SDL or the C++ library, which are built
    // without frame pointers: nothing says who asked. Our own code is
    // built with them, so what it allocates always shows its frame.
    return false;
}

// The build tree as module paths show it, symbolic links resolved.
const std::string &dossier_build() {
    static const std::string dossier = [] {
        char *reel = realpath(VORNA_BUILD_DIR, nullptr);
        const std::string d = reel != nullptr ? reel : VORNA_BUILD_DIR;
        std::free(reel);
        return d;
    }();
    return dossier;
}

}  // namespace

std::string fuites_a_nous(const std::string &rapport, const std::string &dossier) {
    std::string nos_fuites;
    // Each leak is a block that starts with "Direct leak" or "Indirect
    // leak" and ends at the next blank line.
    size_t pos = 0;
    while ((pos = rapport.find(" leak of ", pos)) != std::string::npos) {
        const size_t debut = rapport.rfind('\n', pos) + 1;
        size_t fin = rapport.find("\n\n", pos);
        fin = fin == std::string::npos ? rapport.size() : fin + 1;
        const std::string bloc = rapport.substr(debut, fin - debut);
        if (fuite_a_nous(bloc, dossier)) {
            nos_fuites += bloc + "\n";
        }
        pos = fin;
    }
    return nos_fuites;
}

processus_t demarre(const std::vector<std::string> &args, const std::vector<std::string> &env) {
    int out[2];
    int err[2];
    processus_t p;
    if (pipe2(out, O_CLOEXEC) != 0) {
        return p;
    }
    if (pipe2(err, O_CLOEXEC) != 0) {
        close(out[0]);
        close(out[1]);
        return p;
    }
    p.pid = fork();
    if (p.pid == 0) {
        std::vector<std::string> variables = {OPTIONS_FUITES};
        variables.insert(variables.end(), env.begin(), env.end());
        for (const std::string &e : variables) {
            const auto egal = e.find('=');
            if (egal == std::string::npos) {
                unsetenv(e.c_str());
            } else {
                setenv(e.substr(0, egal).c_str(), e.substr(egal + 1).c_str(), 1);
            }
        }
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        std::vector<char *> argv;
        for (const std::string &a : args) {
            argv.push_back(const_cast<char *>(a.c_str()));
        }
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    p.sortie = out[0];
    p.erreurs = err[0];
    return p;
}

resultat_t attend(processus_t &p, int timeout_ms) {
    resultat_t r;
    if (p.pid <= 0) {
        return r;
    }
    const auto fin = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    bool tue = false;
    pollfd fds[2] = {{p.sortie, POLLIN, 0}, {p.erreurs, POLLIN, 0}};
    std::string *dest[2] = {&r.sortie, &r.erreurs};
    while (fds[0].fd >= 0 || fds[1].fd >= 0) {
        const auto reste = std::chrono::duration_cast<std::chrono::milliseconds>(
                               fin - std::chrono::steady_clock::now())
                               .count();
        if (reste <= 0 && !tue) {
            kill(p.pid, SIGKILL);
            tue = true;
        }
        if (poll(fds, 2, tue ? 1000 : static_cast<int>(reste)) < 0) {
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) {
                continue;
            }
            char tampon[4096];
            const ssize_t n = read(fds[i].fd, tampon, sizeof tampon);
            if (n > 0) {
                dest[i]->append(tampon, static_cast<size_t>(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
            }
        }
    }
    int wstatus = 0;
    if (!tue) {
        // The pipes can close before the exit (a child that closes its
        // streams): the rest of the time still bounds the wait.
        while (waitpid(p.pid, &wstatus, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() >= fin) {
                kill(p.pid, SIGKILL);
                tue = true;
                break;
            }
            usleep(5000);
        }
    }
    if (tue) {
        waitpid(p.pid, &wstatus, 0);
    }
    p.sortie = p.erreurs = -1;
    p.pid = -1;
    if (tue) {
        r.status = -1;
    } else if (!fuites_a_nous(r.erreurs, dossier_build()).empty()) {
        r.status = STATUT_FUITE;
    } else if (WIFEXITED(wstatus)) {
        r.status = WEXITSTATUS(wstatus);
    } else if (WIFSIGNALED(wstatus)) {
        r.status = 128 + WTERMSIG(wstatus);
    }
    return r;
}

void arrete(processus_t &p, int signal, int timeout_ms) {
    if (p.pid > 0) {
        kill(p.pid, signal);
        attend(p, timeout_ms);
    }
}

resultat_t execute(const std::vector<std::string> &args, const std::vector<std::string> &env,
                   int timeout_ms) {
    processus_t p = demarre(args, env);
    return attend(p, timeout_ms);
}

bool opengl_charge(pid_t pid) {
    static constexpr std::array<const char *, 6> OPENGL = {"/libGL",   "/libEGL", "/libOpenGL",
                                                           "/libLLVM", "_dri.so", "/libgallium"};
    std::ifstream f("/proc/" + std::to_string(pid) + "/maps");
    for (std::string l; std::getline(f, l);) {
        if (std::any_of(OPENGL.begin(), OPENGL.end(),
                        [&](const char *o) { return l.find(o) != std::string::npos; })) {
            return true;
        }
    }
    return false;
}

bool voie_gpu_forcee() {
    const char *force = std::getenv("SDL_FRAMEBUFFER_ACCELERATION");
    return force != nullptr && std::string(force) == "1";
}
