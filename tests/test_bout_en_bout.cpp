// The built program in a real window on a virtual X server, driven through
// XTest and judged from screenshots, console lines and exit statuses.
#include <X11/keysym.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "attendus.h"
#include "ecran.h"

namespace {

// Every red pixel lies within a cell's reach of (px, py): a vertex at most
// ten pixels away on each axis, then sides of fifty.
bool a_portee(const image_t &im, int px, int py) {
    const double portee = 50.0 + 10.0 * std::sqrt(2.0) + 1.0;
    for (int y = 0; y < im.h; ++y) {
        for (int x = 0; x < im.w; ++x) {
            if (im.at(x, y) == ROUGE && std::hypot(x - px, y - py) > portee) {
                return false;
            }
        }
    }
    return true;
}

bool rouge_vers(const image_t &im, double x, double y) {
    for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
            const int xi = static_cast<int>(x) + dx;
            const int yi = static_cast<int>(y) + dy;
            if (xi >= 0 && yi >= 0 && xi < im.w && yi < im.h && im.at(xi, yi) == ROUGE) {
                return true;
            }
        }
    }
    return false;
}

// A triangle of this orientation has a vertex within ten pixels of (px, py).
bool orientation_presente(const image_t &im, int px, int py, float theta) {
    const double a = theta;
    const double b = a + 2.0943951023931953;
    for (int vy = py - 10; vy <= py + 10; ++vy) {
        for (int vx = px - 10; vx <= px + 10; ++vx) {
            const double x1 = vx + 50 * std::cos(a), y1 = vy + 50 * std::sin(a);
            const double x2 = x1 + 50 * std::cos(b), y2 = y1 + 50 * std::sin(b);
            if (rouge_vers(im, vx, vy) && rouge_vers(im, x1, y1) && rouge_vers(im, x2, y2) &&
                rouge_vers(im, (vx + x1) / 2, (vy + y1) / 2) &&
                rouge_vers(im, (x1 + x2) / 2, (y1 + y2) / 2) &&
                rouge_vers(im, (x2 + vx) / 2, (y2 + vy) / 2)) {
                return true;
            }
        }
    }
    return false;
}

// A test case shows in failures by its name, as it does in test names.
template <class Cas>
auto operator<<(std::ostream &os, const Cas &c) -> decltype(c.nom, os) {
    return os << c.nom;
}

class BoutEnBout : public ::testing::Test {
protected:
    void TearDown() override {
        arrete(prog, SIGKILL, 2000);
        // The journal is named after the display: gone before the display
        // is, or it could be the one of the next test to get that display.
        unlink(journal.c_str());
        ecran_arrete(ecran);
        bus_arrete(bus);
    }

    // Starts the program on a fresh w x h screen and waits for its window
    // and its first cells.
    void lance(int w, int h, const std::vector<std::string> &args = {},
               const std::vector<std::string> &env = {}) {
        ASSERT_TRUE(ecran_demarre(ecran, w, h)) << "Xvfb did not start";
        lance_programme(args, env);
    }

    // The program on the screen already started, keeping a frame journal.
    void lance_programme(const std::vector<std::string> &args,
                         const std::vector<std::string> &env) {
        std::vector<std::string> a = {VORNA_EXE};
        a.insert(a.end(), args.begin(), args.end());
        prog = demarre(a, env_programme(env));
        ASSERT_GT(prog.pid, 0);
        win = fenetre_dessinee(ecran, TITRE, 15000);
        ASSERT_NE(win, 0U) << "no window with cells in it";
    }

    // This screen, SDL's own choices, the preloaded library and its frame
    // journal (named after the display, which is the test's own), then env.
    std::vector<std::string> env_programme(const std::vector<std::string> &env) {
        journal = "/tmp/vorna-journal" + ecran.display;
        std::vector<std::string> e = {
            "DISPLAY=" + ecran.display, "SDL_VIDEODRIVER", "SDL_RENDER_DRIVER",
            "LD_PRELOAD=" ECHEC_SDL,    ASAN_PRELOAD,      "VORNA_JOURNAL=" + journal};
        e.insert(e.end(), env.begin(), env.end());
        return e;
    }

