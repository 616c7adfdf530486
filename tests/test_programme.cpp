// The built program as a whole: its console lines and exit statuses when
// the graphics library lets it down.
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
        // The dummy driver has no accelerated renderer.
        {"no accelerated renderer",
         {},
         {"SDL_VIDEODRIVER=dummy", "SDL_RENDER_DRIVER"},
         LIGNE_VERSION + "Render déficient \n",
         ""},
        {"no accelerated renderer, arguments",
         {"--software", "-v"},
         {"SDL_VIDEODRIVER=dummy", "SDL_RENDER_DRIVER"},
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

}  // namespace
