// Records the program chasing a scripted pointer on a virtual X server, one
// PPM image per tenth of a second, for the README's animation, and the frame
// that closes the first loop as the software centres' screenshot.
// Usage: vorna_demo PATH_TO_VORNA OUTPUT_DIR SCREENSHOT_PPM
#include <X11/keysym.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>

#include "attendus.h"
#include "ecran.h"

namespace {

constexpr int LARGEUR = 800;
constexpr int HAUTEUR = 600;
constexpr int FENETRE_H = HAUTEUR - 75;
constexpr int IMAGES_PAR_TRAJET = 70;
constexpr double DEUX_PI = 6.283185307179586;

bool ecrit_ppm(const image_t &im, const std::string &chemin) {
    std::FILE *f = std::fopen(chemin.c_str(), "wb");
    if (f == nullptr) {
        return false;
    }
    std::fprintf(f, "P6\n%d %d\n255\n", im.w, im.h);
    for (const std::uint32_t p : im.px) {
        const unsigned char rgb[3] = {static_cast<unsigned char>(p >> 16),
                                      static_cast<unsigned char>(p >> 8),
                                      static_cast<unsigned char>(p)};
        std::fwrite(rgb, 1, 3, f);
    }
    return std::fclose(f) == 0;
}

}  // namespace

int main(int argc, char *argv[]) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s PATH_TO_VORNA OUTPUT_DIR SCREENSHOT_PPM\n", argv[0]);
        return 2;
    }
    ecran_t ecran;
    if (!ecran_demarre(ecran, LARGEUR, HAUTEUR)) {
        std::fprintf(stderr, "Xvfb did not start\n");
        return 1;
    }
    processus_t prog =
        demarre({argv[1]}, {"DISPLAY=" + ecran.display, "SDL_VIDEODRIVER", "SDL_RENDER_DRIVER"});
    if (fenetre_dessinee(ecran, TITRE, 15000) == 0) {
        std::fprintf(stderr, "the program's window did not appear\n");
        ecran_arrete(ecran);
        return 1;
    }

    // A loop round the middle, a wipe, then a figure of eight.
    int n = 0;
    for (int trajet = 0; trajet < 2; ++trajet) {
        if (trajet == 1) {
            touche(ecran, XK_n);
        }
        for (int i = 0; i < IMAGES_PAR_TRAJET; ++i) {
            const double t = DEUX_PI * i / IMAGES_PAR_TRAJET;
            const int x = LARGEUR / 2 + static_cast<int>(220 * std::sin(t));
            const int y = FENETRE_H / 2 +
                          static_cast<int>(trajet == 0 ? 150 * std::cos(t) : 120 * std::sin(2 * t));
            pointe(ecran, x, y);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            char nom[32];
            std::snprintf(nom, sizeof nom, "/%04d.ppm", n++);
            const image_t im = capture(ecran, LARGEUR, FENETRE_H);
            if (!ecrit_ppm(im, argv[2] + std::string(nom))) {
                std::fprintf(stderr, "cannot write %s%s\n", argv[2], nom);
                return 1;
            }
            // The whole loop drawn, before the wipe: cells and their trails.
            if (trajet == 0 && i == IMAGES_PAR_TRAJET - 1 && !ecrit_ppm(im, argv[3])) {
                std::fprintf(stderr, "cannot write %s\n", argv[3]);
                return 1;
            }
        }
    }
    touche(ecran, XK_Escape);
    const resultat_t r = attend(prog, 5000);
    ecran_arrete(ecran);
    std::printf("%d images, program ended with status %d\n", n, r.status);
    return r.status == 0 ? 0 : 1;
}