    // Lets the program draw this many more frames, however long they take.
    void laisse_passer(int images) {
        EXPECT_TRUE(attend_images(journal, images)) << "no frame drawn for 20 s";
    }

    // Runs until the program has drawn something; returns what it shows.
    image_t dessin(int delai_ms = 10000) {
        image_t im;
        attend_que([&] { return nb_rouges(im = ecran_fenetre()) > 0; }, delai_ms);
        return im;
    }

    // The part of the screen the window covers on a normal start.
    image_t ecran_fenetre() {
        return capture(ecran, ecran.w, ecran.h - 75);
    }

    // Waits until two screenshots a few frames apart are the same.
    image_t immobile() {
        image_t avant = ecran_fenetre();
        image_t apres;
        attend_que(
            [&] {
                laisse_passer(3);
                apres = ecran_fenetre();
                const bool pareil = apres.px == avant.px;
                avant = apres;
                return pareil;
            },
            20000);
        return apres;
    }

    // Waits for the program to end; a hang is past the deadline.
    resultat_t fin(int delai_ms = 10000) {
        return attend(prog, delai_ms);
    }

    ecran_t ecran;
    bus_t bus;  // started by the tests that need one
    processus_t prog;
    std::string journal;
    Window win = 0;
};

struct Demarrage {
    const char *nom;
    int w, h;                       // the screen
    std::vector<std::string> args;  // never change anything
    std::vector<std::string> env;
    int fw, fh;  // the window
};

class Demarre : public BoutEnBout, public ::testing::WithParamInterface<Demarrage> {};

TEST_P(Demarre, OuvreLaFenetreEtNeMontreQueDesCellules) {
    const Demarrage &d = GetParam();
    lance(d.w, d.h, d.args, d.env);
    const geometrie_t g = geometrie(ecran, win);
    EXPECT_EQ(g.x, 0);
    EXPECT_EQ(g.y, 0);
    EXPECT_EQ(g.w, d.fw);
    EXPECT_EQ(g.h, d.fh);
    EXPECT_EQ(titre(ecran, win), TITRE);
    EXPECT_TRUE(redimensionnable(ecran, win));

    const image_t im = dessin();
    EXPECT_GT(nb_rouges(im), 0);
    EXPECT_TRUE(rouge_sur_noir(im));
    // Xvfb offers no GPU: OpenGL is loaded only where the GPU way is asked
    // for, as the gpu: copies of these cases ask.
    EXPECT_EQ(opengl_charge(prog.pid), voie_gpu_forcee());

    touche(ecran, XK_Escape);
    const resultat_t r = fin();
    EXPECT_EQ(r.status, 0) << r.erreurs;
    EXPECT_EQ(r.sortie, LIGNE_VERSION);
}

INSTANTIATE_TEST_SUITE_P(
    Ecrans, Demarre,
    ::testing::Values(
        Demarrage{"petit", 1024, 768, {}, {}, 1024, 693},
        Demarrage{"moyen", 1280, 800, {}, {}, 1280, 725},
        Demarrage{"grand", 1920, 1080, {}, {}, 1920, 1005},
        Demarrage{"arguments", 1280, 800, {"--help", "-q", "n"}, {}, 1280, 725},
        Demarrage{"rendu_logiciel", 1280, 800, {}, {"SDL_RENDER_DRIVER=software"}, 1280, 725},
        // An unreadable display mode still gives a usable window.
        Demarrage{"mode_illisible", 1280, 800, {}, {"VORNA_ECHEC=mode"}, 1800, 1000}),
    [](const ::testing::TestParamInfo<Demarrage> &i) { return std::string(i.param.nom); });

