// The cell scene: set-up, one frame and shutdown over one scene_t record, and
// the geometry of a single cell.
#include "pave.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <limits>

#include "affichage.h"
#include "icone.h"

namespace {

constexpr const char *TITRE = "VORNA V0.0.01";
constexpr int MARGE_BAS = 75;         // the window leaves this much of the display free
constexpr int ECRAN_DEFAUT_W = 1800;  // display assumed when its mode can't be read
constexpr int ECRAN_DEFAUT_H = 1075;
constexpr int PLACEMENT_W = 1800;  // cells start anywhere in this fixed area
constexpr int PLACEMENT_H = 1000;
constexpr int PAS = 10;                            // longest step of a cell per frame
constexpr Uint32 PAUSE_MS = 50;                    // wait after each present
constexpr double ANGLE_TOUR = 2.0943951023931953;  // 2*pi/3, the turn at each vertex

// What SDL is told before it starts, as environment defaults: SDL 2 and
// SDL 3 both read their settings there, a user's own value is left as it
// is, and SDL 2 reads the window class nowhere else.
constexpr std::array<std::array<const char *, 2>, 6> REGLAGES = {{
    // SDL's default suits a game someone watches: it inhibits the screen
    // saver over D-Bus and Wayland and suspends X's. vorna is left open on
    // desktops; whoever walks away from it must still get a locked screen.
    {SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1"},
    // Bypassing the compositor would switch off the whole desktop's effects
    // and shadows (KDE and others) while vorna is open.
    {SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0"},
    // The launcher's id as X11 class and Wayland app id, on SDL 2 and on
    // SDL 3, so that desktops tie the window to its launcher and icon.
    {"SDL_VIDEO_X11_WMCLASS", VORNA_ID},
    {"SDL_VIDEO_WAYLAND_WMCLASS", VORNA_ID},
    {"SDL_APP_ID", VORNA_ID},
    // On a scaled Wayland screen SDL 3 would give this SDL 2 program a window
    // measured in pixels: the window, and the cells moving in its units,
    // would come out at a fraction of their size. vorna knows units from
    // pixels (it asks for both), as with SDL 2.
    {"SDL_VIDEO_WAYLAND_SCALE_TO_DISPLAY", "0"},
}};

constexpr std::array<float, NB_CELLULES> ORIENTATIONS = {
    0.0F,       0.5235988F,  0.7853982F,  1.0471976F,  1.5707964F,
    3.1415927F, -0.5235988F, -0.7853982F, -1.0471976F, -1.5707964F,
};

// Truncates toward zero like a plain conversion, but saturates instead of
// being undefined for values no int can hold.
int tronque(double v) {
    constexpr double bas = std::numeric_limits<int>::min();
    constexpr double haut = std::numeric_limits<int>::max();
    if (std::isnan(v)) {
        return 0;
    }
    if (v <= bas) {
        return std::numeric_limits<int>::min();
    }
    if (v >= haut) {
        return std::numeric_limits<int>::max();
    }
    return static_cast<int>(v);
}

// The icon's tile, black at the given opacity, row by row so that the
// corners stay transparent.
void tuile(SDL_Renderer *r, Uint8 alpha) {
    SDL_SetRenderDrawColor(r, 0, 0, 0, alpha);
    for (int y = 0; y < ICONE; ++y) {
        const int dans_coin = SDL_max(0, SDL_max(ICONE_RAYON - y, y - (ICONE - 1 - ICONE_RAYON)));
        const int retrait = ICONE_RAYON - static_cast<int>(std::sqrt(static_cast<double>(
                                              ICONE_RAYON * ICONE_RAYON - dans_coin * dans_coin)));
        SDL_RenderDrawLine(r, retrait, y, ICONE - 1 - retrait, y);
    }
}

// Drawn with the cells' own routine; each later cell comes after a veil of
// black over the earlier ones, as trails fade. Null if SDL can't make it.
SDL_Surface *icone_neuve() {
    SDL_Surface *icone =
        SDL_CreateRGBSurfaceWithFormat(0, ICONE, ICONE, 32, SDL_PIXELFORMAT_ARGB8888);
    SDL_Renderer *r = icone != nullptr ? SDL_CreateSoftwareRenderer(icone) : nullptr;
    if (r == nullptr) {
        SDL_FreeSurface(icone);
        return nullptr;
    }
    SDL_SetRenderDrawColor(r, 0, 0, 0, 0);
    SDL_RenderClear(r);
    SDL_SetRenderDrawBlendMode(r, SDL_BLENDMODE_BLEND);
    tuile(r, 255);
    for (const trace_icone_t &t : ICONE_TRACES) {
        if (t.voile > 0) {
            tuile(r, t.voile);
        }
        const int epaisseur = t.epais ? 1 : 0;
        for (int dy = -epaisseur; dy <= epaisseur; ++dy) {
            for (int dx = -epaisseur; dx <= epaisseur; ++dx) {
                trace_triangle(r, t.x + dx, t.y + dy, t.cote, ICONE_THETA);
            }
        }
    }
    SDL_DestroyRenderer(r);
    return icone;
}

// The control a key press stands for. A letter is read from the key's
// label where the layout puts a Latin letter on it (AZERTY's Q, Dvorak's
// N). A key with anything else on it stands for the letter at its place on
// a US keyboard only where the layout has no key for that letter at all
// (Cyrillic, Greek, Hebrew or Arabic layouts), so that the letter controls
// work there too; on a Latin layout the punctuation it puts there
// (Dvorak's apostrophe where a US keyboard has Q) stands for itself.
SDL_Keycode commande(const SDL_Keysym &k) {
    if (k.sym >= SDLK_a && k.sym <= SDLK_z) {
        return k.sym;
    }
    if (k.scancode >= SDL_SCANCODE_A && k.scancode <= SDL_SCANCODE_Z) {
        const SDL_Keycode place = SDLK_a + (k.scancode - SDL_SCANCODE_A);
        if (SDL_GetScancodeFromKey(place) == SDL_SCANCODE_UNKNOWN) {
            return place;
        }
    }
    return k.sym;
}

// A cell as the canvas shows it, in its pixels: the vertex, the side, and
// the outline's width (a unit's worth of pixels, at least one).
struct trace_t {
    int x;
    int y;
    int cote;
    int epaisseur;
};

trace_t trace_cellule(const scene_t &scene, int i) {
    const double e = scene.echelle;
    return {tronque(scene.x_triangle[i] * e), tronque(scene.y_triangle[i] * e), tronque(COTE * e),
            SDL_max(1, tronque(std::round(e)))};
}

// All that a cell's drawing can touch: it lies within one side of its
// vertex, its outline as wide as the trace's.
SDL_Rect autour(const trace_t &c) {
    const int cote = 2 * c.cote + 2 + c.epaisseur;
    return {c.x - c.cote - 1, c.y - c.cote - 1, cote, cote};
}

// The size of the window's drawing area in pixels, and the pixels to a
// unit. Asked of the window, not of the renderer: the renderer answers with
// the size of whatever it draws into, which is the canvas for most of a
// frame (and right after set-up, when a tiling window manager resizes the
// window it has just mapped).
void lit_taille(scene_t &scene) {
    int w = 0;
    int h = 0;
    int unites = 0;
    SDL_GetWindowSizeInPixels(scene.window, &w, &h);
    SDL_GetWindowSize(scene.window, &unites, nullptr);
    if (w > 0 && h > 0 && unites > 0) {
        scene.scr_width = w;
        scene.scr_height = h;
        scene.echelle = static_cast<float>(w) / static_cast<float>(unites);
    }
}

// Called by SDL for every event as it is queued: the scene learns of a new
// window size at once, even while the event still waits in the queue, and
// the canvas of a window that lost what it showed, which it must bring back
// whole.
int SDLCALL suit_fenetre(void *donnees, SDL_Event *event) {
    auto *scene = static_cast<scene_t *>(donnees);
    if (event->type != SDL_WINDOWEVENT ||
        event->window.windowID != SDL_GetWindowID(scene->window)) {
        return 1;
    }
    switch (event->window.event) {
        case SDL_WINDOWEVENT_SIZE_CHANGED:
            lit_taille(*scene);
            toile_perdue(scene->toile);
            break;
        case SDL_WINDOWEVENT_EXPOSED:
            toile_perdue(scene->toile);
            break;
        default:
            break;
    }
    return 1;
}

SDL_bool touche(scene_t &scene, SDL_Keycode sym) {
    switch (sym) {
        case SDLK_ESCAPE:
        case SDLK_q:
            scene.program_on = SDL_FALSE;
            return SDL_TRUE;
        case SDLK_n:
            toile_efface(scene.toile, scene.render);
            return SDL_TRUE;
        case SDLK_p:
            scene.paused = scene.paused ? SDL_FALSE : SDL_TRUE;
            return SDL_TRUE;
        case SDLK_SPACE:
            if (scene.paused) {
                scene.un_pas = SDL_TRUE;
            }
            return SDL_TRUE;
        default:
            return SDL_FALSE;
    }
}

}  // namespace

vecteur_t calcul_nv_coordonnees(int x, int y, int x_crs, int y_crs) {
    // Offsets are formed in 64 bits so that no pair of ints can overflow;
    // for every offset a 32-bit int can hold, the step is the same.
    const std::int64_t mid_x = static_cast<std::int64_t>(x_crs) - x;
    const std::int64_t mid_y = static_cast<std::int64_t>(y_crs) - y;
    const double distance = std::sqrt(std::pow(static_cast<double>(mid_x), 2.0) +
                                      std::pow(static_cast<double>(mid_y), 2.0));
    vecteur_t res{0, 0};
    if (distance == 0.0) {
        return res;  // already on the pointer: 0/0 has no direction, so stay
    }
    res.x = tronque(static_cast<double>(PAS * mid_x) / distance);
    res.y = tronque(static_cast<double>(PAS * mid_y) / distance);
    return res;
}

int trace_triangle(SDL_Renderer *renderer, int x, int y, int w, float theta) {
    SDL_SetRenderDrawColor(renderer, 255, 0, 0, 255);
    const double a = theta;
    const double x1 = x + w * std::cos(a);
    const double y1 = y + w * std::sin(a);
    SDL_RenderDrawLine(renderer, x, y, tronque(x1), tronque(y1));
    // The far vertices are chained from the untruncated first one, so the
    // outline always closes on (x, y).
    const double b = a + ANGLE_TOUR;
    const double x2 = x1 + w * std::cos(b);
    const double y2 = y1 + w * std::sin(b);
    SDL_RenderDrawLine(renderer, tronque(x1), tronque(y1), tronque(x2), tronque(y2));
    SDL_RenderDrawLine(renderer, tronque(x2), tronque(y2), x, y);
    return 0;
}

void reglages_bureau() {
    for (const auto &[nom, valeur] : REGLAGES) {
        setenv(nom, valeur, 0);
    }
    affichage_reglages();
}

void scene_demarre(scene_t &scene) {
    std::srand(static_cast<unsigned>(std::time(nullptr)));

    // SDL_PollEvent would end a poll cycle on a marker it queues when it
    // pumps. A drain cut short by a useful event leaves that marker behind,
    // and the next drain would stop on it with later events still queued:
    // without it, every drain runs to the first useful event or an empty
    // queue. The drain depends on it, so it is not left to the environment.
    SDL_SetHintWithPriority(SDL_HINT_POLL_SENTINEL, "0", SDL_HINT_OVERRIDE);

    // The display's size in units, as the desktop sees it (pixels unless
    // it is scaled). The mode is left untouched when it can't be read: size
    // the window as for the display the cells are laid out for rather than
    // from garbage.
    SDL_DisplayMode mode{};
    if (SDL_GetCurrentDisplayMode(0, &mode) != 0) {
        mode.w = ECRAN_DEFAUT_W;
        mode.h = ECRAN_DEFAUT_H;
    }
    const int w = mode.w;
    const int h = mode.h - MARGE_BAS;
    scene.window =
        SDL_CreateWindow(TITRE, 0, 0, w, h, SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI);
    if (scene.window == nullptr) {
        SDL_Log("Error : SDL window creation - %s\n", SDL_GetError());
        SDL_Quit();
        std::exit(EXIT_FAILURE);
    }
    // Without one, task bars and switchers show a generic picture.
    if (SDL_Surface *icone = icone_neuve()) {
        SDL_SetWindowIcon(scene.window, icone);
        SDL_FreeSurface(icone);
    }

    for (int i = 0; i < NB_CELLULES; ++i) {
        scene.x_triangle[i] = std::rand() % PLACEMENT_W;
        scene.y_triangle[i] = std::rand() % PLACEMENT_H;
    }
    scene.theta_triangle = ORIENTATIONS;

    // SDL's renderer on the window, unless SDL can make it only through
    // OpenGL where vorna asked it for none: the canvas's then.
    scene.render = toile_rendu(scene.toile, scene.window,
                               SDL_RENDERER_ACCELERATED | SDL_RENDERER_PRESENTVSYNC);
    if (scene.render == nullptr) {
        std::printf("Render déficient \n");
        std::fflush(stdout);  // before SDL_Quit, which a failing driver may not survive
        SDL_Quit();
        std::exit(EXIT_FAILURE);
    }

    // vorna reads keys, never text. SDL 2 sends every key to the input
    // method first while text input is on, as it is from the start: an
    // engine that composes (Pinyin, Wubi) would take N, P and Q for text
    // and show its candidates over the canvas.
    SDL_StopTextInput();

    // The first present shows black, not what the driver left there. The
    // canvas is black too, so a plain clear shows the same for less, and the
    // canvas is made once the window is up.
    SDL_SetRenderDrawColor(scene.render, 0, 0, 0, 255);
    SDL_RenderClear(scene.render);
    SDL_RenderPresent(scene.render);
    // Pixels at a scale of 1, unless the window says otherwise.
    scene.scr_width = w;
    scene.scr_height = h;
    lit_taille(scene);
    scene.render = toile_cree(scene.toile, scene.window, scene.render, scene.scr_width,
                              scene.scr_height, scene.echelle);
    SDL_AddEventWatch(suit_fenetre, &scene);
}

SDL_bool scene_evenement(scene_t &scene, const SDL_Event &event) {
    switch (event.type) {
        case SDL_QUIT:
            scene.program_on = SDL_FALSE;
            return SDL_TRUE;
        case SDL_KEYDOWN:
            return touche(scene, commande(event.key.keysym));
        case SDL_RENDER_TARGETS_RESET:
        case SDL_RENDER_DEVICE_RESET:
            // The canvas's pixels (or the texture itself) are gone: start a
            // fresh black one, as after a wipe.
            scene.render = toile_renouvelle(scene.toile, scene.render, scene.scr_width,
                                            scene.scr_height, scene.echelle);
            return SDL_FALSE;
        default:
            return SDL_FALSE;
    }
}

namespace {

// Outlines as wide as a unit: drawn again once per further pixel of their
// width, moved by the viewport's origin rather than from a moved vertex, so
// that each copy is the same pixels shifted. Computed again from a moved
// vertex, a far vertex within rounding of a whole pixel (the third one of
// a cell at -60 degrees) truncates one way or the other, the copies part,
// and the outline shows slivers a pixel wide.
void epaissit(scene_t &scene, const std::array<trace_t, NB_CELLULES> &traces) {
    const int e = traces[0].epaisseur;
    if (e <= 1) {
        return;
    }
    SDL_Rect plein;
    SDL_RenderGetViewport(scene.render, &plein);
    for (int d = 1; d < e * e; ++d) {
        const SDL_Rect decale{plein.x + d % e, plein.y + d / e, plein.w, plein.h};
        SDL_RenderSetViewport(scene.render, &decale);
        for (int i = 0; i < NB_CELLULES; ++i) {
            const trace_t &t = traces[i];
            trace_triangle(scene.render, t.x, t.y, t.cote, scene.theta_triangle[i]);
        }
    }
    SDL_RenderSetViewport(scene.render, &plein);
}

// The frame's present, with where it drew.
void montre(scene_t &scene) {
    toile_montre(scene.toile, scene.render, scene.scr_width, scene.scr_height, scene.zones.data(),
                 NB_CELLULES);
}

// Ends the process, once the canvas has said why in SDL's log, when the
// connection to the compositor is lost.
void tient(const scene_t &scene) {
    if (!toile_tient(scene.toile)) {
        SDL_Quit();
        std::exit(EXIT_FAILURE);
    }
}

}  // namespace

void scene_image(scene_t &scene) {
    // Before SDL reads from a compositor that is gone: a libdecor plugin
    // built on GTK (GNOME's frames) would end the process as soon as SDL
    // lets it read, with a message of GTK's own.
    tient(scene);

    // Only the first useful event takes effect; the rest wait a frame.
    SDL_bool event_utile = SDL_FALSE;
    SDL_Event event;
    while (!event_utile && SDL_PollEvent(&event)) {
        event_utile = scene_evenement(scene, event);
    }
    // A lost compositor also comes as a request to quit: it is a failure,
    // not the user's wish. And SDL's vsynced present may then wait forever
    // for a frame that no one will draw.
    tient(scene);

    int x_crs = 0;
    int y_crs = 0;
    SDL_GetMouseState(&x_crs, &y_crs);

    const bool bouge = !scene.paused || scene.un_pas;
    scene.un_pas = SDL_FALSE;
    scene.render =
        toile_prepare(scene.toile, scene.render, scene.scr_width, scene.scr_height, scene.echelle);
    std::array<trace_t, NB_CELLULES> traces{};
    for (int i = 0; i < NB_CELLULES; ++i) {
        if (bouge) {
            const vecteur_t direction =
                calcul_nv_coordonnees(scene.x_triangle[i], scene.y_triangle[i], x_crs, y_crs);
            scene.x_triangle[i] += direction.x;
            scene.y_triangle[i] += direction.y;
        }
        traces[i] = trace_cellule(scene, i);
        const trace_t &t = traces[i];
        trace_triangle(scene.render, t.x, t.y, t.cote, scene.theta_triangle[i]);
        scene.zones[i] = autour(t);
    }
    epaissit(scene, traces);
    montre(scene);
    SDL_Delay(PAUSE_MS);
}

void scene_termine(scene_t &scene) {
    montre(scene);
    SDL_Delay(PAUSE_MS);
    SDL_DelEventWatch(suit_fenetre, &scene);
    if (SDL_Renderer *reste = toile_detruit(scene.toile, scene.render)) {
        SDL_DestroyRenderer(reste);
    }
    scene.render = nullptr;
    SDL_DestroyWindow(scene.window);
    scene.window = nullptr;
}

int petites_cellules() {
    scene_t scene;
    scene_demarre(scene);
    while (scene.program_on) {
        scene_image(scene);
    }
    scene_termine(scene);
    return 0;
}
