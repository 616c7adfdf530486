// The scene driven frame by frame on SDL's software renderer, with events
// pushed into SDL's queue and the window's pixels read back.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "attendus.h"
#include "pave.h"

namespace {

constexpr Uint32 RGB = 0x00FFFFFFU;
constexpr Uint32 ROUGE = 0x00FF0000U;

struct Cellule {
    int x, y;
    float theta;
};

class Scene : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        setenv("SDL_RENDER_DRIVER", "software", 1);
    }

    void SetUp() override {
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
        scene_demarre(scene);
        ASSERT_NE(scene.render, nullptr);
        // Start from a known queue and a known pointer.
        SDL_PumpEvents();
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
        pointe(400, 300);
    }

    void TearDown() override {
        if (scene.render != nullptr) {
            scene_termine(scene);
        }
        SDL_Quit();
    }

    void pointe(int x, int y) {
        SDL_WarpMouseInWindow(scene.window, x, y);
    }

    static void pousse_touche(SDL_Keycode sym, Uint32 type = SDL_KEYDOWN,
                              SDL_Scancode code = SDL_SCANCODE_UNKNOWN) {
        SDL_Event e{};
        e.type = type;
        e.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
        e.key.keysym.sym = sym;
        e.key.keysym.scancode = code;
        ASSERT_EQ(SDL_PushEvent(&e), 1) << SDL_GetError();
    }

    static void pousse(Uint32 type) {
        SDL_Event e{};
        e.type = type;
        ASSERT_EQ(SDL_PushEvent(&e), 1) << SDL_GetError();
    }

    std::vector<Cellule> cellules() const {
        std::vector<Cellule> c;
        for (int i = 0; i < NB_CELLULES; ++i) {
            c.push_back({scene.x_triangle[i], scene.y_triangle[i], scene.theta_triangle[i]});
        }
        return c;
    }

    void place(const std::vector<vecteur_t> &positions) {
        for (int i = 0; i < NB_CELLULES; ++i) {
            scene.x_triangle[i] = positions[i].x;
            scene.y_triangle[i] = positions[i].y;
        }
    }

    // Runs one frame and returns the cells as they were drawn in it.
    std::vector<Cellule> image() {
        scene_image(scene);
        return cellules();
    }

    // What the window shows, as 0xRRGGBB: read back from the renderer that
    // draws into it, or from its framebuffer when the canvas is pushed
    // there.
    std::vector<Uint32> fenetre() const {
        int w = 0, h = 0;
        SDL_GetWindowSizeInPixels(scene.window, &w, &h);
        std::vector<Uint32> p(static_cast<size_t>(w) * h);
        if (scene.toile.logiciel) {
            SDL_Surface *s = SDL_GetWindowSurface(scene.window);
            EXPECT_NE(s, nullptr) << SDL_GetError();
            EXPECT_EQ(SDL_ConvertPixels(w, h, s->format->format, s->pixels, s->pitch,
                                        SDL_PIXELFORMAT_ARGB8888, p.data(), w * 4),
                      0)
                << SDL_GetError();
        } else {
            EXPECT_EQ(SDL_RenderReadPixels(scene.render, nullptr, SDL_PIXELFORMAT_ARGB8888,
                                           p.data(), w * 4),
                      0)
                << SDL_GetError();
        }
        for (Uint32 &v : p) {
            v &= RGB;
        }
        return p;
    }

    // A cell's outline as cells are specified, worked out here rather than
    // by the program: its first side at theta, each next one turned by
    // 2 pi / 3, the far vertices truncated toward zero.
    static void contour(SDL_Renderer *r, int x, int y, int cote, float theta) {
        const double a = theta;
        const double b = a + 2.0943951023931953;
        const double x1 = x + cote * std::cos(a);
        const double y1 = y + cote * std::sin(a);
        const int x2 = static_cast<int>(x1 + cote * std::cos(b));
        const int y2 = static_cast<int>(y1 + cote * std::sin(b));
        SDL_SetRenderDrawColor(r, 255, 0, 0, 255);
        SDL_RenderDrawLine(r, x, y, static_cast<int>(x1), static_cast<int>(y1));
        SDL_RenderDrawLine(r, static_cast<int>(x1), static_cast<int>(y1), x2, y2);
        SDL_RenderDrawLine(r, x2, y2, x, y);
    }

    // The same window drawn independently, by a renderer of the test's own
    // on a surface of its own: black, then the given cells, clipped as they
    // are on the canvas, which may be larger than the window.
    std::vector<Uint32> attendu(const std::vector<Cellule> &dessin, int cote = COTE) const {
        int w = 0, h = 0;
        SDL_GetWindowSizeInPixels(scene.window, &w, &h);
        SDL_Surface *s = SDL_CreateRGBSurfaceWithFormat(
            0, SDL_max(w, scene.toile.w), SDL_max(h, scene.toile.h), 32, SDL_PIXELFORMAT_ARGB8888);
        SDL_Renderer *r = SDL_CreateSoftwareRenderer(s);
        SDL_SetRenderDrawColor(r, 0, 0, 0, 255);
        SDL_RenderClear(r);
        for (const Cellule &c : dessin) {
            contour(r, c.x, c.y, cote, c.theta);
        }
        SDL_RenderFlush(r);
        std::vector<Uint32> p(static_cast<size_t>(w) * h);
        for (int y = 0; y < h; ++y) {
            const auto *ligne = reinterpret_cast<const Uint32 *>(
                static_cast<const char *>(s->pixels) + static_cast<size_t>(y) * s->pitch);
            for (int x = 0; x < w; ++x) {
                p[static_cast<size_t>(y) * w + x] = ligne[x] & RGB;
            }
        }
        SDL_DestroyRenderer(r);
        SDL_FreeSurface(s);
        return p;
    }

    static void ajoute(std::vector<Cellule> &tout, const std::vector<Cellule> &plus) {
        tout.insert(tout.end(), plus.begin(), plus.end());
    }

    scene_t scene;
};