TEST_F(BoutEnBout, LesCellulesLaissentDesTracesEnSuivantLePointeur) {
    lance(1280, 800);
    image_t avant = dessin();
    for (int i = 0; i < 16; ++i) {
        const double a = i * 0.4;
        pointe(ecran, 640 + static_cast<int>(250 * std::cos(a)),
               360 + static_cast<int>(200 * std::sin(a)));
        laisse_passer(2);
        const image_t apres = ecran_fenetre();
        // Nothing is ever wiped without N: every red pixel stays red.
        ASSERT_TRUE(rouges_gardes(avant, apres)) << "step " << i;
        avant = apres;
    }
    EXPECT_TRUE(rouge_sur_noir(avant));
    touche(ecran, XK_Escape);
    EXPECT_EQ(fin().status, 0);
}

TEST_F(BoutEnBout, LesDixCellulesRestentAvecUnPointeurImmobile) {
    lance(1024, 768);
    pointe(ecran, 500, 340);
    // Every cell starts within 1800 x 1000 pixels and closes in by at least
    // 8.9 pixels a frame, some 230 frames at most (12 s on an idle machine):
    // wipe until only the swarm around the pointer is left.
    const bool rejoint = attend_que(
        [&] {
            touche(ecran, XK_n);
            laisse_passer(4);
            const image_t im = ecran_fenetre();
            return nb_rouges(im) > 0 && a_portee(im, 500, 340);
        },
        90000);
    ASSERT_TRUE(rejoint);
    // Five seconds more, as the frames count them: the swarm neither drifts
    // nor scatters.
    laisse_passer(100);

    touche(ecran, XK_n);
    laisse_passer(4);
    const image_t im = ecran_fenetre();
    EXPECT_TRUE(rouge_sur_noir(im));
    EXPECT_TRUE(a_portee(im, 500, 340));
    for (const float theta : ORIENTATIONS) {
        EXPECT_TRUE(orientation_presente(im, 500, 340, theta)) << "no cell at angle " << theta;
    }
    touche(ecran, XK_Escape);
    EXPECT_EQ(fin().status, 0);
}

// Covered by another window and uncovered, the window shows its trails
// again, not what covered it: the server keeps nothing of a window.
TEST_F(BoutEnBout, LesTracesReviennentQuandLaFenetreEstDecouverte) {
    lance(1024, 768);
    pointe(ecran, 500, 340);
    laisse_passer(10);
    touche(ecran, XK_p);  // still from now on
    const image_t avant = immobile();
    ASSERT_GT(nb_rouges(avant), 0);
    couvre(ecran, 300);
    EXPECT_TRUE(attend_que([&] { return ecran_fenetre().px == avant.px; }, 10000));
    touche(ecran, XK_Escape);
    EXPECT_EQ(fin().status, 0);
}

TEST_F(BoutEnBout, PauseArreteLEssaimEspaceLeFaitAvancerDUnPas) {
    lance(1280, 800);
    pointe(ecran, 300, 300);
    touche(ecran, XK_p);
    const image_t fige = immobile();
    pointe(ecran, 900, 500);
    // Keys outside the table do nothing, paused or not.
    for (const KeySym k : {XK_a, XK_z, XK_F1, XK_Return, XK_Tab, XK_Shift_L, XK_1, XK_Up}) {
        touche(ecran, k);
    }
    laisse_passer(6);
    EXPECT_TRUE(ecran_fenetre().px == fige.px);

    touche(ecran, XK_space);
    EXPECT_TRUE(attend_que([&] { return ecran_fenetre().px != fige.px; }, 10000));
    const image_t un_pas = immobile();
    laisse_passer(6);
    EXPECT_TRUE(ecran_fenetre().px == un_pas.px);

    touche(ecran, XK_p);
    EXPECT_TRUE(attend_que([&] { return ecran_fenetre().px != un_pas.px; }, 10000));
    touche(ecran, XK_Escape);
    EXPECT_EQ(fin().status, 0);
}

// How a user or the system asks the program to end: a key, a signal, or
// neither (the close button).
struct Fin {
    const char *nom;
    KeySym touche;
    int signal;
};

class Termine : public BoutEnBout, public ::testing::WithParamInterface<Fin> {};

