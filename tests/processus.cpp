#include "processus.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

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
        for (const std::string &e : env) {
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
    } else if (WIFEXITED(wstatus)) {
        r.status = WEXITSTATUS(wstatus);
    } else if (WIFSIGNALED(wstatus)) {
        r.status = 128 + WTERMSIG(wstatus);
    }
    return r;
}

resultat_t execute(const std::vector<std::string> &args, const std::vector<std::string> &env,
                   int timeout_ms) {
    processus_t p = demarre(args, env);
    return attend(p, timeout_ms);
}