// Ten cells within the window, away from the pointer at (400, 300).
const std::vector<vecteur_t> DISPERSION = {
    {20, 30},   {700, 40},  {900, 600}, {100, 500}, {350, 650},
    {600, 300}, {250, 120}, {800, 200}, {60, 250},  {500, 550},
};

TEST_F(Scene, DemarreNoirAvecLesOrientationsDeLaTable) {
    const std::vector<Uint32> noir = attendu({});
    EXPECT_TRUE(fenetre() == noir);
    EXPECT_EQ(scene.theta_triangle, ORIENTATIONS);
    for (int i = 0; i < NB_CELLULES; ++i) {
        EXPECT_TRUE(scene.x_triangle[i] >= 0 && scene.x_triangle[i] < 1800);
        EXPECT_TRUE(scene.y_triangle[i] >= 0 && scene.y_triangle[i] < 1000);
    }
    EXPECT_EQ(scene.program_on, SDL_TRUE);
    EXPECT_EQ(scene.paused, SDL_FALSE);
    // SDL's software renderer draws with the processor: the canvas is then
    // kept in memory, unless the GPU way is asked for.
    const char *force = std::getenv("SDL_FRAMEBUFFER_ACCELERATION");
    EXPECT_EQ(scene.toile.logiciel, force == nullptr || std::string(force) == "0");
}

TEST_F(Scene, LesTracesSAccumulentPuisNLesEfface) {
    // On the canvas, and straight on the window when there is none.
    for (const bool toile : {true, false}) {
        SCOPED_TRACE(toile ? "canvas" : "no canvas");
        if (!toile) {
            if (scene.toile.logiciel) {
                break;  // a canvas in memory can always be had
            }
            SDL_DestroyTexture(scene.toile.texture);
            scene.toile.texture = nullptr;
        }
        place(DISPERSION);
        pousse_touche(SDLK_n);
        std::vector<Cellule> tout;
        for (int i = 0; i < 4; ++i) {
            ajoute(tout, image());
        }
        EXPECT_TRUE(fenetre() == attendu(tout));

        pousse_touche(SDLK_n);
        const std::vector<Cellule> apres = image();
        EXPECT_TRUE(fenetre() == attendu(apres));
        EXPECT_FALSE(attendu(apres) == attendu(tout));
    }
}

TEST_F(Scene, LesCellulesRejoignentLePointeurEtYRestent) {
    pointe(333, 222);
    // Cell 0 exactly on the pointer, two more a step away from landing on it.
    std::vector<vecteur_t> depart = DISPERSION;
    depart[0] = {333, 222};
    depart[1] = {323, 222};
    depart[2] = {327, 214};
    place(depart);
    for (int i = 0; i < 120; ++i) {
        image();
    }
    for (int i = 0; i < 20; ++i) {
        const std::vector<Cellule> c = image();
        for (const Cellule &cel : c) {
            ASSERT_LE(std::abs(cel.x - 333), 10);
            ASSERT_LE(std::abs(cel.y - 222), 10);
        }
        EXPECT_EQ(c[0].x, 333);
        EXPECT_EQ(c[0].y, 222);
    }
}