TEST_P(Termine, AvecLeStatut0) {
    const Fin &f = GetParam();
    lance(1024, 768);
    if (f.touche != 0) {
        touche(ecran, f.touche);
    } else if (f.signal != 0) {
        kill(prog.pid, f.signal);
    } else {
        ferme(ecran, win);
    }
    const resultat_t r = fin();
    EXPECT_EQ(r.status, 0) << r.erreurs;
    EXPECT_EQ(r.sortie, LIGNE_VERSION);
    // One more frame, the last present and its pause, and nothing else: no
    // frame lost, none added, however long each took.
    EXPECT_EQ(fin_du_journal(journal), FIN_DU_JOURNAL);
}

INSTANTIATE_TEST_SUITE_P(Fins, Termine,
                         ::testing::Values(Fin{"echap", XK_Escape, 0}, Fin{"q", XK_q, 0},
                                           Fin{"fermeture", 0, 0}, Fin{"sigterm", 0, SIGTERM},
                                           Fin{"sigint", 0, SIGINT}),
                         [](const ::testing::TestParamInfo<Fin> &i) {
                             return std::string(i.param.nom);
                         });

struct Echec {
    const char *nom;
    std::string sortie;
    std::string log;  // the line SDL's log must hold
};

class Echoue : public BoutEnBout, public ::testing::WithParamInterface<Echec> {};

TEST_P(Echoue, AvecLeStatut1EtSonMessage) {
    const Echec &c = GetParam();
    ASSERT_TRUE(ecran_demarre(ecran, 1024, 768));
    const resultat_t r =
        execute({VORNA_EXE}, env_programme({std::string("VORNA_ECHEC=") + c.nom}), 10000);
    EXPECT_EQ(r.status, 1) << r.erreurs;
    EXPECT_EQ(r.sortie, c.sortie);
    if (!c.log.empty()) {
        EXPECT_NE(r.erreurs.find(": " + c.log + "\n"), std::string::npos) << r.erreurs;
    }
    // It ends at once: no window is ever shown.
    EXPECT_EQ(fenetre(ecran, TITRE, 0), 0U);
}

INSTANTIATE_TEST_SUITE_P(
    Echecs, Echoue,
    ::testing::Values(Echec{"fenetre", LIGNE_VERSION,
                            "Error : SDL window creation - fenetre refusee pour le test"},
                      Echec{"rendu", LIGNE_VERSION + "Render déficient \n", ""}),
    [](const ::testing::TestParamInfo<Echec> &i) { return std::string(i.param.nom); });

TEST_F(BoutEnBout, ResisteAUneTempeteDEvenements) {
    lance(1280, 800);
    std::mt19937 alea(20261207);
    const std::array<KeySym, 12> hors_table = {XK_a,  XK_b,      XK_z,       XK_1,    XK_F5, XK_Tab,
                                               XK_Up, XK_Return, XK_Shift_L, XK_Home, XK_m,  XK_x};
    const std::array<std::pair<int, int>, 6> tailles = {
        {{3, 3}, {1, 1}, {40, 7}, {2200, 1500}, {640, 2}, {1280, 725}}};
    for (int i = 0; i < 3000; ++i) {
        pointe(ecran, static_cast<int>(alea() % 1400), static_cast<int>(alea() % 900));
        if (i % 10 == 0) {
            touche(ecran, hors_table[alea() % hors_table.size()]);
        }
        if (i % 500 == 0) {
            const auto [w, h] = tailles[(i / 500) % tailles.size()];
            redimensionne(ecran, win, w, h);
        }
    }
    touche(ecran, XK_a, 800);  // held long enough for the server to repeat it
    redimensionne(ecran, win, 1280, 725);
    ASSERT_EQ(waitpid(prog.pid, nullptr, WNOHANG), 0) << "the program ended under the storm";

    pointe(ecran, 640, 360);
    EXPECT_GT(nb_rouges(dessin()), 0);
    touche(ecran, XK_Escape);
    const resultat_t r = fin();
    EXPECT_EQ(r.status, 0) << r.erreurs;
    // The storm left nothing queued that would hold the end back a frame.
    EXPECT_EQ(fin_du_journal(journal), FIN_DU_JOURNAL);
}

