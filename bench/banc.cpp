// Runs vorna and the bare reference side by side on virtual X servers and
// prints the medians of what they cost, as a markdown table, then how vorna
// stands against its targets.
// Usage: vorna_banc PATH_TO_VORNA PATH_TO_REFERENCE [ROUNDS]
#include <X11/keysym.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "ecran.h"
#include "processus.h"

#ifdef WESTON
#include "compositeurs.h"
#endif

namespace {

using horloge = std::chrono::steady_clock;

constexpr int PAS_DU_TRAJET_MS = 100;
constexpr int PAS_DU_TRAJET = 70;     // seven seconds of chasing,
constexpr int PAS_AVANT_MESURE = 10;  // the last six measured

struct mesure_t {
    double demarrage_ms = NAN;   // exec to the window's first present on screen
    double cpu_ms_par_s = NAN;   // the program's CPU time while chasing
    double xvfb_ms_par_s = NAN;  // the X server's, for the same seconds
    double rss_mib = NAN;        // peak resident memory
    double sortie_ms = NAN;      // Escape pressed to process gone
    double gl = NAN;             // 1 if any OpenGL library is mapped, else 0
    double tampons_mib = NAN;    // vorna's own shared-memory buffers, mapped
};

double ms_depuis(horloge::time_point t) {
    return std::chrono::duration<double, std::milli>(horloge::now() - t).count();
}

// CPU time of a process, in ms: what the scheduler ran its threads for,
// to the nanosecond. The user and system times of /proc/PID/stat come in
// ticks of 10 ms, charged to whoever runs when one falls: a program awake
// for a fraction of a millisecond twenty times a second gets a handful of
// them over six seconds, and one more or fewer moves its figure by a sixth.
// Threads gone by the time of reading are not counted; the programs
// measured keep theirs to the end. Ticks where the kernel keeps no
// schedstat.
double cpu_ms(pid_t pid) {
    const std::string processus = "/proc/" + std::to_string(pid);
    std::error_code erreur;
    double ns = 0;
    bool lu = false;
    for (const auto &fil : std::filesystem::directory_iterator(processus + "/task", erreur)) {
        std::ifstream f(fil.path() / "schedstat");
        double temps = 0;
        if (f >> temps) {
            ns += temps;
            lu = true;
        }
    }
    if (lu) {
        return ns / 1e6;
    }
    std::ifstream f(processus + "/stat");
    std::string ligne;
    std::getline(f, ligne);
    // Fields after the command name, which sits in parentheses.
    std::istringstream champs(ligne.substr(ligne.rfind(')') + 2));
    std::vector<std::string> v;
    for (std::string c; champs >> c;) {
        v.push_back(c);
    }
    if (v.size() < 13) {
        return NAN;
    }
    const double tic = static_cast<double>(sysconf(_SC_CLK_TCK));
    return (std::stod(v[11]) + std::stod(v[12])) * 1000.0 / tic;  // utime, stime
}

double pic_rss_mib(pid_t pid) {
    std::ifstream f("/proc/" + std::to_string(pid) + "/status");
    for (std::string l; std::getline(f, l);) {
        if (l.rfind("VmHWM:", 0) == 0) {
            return std::stod(l.substr(6)) / 1024.0;
        }
    }
    return NAN;
}

// Peak memory, and what the process has mapped while it runs: any OpenGL
// library, and vorna's own shared-memory buffers on Wayland.
void lit_memoire(mesure_t &m, pid_t pid) {
    m.rss_mib = pic_rss_mib(pid);
    m.gl = opengl_charge(pid) ? 1 : 0;
    std::ifstream f("/proc/" + std::to_string(pid) + "/maps");
    double tampons = 0;
    for (std::string l; std::getline(f, l);) {
        if (l.find("/memfd:vorna") != std::string::npos) {
            const auto tiret = l.find('-');
            tampons += static_cast<double>(std::stoull(l.substr(tiret + 1), nullptr, 16) -
                                           std::stoull(l.substr(0, tiret), nullptr, 16));
        }
    }
    m.tampons_mib = tampons / (1024.0 * 1024.0);
}

struct programme_t {
    const char *nom;
    std::vector<std::string> args;
    const char *titre;
    std::vector<std::string> env;  // beyond the display's
};

mesure_t mesure(const programme_t &programme, int w, int h) {
    mesure_t m;
    ecran_t ecran;
    // A white root: the window is on screen once its top row is not white.
    if (!ecran_demarre(ecran, w, h, {"-wr"})) {
        return m;
    }
    const auto blanc = [&] {
        const image_t rang = capture(ecran, w, 1);
        return std::all_of(rang.px.begin(), rang.px.end(),
                           [](std::uint32_t p) { return p == 0xFFFFFFU; });
    };
    const auto t0 = horloge::now();
    std::vector<std::string> env = {"DISPLAY=" + ecran.display, "SDL_VIDEODRIVER",
                                    "SDL_RENDER_DRIVER", "SDL_FRAMEBUFFER_ACCELERATION",
                                    "LIBGL_ALWAYS_SOFTWARE"};
    env.insert(env.end(), programme.env.begin(), programme.env.end());
    processus_t prog = demarre(programme.args, env);
    if (attend_que([&] { return !blanc(); }, 15000)) {
        m.demarrage_ms = ms_depuis(t0);
    }
    fenetre(ecran, programme.titre, 5000);

    // CPU is counted from the second second of chasing on: what start-up
    // does after its first present (the canvas, its first full present) is
    // start-up's, not a frame's.
    double cpu0 = NAN;
    double xvfb0 = NAN;
    auto tc = horloge::now();
    for (int i = 0; i < PAS_DU_TRAJET; ++i) {
        if (i == PAS_AVANT_MESURE) {
            cpu0 = cpu_ms(prog.pid);
            xvfb0 = cpu_ms(ecran.xvfb.pid);
            tc = horloge::now();
        }
        const double a = 6.283185307179586 * i / PAS_DU_TRAJET;
        pointe(ecran, w / 2 + static_cast<int>(w / 4 * std::cos(a)),
               (h - 75) / 2 + static_cast<int>((h - 75) / 4 * std::sin(2 * a)));
        std::this_thread::sleep_for(std::chrono::milliseconds(PAS_DU_TRAJET_MS));
    }
    const double secondes = ms_depuis(tc) / 1000.0;
    m.cpu_ms_par_s = (cpu_ms(prog.pid) - cpu0) / secondes;
    m.xvfb_ms_par_s = (cpu_ms(ecran.xvfb.pid) - xvfb0) / secondes;
    lit_memoire(m, prog.pid);

    const auto t2 = horloge::now();
    touche(ecran, XK_Escape);
    const resultat_t r = attend(prog, 5000);
    if (r.status == 0) {
        m.sortie_ms = ms_depuis(t2);
    }
    ecran_arrete(ecran);
    return m;
}

// CPU time of a process and of every process under it, in ms: a
// compositor's own work may be done by processes it started (KWin runs in
// the sway it starts, GNOME Shell starts helpers).
double cpu_arbre_ms(pid_t racine) {
    std::vector<std::pair<pid_t, pid_t>> parents;  // (process, its parent)
    std::error_code erreur;
    for (const auto &d : std::filesystem::directory_iterator("/proc", erreur)) {
        const pid_t pid = std::atoi(d.path().filename().c_str());
        std::ifstream f(d.path() / "stat");
        std::string ligne;
        if (pid > 0 && std::getline(f, ligne) && ligne.rfind(')') != std::string::npos) {
            // After the command name, in parentheses: the state, then the parent.
            std::istringstream champs(ligne.substr(ligne.rfind(')') + 2));
            std::string etat;
            pid_t parent = 0;
            champs >> etat >> parent;
            parents.emplace_back(pid, parent);
        }
    }
    std::vector<pid_t> arbre = {racine};
    for (size_t i = 0; i < arbre.size(); ++i) {
        for (const auto &[pid, parent] : parents) {
            if (parent == arbre[i]) {
                arbre.push_back(pid);
            }
        }
    }
    double ms = 0;
    for (const pid_t pid : arbre) {
        const double t = cpu_ms(pid);
        ms += std::isnan(t) ? 0 : t;
    }
    return ms;
}

// A program started on a compositor that is up: CPU over six seconds after
// two of start-up, for the program and, separately, the compositor and what
// it started; the program's peak memory.
void mesure_client(mesure_t &m, const programme_t &programme, std::vector<std::string> env,
                   pid_t serveur) {
    env.insert(env.end(), {"DISPLAY", "SDL_VIDEODRIVER=wayland", "SDL_RENDER_DRIVER",
                           "SDL_FRAMEBUFFER_ACCELERATION", "LIBGL_ALWAYS_SOFTWARE"});
    env.insert(env.end(), programme.env.begin(), programme.env.end());
    processus_t prog = demarre(programme.args, env);
    std::this_thread::sleep_for(std::chrono::seconds(2));
    // A program gone already (SDL 2.26's Wayland driver crashes in
    // SDL_Init on some compositors) leaves nothing to measure.
    if (waitpid(prog.pid, nullptr, WNOHANG) == 0) {
        const double cpu0 = cpu_ms(prog.pid);
        const double serveur0 = cpu_arbre_ms(serveur);
        const auto tc = horloge::now();
        std::this_thread::sleep_for(std::chrono::seconds(6));
        const double secondes = ms_depuis(tc) / 1000.0;
        m.cpu_ms_par_s = (cpu_ms(prog.pid) - cpu0) / secondes;
        m.xvfb_ms_par_s = (cpu_arbre_ms(serveur) - serveur0) / secondes;
        lit_memoire(m, prog.pid);
    }
    arrete(prog, SIGTERM);
}

// The compositor's options for a headless output drawn by pixman, as the
// installed weston names them (they changed in weston 12); empty when there
// is no weston.
std::vector<std::string> options_weston() {
    const resultat_t r = execute({"/bin/sh", "-c", "exec weston --version"}, {}, 5000);
    const auto chiffre = r.sortie.find_first_of("0123456789");
    if (r.status != 0 || chiffre == std::string::npos) {
        return {};
    }
    if (std::atoi(r.sortie.c_str() + chiffre) >= 12) {
        return {"--backend=headless", "--renderer=pixman", "--shell=kiosk"};
    }
    return {"--backend=headless-backend.so", "--use-pixman", "--shell=kiosk-shell.so"};
}

// The same program on a native Wayland compositor (a headless weston with
// its kiosk shell), which has no pointer to follow: the cells crawl to a
// corner and go on drawing there. Kiosk shows every window full screen,
// with no frame: SDL is given no libdecor plugin to draw one, since the one
// installed for GNOME Shell's tests (GTK's) would add 16 MiB to any SDL
// program on a compositor that does not frame windows.
mesure_t mesure_wayland(const programme_t &programme, int w, int h,
                        const std::vector<std::string> &options) {
    mesure_t m;
    char modele[] = "/tmp/vorna-banc-XXXXXX";
    if (mkdtemp(modele) == nullptr) {
        return m;
    }
    const std::string dossier = modele;
    std::vector<std::string> args = {"/bin/sh",
                                     "-c",
                                     "exec weston \"$@\"",
                                     "weston",
                                     "--socket=banc",
                                     "--no-config",
                                     "--idle-time=0",
                                     "--width=" + std::to_string(w),
                                     "--height=" + std::to_string(h)};
    args.insert(args.end(), options.begin(), options.end());
    processus_t weston = demarre(args, {"XDG_RUNTIME_DIR=" + dossier});
    if (attend_que([&] { return access((dossier + "/banc").c_str(), F_OK) == 0; }, 10000)) {
        mesure_client(m, programme,
                      {"XDG_RUNTIME_DIR=" + dossier, "WAYLAND_DISPLAY=banc",
                       "LIBDECOR_PLUGIN_DIR=" + dossier},
                      weston.pid);
    }
    arrete(weston, SIGTERM);
    execute({"/bin/rm", "-rf", dossier}, {}, 5000);
    return m;
}

double mediane(std::vector<double> v) {
    v.erase(std::remove_if(v.begin(), v.end(), [](double x) { return std::isnan(x); }), v.end());
    if (v.empty()) {
        return NAN;
    }
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
}

struct medianes_t {
    double demarrage, cpu, xvfb, rss, sortie, tampons;
    bool gl;  // in any round
};

medianes_t medianes(const std::vector<mesure_t> &ms) {
    const auto col = [&](double mesure_t::*champ) {
        std::vector<double> v;
        for (const mesure_t &m : ms) {
            v.push_back(m.*champ);
        }
        return mediane(v);
    };
    return {col(&mesure_t::demarrage_ms),
            col(&mesure_t::cpu_ms_par_s),
            col(&mesure_t::xvfb_ms_par_s),
            col(&mesure_t::rss_mib),
            col(&mesure_t::sortie_ms),
            col(&mesure_t::tampons_mib),
            std::any_of(ms.begin(), ms.end(), [](const mesure_t &m) { return m.gl == 1; })};
}

// No more than b, as the tables print them (to a tenth): two figures that
// read the same must not fail on the digits beyond.
bool pas_plus(double a, double b) {
    return std::round(a * 10) <= std::round(b * 10);
}

constexpr std::array<std::pair<int, int>, 3> ECRANS = {{{1280, 800}, {1920, 1080}, {3840, 2160}}};

// Without a GPU on Wayland, vorna maps no OpenGL library, and its peak
// memory is its canvas (at most the output's size) and the buffers it
// holds, plus 16 MiB.
std::string cible_memoire_wayland(const char *ou, int w, int h, const medianes_t &v) {
    const double canvas_mib = static_cast<double>(w) * h * 4 / (1024.0 * 1024.0);
    const double plafond = canvas_mib + v.tampons + 16;
    char ligne[512];
    std::snprintf(ligne, sizeof ligne,
                  "- %s, %d × %d: vorna maps OpenGL: %s (target: no: %s); peak memory %.1f MiB "
                  "against the canvas's %.1f plus its buffers' %.1f plus 16 (%s).\n",
                  ou, w, h, v.gl ? "yes" : "no", v.gl ? "NOT met" : "met", v.rss, canvas_mib,
                  v.tampons, v.rss <= plafond ? "met" : "NOT met");
    return ligne;
}

// vorna against the references on Xvfb; false if a measure is missing.
bool banc_x11(const char *vorna, const char *reference, int tours) {
    // vorna as it runs here, where OpenGL is Mesa's software rasteriser, and
    // forced onto the way it takes where a GPU draws, as it ran everywhere
    // before it chose.
    const std::vector<programme_t> programmes = {
        {"floor: the window's surface alone, no renderer",
         {reference, "--surface"},
         "VORNA REFERENCE",
         {"SDL_FRAMEBUFFER_ACCELERATION=0"}},
        {"bare reference", {reference}, "VORNA REFERENCE", {}},
        {"reference drawing the cells", {reference, "--cellules"}, "VORNA REFERENCE", {}},
        {"vorna, GPU way forced (canvas texture copied whole)",
         {vorna},
         "VORNA V0.0.01",
         {"SDL_FRAMEBUFFER_ACCELERATION=1"}},
        {"vorna, SDL_RENDER_DRIVER=software",
         {vorna},
         "VORNA V0.0.01",
         {"SDL_RENDER_DRIVER=software"}},
        {"vorna, its own choice here: software way (changed rectangles pushed)",
         {vorna},
         "VORNA V0.0.01",
         {}},
    };

    std::printf(
        "| Screen | Program | Start-up to visible (ms) | CPU while chasing (ms/s) "
        "| X server CPU (ms/s) | Peak RSS (MiB) | OpenGL mapped | Escape to exit (ms) |\n");
    std::printf("|---|---|---:|---:|---:|---:|---|---:|\n");
    std::string cibles;
    bool complet = true;
    for (const auto &[w, h] : ECRANS) {
        std::vector<std::vector<mesure_t>> mesures(programmes.size());
        // Interleaved, so that a slow spell of the machine hits all alike.
        for (int t = 0; t < tours; ++t) {
            for (size_t p = 0; p < programmes.size(); ++p) {
                mesures[p].push_back(mesure(programmes[p], w, h));
            }
        }
        std::vector<medianes_t> m;
        for (size_t p = 0; p < programmes.size(); ++p) {
            m.push_back(medianes(mesures[p]));
            std::printf("| %d × %d | %s | %.0f | %.1f | %.1f | %.1f | %s | %.0f |\n", w, h,
                        programmes[p].nom, m[p].demarrage, m[p].cpu, m[p].xvfb, m[p].rss,
                        m[p].gl ? "yes" : "no", m[p].sortie);
            complet = complet && !std::isnan(m[p].demarrage) && !std::isnan(m[p].sortie);
        }
        const medianes_t &f = m[0];
        const medianes_t &r = m[1];
        const medianes_t &l = m[2];
        const medianes_t &g = m[3];
        const medianes_t &s = m[4];
        const medianes_t &v = m.back();
        std::printf(
            "| %d × %d | vorna against bare reference | %.2f× | %.1f× | %.2f× | %+.1f MiB | "
            "| %+.0f ms |\n",
            w, h, v.demarrage / r.demarrage, v.cpu / r.cpu, v.xvfb / r.xvfb, v.rss - r.rss,
            v.sortie - r.sortie);

        const double canvas_mib = static_cast<double>(w) * (h - 75) * 4 / (1024.0 * 1024.0);
        // The key waits for the pause under way (up to 50 ms) before a drain
        // reads it; then come the extra frame, its 50 ms pause, the final
        // present and the last 50 ms pause. A frame's work is taken from the
        // CPU it costs while chasing (20 frames a second).
        const double image_ms = v.cpu / 20.0;
        const double budget_ms = 50 + image_ms + 50 + image_ms + 50 + 30;
        const auto tenu = [](bool oui) { return oui ? "met" : "NOT met"; };
        char ligne[1024];
        std::snprintf(ligne, sizeof ligne,
                      "- %d × %d: start-up %.2f× the bare reference (target ≤ 1.2×: %s). "
                      "Peak memory %+.1f MiB over the bare reference and %+.1f MiB over the "
                      "one drawing the cells without a canvas, against a canvas of %.1f MiB "
                      "+ 8 MiB (%s over the bare reference, %s over the one drawing the cells). "
                      "Escape to exit %.0f ms against a budget of %.0f ms: the pause under way, "
                      "the extra frame, the final present, the two 50 ms pauses and 30 ms "
                      "(%s). %.1f ms of CPU per frame while chasing.\n",
                      w, h, v.demarrage / r.demarrage, tenu(v.demarrage <= 1.2 * r.demarrage),
                      v.rss - r.rss, v.rss - l.rss, canvas_mib,
                      tenu(v.rss <= r.rss + canvas_mib + 8), tenu(v.rss <= l.rss + canvas_mib + 8),
                      v.sortie, budget_ms, tenu(v.sortie <= budget_ms), image_ms);
        cibles += ligne;
        std::snprintf(ligne, sizeof ligne,
                      "- %d × %d, against the floor: OpenGL mapped %s (target: no: %s); peak "
                      "memory %.1f MiB against the floor's %.1f plus the canvas's %.1f plus 6 "
                      "(%s); start-up %.0f ms against 1.3× the floor's %.0f plus 30 (%s). "
                      "With SDL_RENDER_DRIVER=software: OpenGL mapped %s (target: no: %s), CPU "
                      "while chasing %.1f ms/s against %.1f by default (target: at most 10 %% + 2 "
                      "ms/s more: %s).\n",
                      w, h, v.gl ? "yes" : "no", tenu(!v.gl), v.rss, f.rss, canvas_mib,
                      tenu(v.rss <= f.rss + canvas_mib + 6), v.demarrage, f.demarrage,
                      tenu(v.demarrage <= 1.3 * f.demarrage + 30), s.gl ? "yes" : "no", tenu(!s.gl),
                      s.cpu, v.cpu, tenu(s.cpu <= 1.1 * v.cpu + 2));
        cibles += ligne;
        std::snprintf(ligne, sizeof ligne,
                      "- %d × %d: CPU while chasing %.1f ms/s, %.2f× the reference drawing the "
                      "cells straight to the window (target ≤ 1.5×: %s; %.1f ms/s, %.1f× it, "
                      "on the GPU way); X server CPU %.1f ms/s against the reference's %.1f "
                      "(target: no more: %s).\n",
                      w, h, v.cpu, v.cpu / l.cpu, tenu(v.cpu <= 1.5 * l.cpu), g.cpu, g.cpu / l.cpu,
                      v.xvfb, l.xvfb, tenu(pas_plus(v.xvfb, l.xvfb)));
        cibles += ligne;
    }
    std::printf("\nTargets:\n\n%s", cibles.c_str());
    return complet;
}

// The same on a headless weston of each program's own: the reference
// drawing the cells, vorna both ways. False if weston is missing or a
// program did not start. Where none starts at the first size, one sentence
// says so instead of a table of nothing.
bool banc_wayland(const char *vorna, const char *reference, int tours) {
    const std::vector<std::string> options = options_weston();
    if (options.empty()) {
        std::printf("Not measured: weston is not installed.\n");
        return false;
    }
    std::string table =
        "| Screen | Program | CPU (ms/s) | Compositor CPU (ms/s) | Peak RSS (MiB) "
        "| OpenGL mapped | vorna's buffers (MiB) |\n"
        "|---|---|---:|---:|---:|---|---:|\n";
    char ligne[512];
    const std::vector<programme_t> programmes = {
        {"reference drawing the cells", {reference, "--cellules"}, "VORNA REFERENCE", {}},
        {"vorna, GPU way forced (canvas texture copied whole)",
         {vorna},
         "VORNA V0.0.01",
         {"SDL_FRAMEBUFFER_ACCELERATION=1"}},
        {"vorna, its own choice here: shared-memory buffers, changed rectangles damaged",
         {vorna},
         "VORNA V0.0.01",
         {}},
    };
    bool tous_partis = true;
    std::vector<medianes_t> premier;  // at the smallest size
    std::string cibles;
    for (const auto &[w, h] : ECRANS) {
        std::vector<std::vector<mesure_t>> mesures(programmes.size());
        for (int t = 0; t < tours; ++t) {
            for (size_t p = 0; p < programmes.size(); ++p) {
                mesures[p].push_back(mesure_wayland(programmes[p], w, h, options));
            }
        }
        std::vector<medianes_t> m;
        bool un_parti = false;
        for (size_t p = 0; p < programmes.size(); ++p) {
            m.push_back(medianes(mesures[p]));
            if (std::isnan(m[p].cpu)) {
                std::snprintf(ligne, sizeof ligne, "| %d × %d | %s | did not start | | | | |\n", w,
                              h, programmes[p].nom);
                tous_partis = false;
            } else {
                std::snprintf(ligne, sizeof ligne,
                              "| %d × %d | %s | %.1f | %.1f | %.1f | %s | %.1f |\n", w, h,
                              programmes[p].nom, m[p].cpu, m[p].xvfb, m[p].rss,
                              m[p].gl ? "yes" : "no", m[p].tampons);
                un_parti = true;
            }
            table += ligne;
        }
        if (premier.empty()) {
            if (!un_parti) {
                std::printf(
                    "Not measured: on a headless weston (pixman) no program started here, vorna "
                    "and the reference alike, each gone within its first two seconds. SDL 2.26's "
                    "Wayland driver crashes in SDL_Init on weston 10's headless output; SDL 2.32 "
                    "and SDL 3 run there.\n");
                return false;
            }
            premier = m;
        }
        const medianes_t &l = m[0];
        const medianes_t &v = m.back();
        if (std::isnan(l.cpu) || std::isnan(v.cpu)) {
            continue;  // nothing to set against the targets
        }
        const auto tenu = [](bool oui) { return oui ? "met" : "NOT met"; };
        std::snprintf(ligne, sizeof ligne,
                      "- %d × %d: vorna's CPU %.2f× the reference drawing the cells (target ≤ "
                      "0.75×: %s), %.2f× its own at %d × %d (target ≤ 2×: %s); compositor CPU "
                      "%.1f ms/s against the reference's %.1f (target: no more: %s).\n",
                      w, h, v.cpu / l.cpu, tenu(v.cpu <= 0.75 * l.cpu), v.cpu / premier.back().cpu,
                      ECRANS[0].first, ECRANS[0].second, tenu(v.cpu <= 2 * premier.back().cpu),
                      v.xvfb, l.xvfb, tenu(pas_plus(v.xvfb, l.xvfb)));
        cibles += ligne;
        cibles += cible_memoire_wayland("weston", w, h, v);
    }
    std::printf(
        "The programs on a headless weston of their own (pixman), which has no pointer: "
        "the cells crawl to a corner and go on drawing there. CPU over six seconds after two "
        "of start-up; medians of %d interleaved rounds.\n\n%s",
        tours, table.c_str());
    if (!cibles.empty()) {
        std::printf("\nTargets:\n\n%s", cibles.c_str());
    }
    if (!tous_partis) {
        std::printf(
            "\nA program that did not start had ended within its first two seconds. SDL 2.26's "
            "Wayland driver crashes in SDL_Init on weston 10's headless output, vorna and the "
            "reference alike; SDL 2.32 and SDL 3 run there.\n");
    }
    return tous_partis;
}

#ifdef WESTON
// The same program alone on one of the compositors the tests run on, at
// w x h and a scale of 1.
mesure_t mesure_compositeur(const programme_t &programme, int w, int h, const compositeur_t &c) {
    mesure_t m;
    char modele[] = "/tmp/vorna-banc-XXXXXX";
    if (mkdtemp(modele) == nullptr) {
        return m;
    }
    const std::string dossier = modele;
    bus_t bus;
    bus_t systeme;
    if (!c.bus || (bus_demarre(bus) && bus_demarre(systeme))) {
        std::vector<std::string> env = {"XDG_RUNTIME_DIR=" + dossier,
                                        "DBUS_SESSION_BUS_ADDRESS",
                                        "DBUS_SYSTEM_BUS_ADDRESS",
                                        "SWAYSOCK=" + dossier + "/sway.sock",
                                        "VORNA_L=" + std::to_string(w),
                                        "VORNA_H=" + std::to_string(h),
                                        "VORNA_PL=" + std::to_string(w),
                                        "VORNA_PH=" + std::to_string(h),
                                        "VORNA_ECHELLE=1"};
        if (c.bus) {
            env.insert(env.end(), {"DBUS_SESSION_BUS_ADDRESS=" + bus.adresse,
                                   "DBUS_SYSTEM_BUS_ADDRESS=" + systeme.adresse});
        }
        std::vector<std::string> env_serveur = env;
        env_serveur.insert(env_serveur.end(), c.env.begin(), c.env.end());
        processus_t serveur = demarre({"/bin/sh", "-c", c.demarre}, env_serveur);
        std::string prise;
        const auto pret = [&] {
            return execute({"/bin/sh", "-c", c.pret}, env, 10000).status == 0;
        };
        if (attend_que([&] { return !(prise = prises(c, dossier).first).empty(); }, 20000) &&
            (*c.pret == '\0' || attend_que(pret, 30000))) {
            env.push_back("WAYLAND_DISPLAY=" + prise);
            mesure_client(m, programme, env, serveur.pid);
        }
        arrete(serveur, SIGTERM);
    }
    bus_arrete(bus);
    bus_arrete(systeme);
    execute({"/bin/rm", "-rf", dossier}, {}, 5000);
    return m;
}

constexpr std::array<std::pair<int, int>, 2> ECRANS_COMPOSITEURS = {{{1280, 800}, {3840, 2160}}};

// What a frame costs the compositor, on every compositor the tests run on:
// vorna against the loop that draws the cells straight to the window and
// against a client that damages only a small moving square 60 times a
// second, in a window of the output's size. False if a program did not
// start.
bool banc_compositeurs(const char *vorna, const char *reference, int tours) {
    const auto tenu = [](bool oui) { return oui ? "met" : "NOT met"; };
    std::string table =
        "| Compositor | Screen | Program | CPU (ms/s) | Compositor CPU (ms/s) | Peak RSS (MiB) "
        "| OpenGL mapped |\n"
        "|---|---|---|---:|---:|---:|---|\n";
    std::string cibles;
    char ligne[1024];
    bool complet = true;
    for (const compositeur_t *c : compositeurs([](const compositeur_t &) { return true; })) {
        double cpu_petit = NAN;  // vorna's own at the smaller size
        for (const auto &[w, h] : ECRANS_COMPOSITEURS) {
            std::vector<programme_t> programmes = {
                {"the loop drawing the cells straight", {reference, "--cellules"}, "", {}},
                {"vorna", {vorna}, "", {}},
            };
#ifdef PAIR
            programmes.insert(programmes.begin() + 1,
                              {"weston-simple-damage, 60 frames a second",
                               {PAIR, "--width=" + std::to_string(w),
                                "--height=" + std::to_string(h), "--use-damage-buffer"},
                               "",
                               {}});
#endif
            std::vector<std::vector<mesure_t>> mesures(programmes.size());
            for (int t = 0; t < tours; ++t) {
                for (size_t p = 0; p < programmes.size(); ++p) {
                    mesures[p].push_back(mesure_compositeur(programmes[p], w, h, *c));
                }
            }
            std::vector<medianes_t> m;
            for (size_t p = 0; p < programmes.size(); ++p) {
                m.push_back(medianes(mesures[p]));
                if (std::isnan(m[p].cpu)) {
                    std::snprintf(ligne, sizeof ligne,
                                  "| %s | %d × %d | %s | did not start | | | |\n", c->nom, w, h,
                                  programmes[p].nom);
                } else {
                    std::snprintf(ligne, sizeof ligne,
                                  "| %s | %d × %d | %s | %.1f | %.1f | %.1f | %s |\n", c->nom, w, h,
                                  programmes[p].nom, m[p].cpu, m[p].xvfb, m[p].rss,
                                  m[p].gl ? "yes" : "no");
                }
                table += ligne;
            }
            const medianes_t &l = m.front();
            const medianes_t &v = m.back();
            if (std::isnan(l.cpu) || std::isnan(v.cpu)) {
                complet = false;
                continue;
            }
            if (std::isnan(cpu_petit)) {
                cpu_petit = v.cpu;
            }
            std::string pair = "the damage peer is not installed";
            if (m.size() == 3 && std::isnan(m[1].xvfb)) {
                pair = "the damage peer did not start";
            } else if (m.size() == 3) {
                std::snprintf(ligne, sizeof ligne,
                              "%.1f ms/s for the damage peer (target: at most 2 more: %s)",
                              m[1].xvfb, tenu(pas_plus(v.xvfb, m[1].xvfb + 2)));
                pair = ligne;
            }
            std::snprintf(ligne, sizeof ligne,
                          "- %s, %d × %d: compositor CPU %.1f ms/s for vorna against %.1f for the "
                          "loop drawing straight (target: at most 2 more: %s) and %s; vorna's "
                          "own CPU %.2f× the loop's (target ≤ 0.33×: %s), %.2f× its own at the "
                          "smaller size (target ≤ 2×: %s).\n",
                          c->nom, w, h, v.xvfb, l.xvfb, tenu(pas_plus(v.xvfb, l.xvfb + 2)),
                          pair.c_str(), v.cpu / l.cpu, tenu(v.cpu <= 0.33 * l.cpu),
                          v.cpu / cpu_petit, tenu(v.cpu <= 2 * cpu_petit));
            cibles += ligne;
            // sway frames windows itself; on weston, SDL loads GTK's libdecor
            // plugin (measured without it in the table above); GNOME Shell
            // takes GPU buffers even drawing in software, so vorna asks
            // OpenGL what it is there, as where a GPU draws.
            if (std::string(c->nom) == "sway") {
                cibles += cible_memoire_wayland(c->nom, w, h, v);
            }
        }
    }
    std::printf(
        "\n#### What a frame costs the compositor\n\n"
        "Each program alone on each compositor the tests run on, headless and without a GPU, "
        "its window filling the output; CPU over six seconds after two of start-up, the "
        "compositor's with every process it started; medians of %d interleaved rounds.\n\n%s"
        "\nTargets:\n\n%s",
        tours, table.c_str(), cibles.c_str());
    return complet;
}
#endif

}  // namespace

int main(int argc, char *argv[]) {
    // --wayland: the Wayland measures only, as run in the Debian 13 root.
    const bool wayland = argc > 1 && std::string(argv[1]) == "--wayland";
    if (wayland) {
        --argc;
        ++argv;
    }
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s [--wayland] PATH_TO_VORNA PATH_TO_REFERENCE [ROUNDS]\n",
                     argv[0]);
        return 2;
    }
    const int tours = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
    if (wayland) {
        bool complet = banc_wayland(argv[1], argv[2], tours);
#ifdef WESTON
        complet = banc_compositeurs(argv[1], argv[2], tours) && complet;
#endif
        return complet ? 0 : 1;
    }
    const bool complet = banc_x11(argv[1], argv[2], tours);
    std::printf("\n### On native Wayland, this machine's SDL\n\n");
    banc_wayland(argv[1], argv[2], tours);
    return complet ? 0 : 1;
}
