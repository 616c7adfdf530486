// The built program on a native Wayland compositor: a headless weston of the
// test's own, judged from its screenshots, console lines and exit statuses.
// weston takes no injected pointer or keys here; what needs them is tested
// on X11.
#include <gtest/gtest.h>
#include <png.h>
#include <signal.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "attendus.h"
#include "ecran.h"
#include "processus.h"

namespace {

namespace fs = std::filesystem;

constexpr int LARGEUR = 1024;
constexpr int HAUTEUR = 768;

// A PNG as 0xRRGGBB pixels; empty when it cannot be read.
image_t lit_png(const std::string &chemin) {
    image_t im;
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_file(&png, chemin.c_str()) == 0) {
        return im;
    }
    png.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> rgb(PNG_IMAGE_SIZE(png));
    if (png_image_finish_read(&png, nullptr, rgb.data(), 0, nullptr) == 0) {
        return im;
    }
    im.w = static_cast<int>(png.width);
    im.h = static_cast<int>(png.height);
    im.px.resize(rgb.size() / 3);
    for (size_t i = 0; i < im.px.size(); ++i) {
        im.px[i] =
            static_cast<std::uint32_t>(rgb[3 * i] << 16 | rgb[3 * i + 1] << 8 | rgb[3 * i + 2]);
    }
    return im;
}

class Wayland : public ::testing::Test {
protected:
    // weston with its kiosk shell, which shows the program's window full
    // screen on black, with no panel or background of its own; --debug lets
    // weston-screenshooter capture the output.
    void SetUp() override {
        char modele[] = "/tmp/vorna-wayland-XXXXXX";
        ASSERT_NE(mkdtemp(modele), nullptr);
        dossier = modele;
        journal = dossier + "/journal";
        fs::create_directory(dossier + "/captures");
        weston = demarre(
            {WESTON, "--backend=headless", "--renderer=pixman", "--debug", "--shell=kiosk",
             "--socket=vorna", "--no-config", "--idle-time=0", "--width=" + std::to_string(LARGEUR),
             "--height=" + std::to_string(HAUTEUR), "--scale=" + std::to_string(echelle())},
            env());
        ASSERT_TRUE(attend_que([&] { return fs::exists(dossier + "/vorna"); }, 10000))
            << "weston did not start";
    }

    // The output's pixels to a unit of its LARGEUR x HAUTEUR desktop.
    virtual int echelle() const {
        return 1;
    }

    void TearDown() override {
        arrete(prog, SIGKILL, 2000);
        arrete(weston, SIGTERM);
        bus_arrete(bus);
        std::error_code ignore;
        fs::remove_all(dossier, ignore);
    }

    // What every client of this compositor is given: no X display, so that
    // nothing can fall back to X11.
    std::vector<std::string> env() const {
        return {"XDG_RUNTIME_DIR=" + dossier, "WAYLAND_DISPLAY=vorna", "DISPLAY",
                "SDL_VIDEODRIVER=wayland", "SDL_RENDER_DRIVER"};
    }

    // A client's, with the preloaded library and its frame journal, then plus.
    std::vector<std::string> env_programme(const std::vector<std::string> &plus = {}) const {
        std::vector<std::string> e = env();
        e.insert(e.end(), {"LD_PRELOAD=" ECHEC_SDL, ASAN_PRELOAD, "VORNA_JOURNAL=" + journal});
        e.insert(e.end(), plus.begin(), plus.end());
        return e;
    }

    void lance() {
        prog = demarre({VORNA_EXE}, env_programme());
        ASSERT_GT(prog.pid, 0);
    }

    // The compositor's whole output, as weston-screenshooter saves it.
    image_t capture() {
        const std::string captures = dossier + "/captures";
        std::vector<std::string> e = env();
        e.push_back("VORNA_CAPTURES=" + captures);
        const resultat_t r = execute(
            {"/bin/sh", "-c", "cd \"$VORNA_CAPTURES\" && exec " WESTON_SCREENSHOOTER}, e, 10000);
        image_t im;
        for (const auto &f : fs::directory_iterator(captures)) {
            im = lit_png(f.path());
            fs::remove(f.path());
        }
        EXPECT_EQ(r.status, 0) << r.erreurs;
        EXPECT_EQ(im.w, LARGEUR * echelle()) << "no screenshot";
        return im;
    }