// The class the launcher says its windows have.
std::string classe_du_lanceur() {
    std::ifstream lanceur(LANCEUR);
    std::string ligne;
    while (std::getline(lanceur, ligne)) {
        if (ligne.rfind("StartupWMClass=", 0) == 0) {
            return ligne.substr(ligne.find('=') + 1);
        }
    }
    return "(no StartupWMClass in " LANCEUR ")";
}

// vorna is left open among other windows: while the pointer rests the screen
// saver starts as it would without it, nothing holds it off over D-Bus, the
// desktop keeps compositing, and task bars find the launcher and an icon.
TEST_F(BoutEnBout, UneFenetreParmiDAutres) {
    ASSERT_TRUE(bus_demarre(bus)) << "no D-Bus session bus";
    lance(1024, 768, {}, {"DBUS_SESSION_BUS_ADDRESS=" + bus.adresse});
    economiseur(ecran, 2);
    EXPECT_TRUE(attend_que([&] { return economiseur_actif(ecran); }, 8000))
        << "the screen saver did not start with the pointer at rest";

    EXPECT_EQ(classe(ecran, win), classe_du_lanceur());
    const std::vector<long> contourne = propriete(ecran, win, "_NET_WM_BYPASS_COMPOSITOR");
    EXPECT_TRUE(contourne.empty() || contourne[0] == 0);
    // Width, height, then ARGB pixels: a cell's opaque red must be there.
    const std::vector<long> icone = propriete(ecran, win, "_NET_WM_ICON");
    ASSERT_GE(icone.size(), 2U) << "no icon";
    EXPECT_GE(icone[0], 32);
    EXPECT_GE(icone[1], 32);
    EXPECT_TRUE(std::any_of(icone.begin() + 2, icone.end(),
                            [](long p) { return (p & 0xFFFFFFFFL) == 0xFFFF0000L; }));

    touche(ecran, XK_Escape);
    EXPECT_EQ(fin().status, 0);
    const std::string vu = bus_arrete(bus);
    EXPECT_NE(vu.find("member=Hello"), std::string::npos) << "the program never joined the bus";
    for (const char *appel : {"member=Inhibit", "member=SimulateUserActivity"}) {
        EXPECT_EQ(vu.find(appel), std::string::npos) << vu;
    }
}

struct Clavier {
    const char *nom;
    const char *disposition;  // as setxkbmap names it, in force when vorna starts
    bool latine;              // the controls are pressed on the keys labelled N and Q; else
                              // on the keys where a US keyboard has them
    bool ibus;                // IBus runs with its Pinyin engine, which composes Chinese
    const char *variante = "";
    unsigned autre = 0;  // the keycode of a key that must do nothing (0: none)
};

class Claviers : public BoutEnBout, public ::testing::WithParamInterface<Clavier> {
protected:
    void TearDown() override {
        BoutEnBout::TearDown();
        arrete(ibus, SIGTERM);
        std::error_code ignore;
        std::filesystem::remove_all(config, ignore);
    }

    // IBus as a desktop session starts it, on the test's own bus and X
    // server, with its files in a folder of the test's; what the program
    // needs to find it is added to env. False if the engine is not in use.
    bool ibus_pinyin(std::vector<std::string> &env) {
        char modele[] = "/tmp/vorna-ibus-XXXXXX";
        if (!bus_demarre(bus) || mkdtemp(modele) == nullptr) {
            return false;
        }
        config = modele;
        env = {"DISPLAY=" + ecran.display,
               "DBUS_SESSION_BUS_ADDRESS=" + bus.adresse,
               "XDG_CONFIG_HOME=" + config,
               "XDG_CACHE_HOME=" + config,
               "HOME=" + config,
               "SDL_IM_MODULE=ibus",
               "XMODIFIERS=@im=ibus",
               "GTK_IM_MODULE=ibus"};
        ibus = demarre({"/usr/bin/ibus-daemon", "--xim", "--replace", "--panel=disable"}, env);
        return attend_que(
            [&] {
                execute({"/usr/bin/ibus", "engine", "libpinyin"}, env, 5000);
                return execute({"/usr/bin/ibus", "engine"}, env, 5000).sortie == "libpinyin\n";
            },
            20000);
    }

