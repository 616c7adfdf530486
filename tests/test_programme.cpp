// The built program as a whole: its console lines and exit statuses when
// the graphics library lets it down, and the leaks a sanitizer build must
// report.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "attendus.h"
#include "processus.h"

namespace {

// SDL's own error text for a video driver that does not exist, as the
// program must pass it on.
std::string erreur_sdl_pilote_inconnu() {
    setenv("SDL_VIDEODRIVER", "pilote_inexistant", 1);
    const bool echec = SDL_Init(SDL_INIT_VIDEO) != 0;
    const std::string texte = SDL_GetError();
    SDL_Quit();
    unsetenv("SDL_VIDEODRIVER");
    return echec ? texte : "(SDL started with a driver that does not exist)";
}

const std::vector<std::string> SANS_RENDU = {"SDL_VIDEODRIVER=dummy", "SDL_RENDER_DRIVER",
                                             "LD_PRELOAD=" ECHEC_SDL, ASAN_PRELOAD,
                                             "VORNA_ECHEC=rendu"};

struct Cas {
    const char *nom;
    std::vector<std::string> args;
    std::vector<std::string> env;
    std::string sortie;
    std::string erreurs;  // the line SDL's log must hold; empty: none expected
};

TEST(Programme, EchecsDeLaBibliothequeGraphique) {
    const std::string init = "Error : SDL initialisation - " + erreur_sdl_pilote_inconnu();
    const std::vector<Cas> cas = {
        {"no such video driver", {}, {"SDL_VIDEODRIVER=pilote_inexistant"}, LIGNE_VERSION, init},
        {"no such video driver, arguments",
         {"--help", "-q", "x"},
         {"SDL_VIDEODRIVER=pilote_inexistant"},
         LIGNE_VERSION,
         init},
        // Whether SDL's dummy driver has an accelerated renderer depends on
        // SDL's version (SDL 3 gives it one): the failure is injected.
        {"no accelerated renderer", {}, SANS_RENDU, LIGNE_VERSION + "Render déficient \n", ""},
        {"no accelerated renderer, arguments",
         {"--software", "-v"},
         SANS_RENDU,
         LIGNE_VERSION + "Render déficient \n",
         ""},
    };
    for (const Cas &c : cas) {
        SCOPED_TRACE(c.nom);
        std::vector<std::string> args = {VORNA_EXE};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const resultat_t r = execute(args, c.env, 20000);
        EXPECT_EQ(r.status, 1) << r.erreurs;
        EXPECT_EQ(r.sortie, c.sortie);
        if (!c.erreurs.empty()) {
            // SDL_Log writes each message on a line of its own, after its
            // priority label.
            EXPECT_NE(r.erreurs.find(": " + c.erreurs + "\n"), std::string::npos) << r.erreurs;
        }
    }
}

#ifdef VORNA_SANITIZE
// Memory that code of ours loses must still fail a run, whatever the
// libraries under SDL leave behind.
TEST(Programme, UneFuiteDeNotreCodeEstSignalee) {
    std::vector<std::string> env = SANS_RENDU;
    env.push_back("VORNA_FUITE=1");
    const resultat_t r = execute({VORNA_EXE}, env, 20000);
    EXPECT_EQ(r.status, STATUT_FUITE) << r.erreurs;
    EXPECT_NE(r.erreurs.find("Direct leak of 64 byte(s)"), std::string::npos) << r.erreurs;
}
#endif

// A frame of a leak report as the test helpers ask for it: its module last.
// A module marked "?" is one the symbolizer could not place in a function.
std::string trame(int n, const std::string &module) {
    if (module[0] == '?') {
        const std::string m = module.substr(1);
        return "    #" + std::to_string(n) + " 0x7f00  (" + m + "+0x3e9ce) [[" + m + "]]\n";
    }
    return "    #" + std::to_string(n) + " 0x7f00 in f /src/f.cpp:1 [[" + module + "]]\n";
}

struct Rapport {
    const char *nom;
    std::vector<std::string> modules;  // from the allocation outward
    bool a_nous;
};

TEST(Fuites, SeulesCellesDeNosModulesComptent) {
    const std::string asan = "/usr/lib/x86_64-linux-gnu/libasan.so.8";
    const std::string sdl2 = "/usr/lib/x86_64-linux-gnu/libSDL2-2.0.so.0";
    const std::string compat = "/usr/lib/x86_64-linux-gnu/sdl2-compat/libSDL2-2.0.so.0";
    const std::string sdl3 = "/usr/lib/x86_64-linux-gnu/libSDL3.so.0";
    const std::string libc = "/usr/lib/x86_64-linux-gnu/libc.so.6";
    const std::string stdcxx = "/usr/lib/x86_64-linux-gnu/libstdc++.so.6";
    const std::string glx = "/usr/lib/x86_64-linux-gnu/libGLX_mesa.so.0";
    const std::string dbus = "/usr/lib/x86_64-linux-gnu/libdbus-1.so.3";
    const std::string vorna = "/b/vorna";
    const std::vector<Rapport> cas = {
        {"our own allocation", {asan, vorna, libc}, true},
        {"through the C++ library", {asan, stdcxx, vorna, libc}, true},
        {"SDL on our behalf", {asan, sdl2, sdl2, vorna, libc}, true},
        {"SDL 3 through sdl2-compat", {asan, sdl3, compat, vorna}, true},
        {"a module of the test tree", {asan, "/b/tests/libechec_sdl.so", sdl2, vorna}, true},
        {"SDL on its own", {asan, sdl3, sdl3, libc}, false},
        {"a stack cut short in SDL", {asan, sdl2}, false},
        {"a stack cut short in the C++ library", {asan, stdcxx}, false},
        {"the GL driver", {asan, glx, sdl2, vorna, libc}, false},
        {"the D-Bus client under SDL", {asan, dbus, dbus, sdl3, compat, vorna}, false},
        {"another tree with the same prefix", {asan, "/bis/vorna", libc}, false},
        {"past the end of our binary", {asan, "?" + vorna}, false},
    };
    for (const Rapport &c : cas) {
        SCOPED_TRACE(c.nom);
        std::string bloc = "Direct leak of 8 byte(s) in 1 object(s) allocated from:\n";
        for (size_t i = 0; i < c.modules.size(); ++i) {
            bloc += trame(static_cast<int>(i), c.modules[i]);
        }
        // Each leak between others, as in a real report.
        const std::string autre = "Indirect leak of 4 byte(s) in 1 object(s) allocated from:\n" +
                                  trame(0, asan) + trame(1, glx) + "\n";
        const std::string rapport = "==1==ERROR: LeakSanitizer: detected memory leaks\n\n" + autre +
                                    bloc + "\n" + autre +
                                    "SUMMARY: AddressSanitizer: 16 byte(s) leaked\n";
        EXPECT_EQ(fuites_a_nous(rapport, "/b"), c.a_nous ? bloc + "\n" : "");
    }
}

}  // namespace