TEST_F(Scene, NPuisQDansLaMemeImageEffacentPuisTerminent) {
    place(DISPERSION);
    image();
    pousse_touche(SDLK_n);
    pousse_touche(SDLK_q);
    const std::vector<Cellule> premiere = image();
    EXPECT_EQ(scene.program_on, SDL_TRUE);
    EXPECT_TRUE(fenetre() == attendu(premiere));

    std::vector<Cellule> tout = premiere;
    ajoute(tout, image());
    EXPECT_EQ(scene.program_on, SDL_FALSE);
    EXPECT_TRUE(fenetre() == attendu(tout));
}

TEST_F(Scene, ChaqueDemandeDArretBougeEtDessineUneDerniereImage) {
    const std::vector<std::pair<Uint32, SDL_Keycode>> demandes = {
        {SDL_QUIT, 0}, {SDL_KEYDOWN, SDLK_ESCAPE}, {SDL_KEYDOWN, SDLK_q}};
    for (const auto &[type, sym] : demandes) {
        SCOPED_TRACE(sym);
        scene.program_on = SDL_TRUE;
        place(DISPERSION);
        pousse_touche(SDLK_n);
        image();
        if (type == SDL_QUIT) {
            pousse(SDL_QUIT);
        } else {
            pousse_touche(sym);
        }
        const std::vector<Cellule> avant = cellules();
        const std::vector<Cellule> derniere = image();
        EXPECT_EQ(scene.program_on, SDL_FALSE);
        for (int i = 0; i < NB_CELLULES; ++i) {
            EXPECT_NE(derniere[i].x * 10000 + derniere[i].y, avant[i].x * 10000 + avant[i].y);
        }
        std::vector<Cellule> deux = avant;
        ajoute(deux, derniere);
        EXPECT_TRUE(fenetre() == attendu(deux));
    }
    scene_termine(scene);
    EXPECT_EQ(scene.render, nullptr);
    EXPECT_EQ(scene.window, nullptr);
}

TEST_F(Scene, SeulLePremierEvenementUtileAgitDansUneImage) {
    place(DISPERSION);
    image();
    // Pointer motion, key releases and keys outside the table never stop
    // the drain, however many there are; N after them still wipes.
    for (int i = 0; i < 300; ++i) {
        pointe(400 + i % 7, 300);
    }
    for (const SDL_Keycode k : {SDLK_a, SDLK_RETURN, SDLK_LSHIFT, SDLK_F1}) {
        pousse_touche(k);
        pousse_touche(k, SDL_KEYUP);
    }
    pousse_touche(SDLK_n);
    pousse_touche(SDLK_p);
    pousse_touche(SDLK_ESCAPE);
    const std::vector<Cellule> c = image();
    EXPECT_TRUE(fenetre() == attendu(c));
    EXPECT_EQ(scene.paused, SDL_FALSE);
    image();
    EXPECT_EQ(scene.paused, SDL_TRUE);
    EXPECT_EQ(scene.program_on, SDL_TRUE);
    image();
    EXPECT_EQ(scene.program_on, SDL_FALSE);
}

TEST_F(Scene, LaLettreDUneToucheSelonLaDisposition) {
    // P, as the layout labels the key. Here the layout is SDL's own, a US
    // one with every Latin letter; a layout with none (Greek, Russian),
    // where a key stands for the letter at its US place, needs a display's
    // keymap and is pressed end to end.
    struct Cas {
        const char *disposition;
        SDL_Keycode sym;
        SDL_Scancode code;
        bool pause;
    };
    const std::vector<Cas> cas = {
        {"us", SDLK_p, SDL_SCANCODE_P, true},
        {"Dvorak: p on the R key", SDLK_p, SDL_SCANCODE_R, true},
        {"Dvorak: the period on the R key", SDLK_PERIOD, SDL_SCANCODE_R, false},
        {"AZERTY-like: a Latin letter on the P key", SDLK_a, SDL_SCANCODE_P, false},
        {"Colemak: the semicolon on the P key", SDLK_SEMICOLON, SDL_SCANCODE_P, false},
        {"Cyrillic on a key outside the letters", 0x451, SDL_SCANCODE_GRAVE, false},
    };
    for (const Cas &c : cas) {
        SCOPED_TRACE(c.disposition);
        scene.paused = SDL_FALSE;
        pousse_touche(c.sym, SDL_KEYDOWN, c.code);
        image();
        EXPECT_EQ(scene.paused, c.pause ? SDL_TRUE : SDL_FALSE);
    }
}