    processus_t ibus;
    std::string config;
};

// N wipes and Q ends, pressed as a user does (the physical keys, by
// keycode), whatever the layout and whatever the input method.
TEST_P(Claviers, NEffaceEtQTermine) {
    const Clavier &c = GetParam();
    ASSERT_TRUE(ecran_demarre(ecran, 1024, 768)) << "Xvfb did not start";
    KeyCode n = XKeysymToKeycode(ecran.dpy, XK_n);
    KeyCode q = XKeysymToKeycode(ecran.dpy, XK_q);
    const resultat_t r = execute({"/usr/bin/setxkbmap", "-display", ecran.display, "-layout",
                                  c.disposition, "-variant", c.variante},
                                 {}, 5000);
    ASSERT_EQ(r.status, 0) << r.erreurs;
    if (c.latine) {
        // A connection of its own reads the new layout; ours keeps the old.
        Display *d = XOpenDisplay(ecran.display.c_str());
        ASSERT_NE(d, nullptr);
        n = XKeysymToKeycode(d, XK_n);
        q = XKeysymToKeycode(d, XK_q);
        XCloseDisplay(d);
    }
    std::vector<std::string> env;
    if (c.ibus) {
        ASSERT_TRUE(ibus_pinyin(env)) << "IBus did not take up its Pinyin engine";
    }
    lance_programme({}, env);

    pointe(ecran, 500, 340);
    laisse_passer(6);
    const image_t avant = ecran_fenetre();
    touche_code(ecran, n);
    // Only a wipe takes red off the canvas.
    EXPECT_TRUE(attend_que([&] { return !rouges_gardes(avant, ecran_fenetre()); }, 10000))
        << "N did not wipe";
    if (c.autre != 0) {
        // The cells chase the pointer: the key neither wiped, paused nor
        // ended the program.
        pointe(ecran, 100, 100);
        laisse_passer(2);
        const image_t avant_autre = ecran_fenetre();
        touche_code(ecran, c.autre);
        laisse_passer(4);
        const image_t apres = ecran_fenetre();
        EXPECT_TRUE(rouges_gardes(avant_autre, apres)) << "another key wiped";
        EXPECT_GT(nb_rouges(apres), nb_rouges(avant_autre)) << "another key paused";
    }
    touche_code(ecran, q);
    const resultat_t fini = fin();
    EXPECT_EQ(fini.status, 0) << "Q did not end the program";
}

INSTANTIATE_TEST_SUITE_P(
    Dispositions, Claviers,
    ::testing::Values(Clavier{"us", "us", true, false}, Clavier{"fr", "fr", true, false},
                      Clavier{"ru", "ru", false, false}, Clavier{"gr", "gr", false, false},
                      Clavier{"ibus_pinyin", "us", true, true},
                      // Punctuation where a US keyboard has Q, N and P.
                      Clavier{"dvorak", "us", true, false, "dvorak", 24},
                      Clavier{"bepo", "fr", true, false, "bepo", 57},
                      Clavier{"colemak", "us", true, false, "colemak", 33}),
    [](const ::testing::TestParamInfo<Clavier> &i) { return std::string(i.param.nom); });

TEST_F(BoutEnBout, LaMortDuServeurXLArreteSansAttendre) {
    lance(1024, 768);
    ecran_arrete(ecran, true);
    const resultat_t r = fin();
    EXPECT_EQ(r.status, 1) << "-1: still running ten seconds after the X server died";
    EXPECT_NE(r.erreurs.find("Error : X11 connection lost - "), std::string::npos) << r.erreurs;
}

}  // namespace