    // Waits for the first cells on screen; returns what the output shows.
    image_t dessin() {
        image_t im;
        attend_que([&] { return nb_rouges(im = capture()) > 0; }, 15000);
        return im;
    }

    resultat_t fin(int signal) {
        kill(prog.pid, signal);
        return attend(prog, 10000);
    }

    std::string dossier;
    std::string journal;  // the program's frames
    processus_t weston;
    bus_t bus;  // started by the tests that need one
    processus_t prog;
};

TEST_F(Wayland, LigneDeVersionPuisCellulesRougesSurNoir) {
    lance();
    const image_t im = dessin();
    EXPECT_GT(nb_rouges(im), 0);
    EXPECT_TRUE(rouge_sur_noir(im));
    const resultat_t r = fin(SIGTERM);
    EXPECT_EQ(r.status, 0) << r.erreurs;
    EXPECT_EQ(r.sortie, LIGNE_VERSION);
}

// With no pointer on this compositor the cells crawl toward the corner; the
// canvas keeps every frame's cells, whichever buffer shows them.
TEST_F(Wayland, LesTracesSAccumulent) {
    lance();
    const image_t debut = dessin();
    image_t avant = debut;
    for (int i = 0; i < 6; ++i) {
        ASSERT_TRUE(attend_images(journal, 3 + i % 2));
        const image_t apres = capture();
        ASSERT_TRUE(rouges_gardes(avant, apres)) << "capture " << i;
        avant = apres;
    }
    EXPECT_GT(nb_rouges(avant), nb_rouges(debut));
    EXPECT_TRUE(rouge_sur_noir(avant));
    EXPECT_EQ(fin(SIGTERM).status, 0);
}

// A screen at 200 %: cells drawn in its pixels, at their size on screen,
// and with outlines a unit wide, so that none of it is left to the
// compositor to stretch (a blur) and nothing comes out at half size.
class WaylandDouble : public Wayland {
    int echelle() const override {
        return 2;
    }
};

TEST_F(WaylandDouble, CellulesNettesALeurTaille) {
    lance();
    dessin();
    image_t im;
    const auto rouge = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < im.w && y < im.h && im.at(x, y) == 0xFF0000;
    };
    // A line that leaves the window is cut at its edge and drawn from
    // there, a pixel off its neighbour at places; none reaches further in
    // than a cell's side, and its brush's width.
    const auto loin_des_bords = [&](int x, int y) {
        return std::min({x, y, im.w - 1 - x, im.h - 1 - y}) > 2 * 50 + 2;
    };
    // The longest straight run of red, across or down, away from the
    // edges: a flat side of a cell, or more. Eight cells in ten have one,
    // and each comes into view on its way to the pointer's corner.
    const auto trait = [&] {
        int plus_long = 0;
        for (int sens = 0; sens < 2; ++sens) {
            const int n = sens == 0 ? im.h : im.w;
            const int m = sens == 0 ? im.w : im.h;
            for (int i = 0; i < n; ++i) {
                for (int j = 0, suite = 0; j < m; ++j) {
                    const int x = sens == 0 ? j : i;
                    const int y = sens == 0 ? i : j;
                    suite = rouge(x, y) && loin_des_bords(x, y) ? suite + 1 : 0;
                    plus_long = std::max(plus_long, suite);
                }
            }
        }
        return plus_long;
    };
    ASSERT_TRUE(attend_images(journal, 3));
    EXPECT_TRUE(attend_que(
        [&] {
            im = capture();
            return im.w == 0 || trait() >= 2 * 50;
        },
        30000))
        << "cells smaller than 50 units";
    EXPECT_TRUE(rouge_sur_noir(im));
    int seuls = 0;  // red pixels in no 2 x 2 square of red
    for (int y = 0; y < im.h; ++y) {
        for (int x = 0; x < im.w; ++x) {
            bool carre = false;
            for (int c = 0; c < 4 && rouge(x, y); ++c) {
                const int cx = x - c % 2;
                const int cy = y - c / 2;
                carre = carre || (rouge(cx, cy) && rouge(cx + 1, cy) && rouge(cx, cy + 1) &&
                                  rouge(cx + 1, cy + 1));
            }
            seuls += rouge(x, y) && !carre && loin_des_bords(x, y) ? 1 : 0;
        }
    }
    EXPECT_EQ(seuls, 0) << "outlines thinner than a unit";
    EXPECT_EQ(fin(SIGTERM).status, 0);
}