TEST_F(Scene, PauseEtPasAPas) {
    place(DISPERSION);
    const auto un_pas = [](const std::vector<Cellule> &avant, int x, int y) {
        std::vector<Cellule> apres = avant;
        for (Cellule &c : apres) {
            const vecteur_t d = calcul_nv_coordonnees(c.x, c.y, x, y);
            c.x += d.x;
            c.y += d.y;
        }
        return apres;
    };
    const auto positions = [](const std::vector<Cellule> &c) {
        std::vector<std::pair<int, int>> p;
        for (const Cellule &cel : c) {
            p.emplace_back(cel.x, cel.y);
        }
        return p;
    };
    // Space while running changes nothing but ending the drain.
    std::vector<Cellule> avant = cellules();
    pousse_touche(SDLK_SPACE);
    EXPECT_EQ(positions(image()), positions(un_pas(avant, 400, 300)));

    pousse_touche(SDLK_p);
    avant = cellules();
    EXPECT_EQ(positions(image()), positions(avant));
    pointe(100, 100);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(positions(image()), positions(avant));
    }
    pousse_touche(SDLK_SPACE);
    const std::vector<Cellule> pas = image();
    EXPECT_EQ(positions(pas), positions(un_pas(avant, 100, 100)));
    EXPECT_EQ(positions(image()), positions(pas));

    // Drawing goes on while paused: a wipe shows the cells where they stand.
    pousse_touche(SDLK_n);
    image();
    EXPECT_TRUE(fenetre() == attendu(pas));

    pousse_touche(SDLK_p);
    EXPECT_EQ(positions(image()), positions(un_pas(pas, 100, 100)));
    EXPECT_EQ(scene.paused, SDL_FALSE);
}

TEST_F(Scene, LaToileSuitLaFenetreQuiGrandit) {
    // A window manager may resize the window before the first frame, while
    // the canvas is still the renderer's target, and again between frames.
    // Each time, a cell in the new area must be drawn and old trails kept.
    std::vector<Cellule> tout;
    const int w0 = scene.toile.w;
    const int h0 = scene.toile.h;
    for (const int pas : {1, 2}) {
        SCOPED_TRACE(pas == 1 ? "before the first frame" : "between frames");
        const int w = w0 + 150 * pas;
        const int h = h0 + 100 * pas;
        SDL_SetWindowSize(scene.window, w, h);
        std::vector<vecteur_t> depart = DISPERSION;
        // Cell 0 (pointing right) wholly inside the new area, on the pointer.
        depart[0] = {w - 60, h - 50};
        pointe(w - 60, h - 50);
        place(depart);
        ajoute(tout, image());
        EXPECT_GE(scene.toile.w, w);
        EXPECT_GE(scene.toile.h, h);
        EXPECT_TRUE(fenetre() == attendu(tout));
    }

    // Shrinking keeps the canvas; growing back shows the same trails.
    SDL_SetWindowSize(scene.window, 200, 100);
    scene.paused = SDL_TRUE;
    image();
    SDL_SetWindowSize(scene.window, w0 + 300, h0 + 200);
    image();
    EXPECT_TRUE(fenetre() == attendu(tout));
}

// At two pixels to the unit, a cell is drawn at twice its place and size,
// its outline two pixels wide: the outline from its vertex, and the same
// pixels one over, one down and both. Cell 8 at (14, 137) has a far vertex
// within rounding of a whole pixel, which a vertex moved by a pixel
// truncates the other way.
TEST_F(Scene, ADeuxPixelsParUniteUnContourDeDeuxPixels) {
    std::vector<vecteur_t> ailleurs(NB_CELLULES, {5000, 5000});
    ailleurs[8] = {14, 137};
    place(ailleurs);
    scene.paused = SDL_TRUE;
    scene.echelle = 2.0F;
    image();
    int w = 0, h = 0;
    SDL_GetWindowSizeInPixels(scene.window, &w, &h);
    const std::vector<Uint32> trait = attendu({{28, 274, scene.theta_triangle[8]}}, 2 * COTE);
    std::vector<Uint32> epais(trait.size(), 0);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            for (int d = 0; d < 4; ++d) {
                const int xs = x - d % 2;
                const int ys = y - d / 2;
                if (xs >= 0 && ys >= 0 && trait[static_cast<size_t>(ys) * w + xs] == ROUGE) {
                    epais[static_cast<size_t>(y) * w + x] = ROUGE;
                }
            }
        }
    }
    EXPECT_TRUE(fenetre() == epais);
}

TEST_F(Scene, UneToilePerdueRepartDuNoir) {
    for (const Uint32 type : {SDL_RENDER_TARGETS_RESET, SDL_RENDER_DEVICE_RESET}) {
        SCOPED_TRACE(type);
        place(DISPERSION);
        image();
        pousse(type);
        const std::vector<Cellule> c = image();
        ASSERT_TRUE(scene.toile.texture != nullptr || scene.toile.memoire != nullptr);
        EXPECT_TRUE(fenetre() == attendu(c));
    }
}

}  // namespace