// A window among others here too: the launcher's id as app id, and no
// inhibition of idling, by the compositor's protocol or over D-Bus. What
// the program asks of the compositor goes to a file: there is too much of
// it for a pipe read only at the end.
TEST_F(Wayland, UneFenetreParmiDAutres) {
    ASSERT_TRUE(bus_demarre(bus)) << "no D-Bus session bus";
    std::vector<std::string> e = env();
    e.insert(e.end(), {"DBUS_SESSION_BUS_ADDRESS=" + bus.adresse, "WAYLAND_DEBUG=client",
                       "VORNA_PROTOCOLE=" + dossier + "/protocole"});
    prog = demarre({"/bin/sh", "-c", "exec \"$0\" 2>\"$VORNA_PROTOCOLE\"", VORNA_EXE}, e);
    ASSERT_GT(nb_rouges(dessin()), 0);
    EXPECT_EQ(fin(SIGTERM).status, 0);

    const std::string protocole = lit_fichier(dossier + "/protocole");
    EXPECT_NE(protocole.find(".set_app_id(\"" VORNA_ID "\")"), std::string::npos);
    EXPECT_EQ(protocole.find(".create_inhibitor("), std::string::npos);
    const std::string vu = bus_arrete(bus);
    EXPECT_NE(vu.find("member=Hello"), std::string::npos) << "the program never joined the bus";
    EXPECT_EQ(vu.find("member=Inhibit"), std::string::npos) << vu;
}

struct Signal {
    const char *nom;
    int numero;
};

void PrintTo(const Signal &s, std::ostream *os) {
    *os << s.nom;
}

class WaylandSignal : public Wayland, public ::testing::WithParamInterface<Signal> {};

TEST_P(WaylandSignal, TermineAvecLeStatut0) {
    lance();
    ASSERT_GT(nb_rouges(dessin()), 0);
    const resultat_t r = fin(GetParam().numero);
    EXPECT_EQ(r.status, 0) << r.erreurs;
    EXPECT_EQ(r.sortie, LIGNE_VERSION);
    EXPECT_EQ(fin_du_journal(journal), FIN_DU_JOURNAL);
}

INSTANTIATE_TEST_SUITE_P(Signaux, WaylandSignal,
                         ::testing::Values(Signal{"sigterm", SIGTERM}, Signal{"sigint", SIGINT}),
                         [](const ::testing::TestParamInfo<Signal> &i) {
                             return std::string(i.param.nom);
                         });

// A compositor that crashes is a failure, not the user's wish to quit.
TEST_F(Wayland, LaMortDuCompositeurTermineAvecLeStatut1) {
    lance();
    ASSERT_GT(nb_rouges(dessin()), 0);
    arrete(weston, SIGKILL);
    const resultat_t r = attend(prog, 10000);
    EXPECT_EQ(r.status, 1) << "-1: still running ten seconds after weston died";
    EXPECT_NE(r.erreurs.find("Error : Wayland connection lost - "), std::string::npos) << r.erreurs;
}

TEST_F(Wayland, EchecDuRenduAvecLeStatut1) {
    const resultat_t r = execute({VORNA_EXE}, env_programme({"VORNA_ECHEC=rendu"}), 10000);
    EXPECT_EQ(r.status, 1) << r.erreurs;
    EXPECT_EQ(r.sortie, LIGNE_VERSION + "Render déficient \n");
}

}  // namespace
