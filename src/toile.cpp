// The canvas: making it, growing it, wiping it, presenting it, and choosing
// how it reaches the window.
#include "toile.h"

#include <SDL_syswm.h>
#include <dlfcn.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>

#include "pave.h"

namespace {

// Paints a whole target opaque black: the canvas texture, or the window
// (null).
void noircit(SDL_Renderer *render, SDL_Texture *cible) {
    SDL_SetRenderTarget(render, cible);
    SDL_SetRenderDrawColor(render, 0, 0, 0, 255);
    SDL_RenderClear(render);
}

// What OpenGL says draws it, in lower case; empty when it says nothing.
std::string moteur_opengl() {
    using get_string_t = const unsigned char *(*)(unsigned);
    constexpr unsigned GL_RENDERER_ = 0x1F01;
    const auto get_string = reinterpret_cast<get_string_t>(SDL_GL_GetProcAddress("glGetString"));
    const unsigned char *texte = get_string != nullptr ? get_string(GL_RENDERER_) : nullptr;
    std::string moteur = texte != nullptr ? reinterpret_cast<const char *>(texte) : "";
    std::transform(moteur.begin(), moteur.end(), moteur.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return moteur;
}

// The renderer draws with the processor: SDL's software renderer, or
// OpenGL on one of Mesa's software rasterisers.
bool rendu_par_le_processeur(SDL_Renderer *render) {
    SDL_RendererInfo info{};
    if (SDL_GetRendererInfo(render, &info) != 0 || info.name == nullptr) {
        return false;
    }
    const std::string nom = info.name;
    if (nom == "software") {
        return true;
    }
    if (nom.rfind("opengl", 0) != 0) {
        return false;
    }
    const std::string moteur = moteur_opengl();
    static constexpr std::array<const char *, 4> LOGICIELS = {"llvmpipe", "softpipe",
                                                              "software rasterizer", "swrast"};
    return std::any_of(LOGICIELS.begin(), LOGICIELS.end(),
                       [&](const char *m) { return moteur.find(m) != std::string::npos; });
}

// The way for this run. SDL_FRAMEBUFFER_ACCELERATION, SDL's own say on
// whether a window's framebuffer goes through the GPU, forces it: "0",
// "false" or "software" the software way, any other value the GPU one.
// Otherwise the software way is taken where the renderer draws with the
// processor. Either way it needs a window whose memory the program can
// write: X11's framebuffer, shared with the server, or on Wayland buffers
// of the program's own (SDL's framebuffer there goes through a renderer,
// which gains nothing).
bool par_logiciel(SDL_Renderer *render) {
    const char *pilote = SDL_GetCurrentVideoDriver();
    if (pilote == nullptr || (SDL_strcmp(pilote, "x11") != 0 && SDL_strcmp(pilote, "dummy") != 0 &&
                              SDL_strcmp(pilote, "wayland") != 0)) {
        return false;
    }
    const char *force = SDL_GetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION);
    if (force != nullptr && *force != '\0') {
        return SDL_strcmp(force, "0") == 0 || SDL_strcasecmp(force, "false") == 0 ||
               SDL_strcasecmp(force, "software") == 0;
    }
    return rendu_par_le_processeur(render);
}

// Lets the canvas go; on the software way its renderer goes first, since it
// draws into it.
void libere(scene_t &scene) {
    toile_t &t = scene.toile;
    if (t.texture != nullptr) {
        SDL_DestroyTexture(t.texture);
        t.texture = nullptr;
    }
    if (t.memoire != nullptr) {
        SDL_DestroyRenderer(scene.render);
        scene.render = nullptr;
        SDL_FreeSurface(t.memoire);
        t.memoire = nullptr;
    }
}

// Where the canvas's trails go at the scene's scale: all of it, unless the
// screen's scale changed since they were drawn.
SDL_Rect a_l_echelle(const scene_t &scene) {
    const toile_t &t = scene.toile;
    const float r = scene.echelle / t.echelle;
    return {0, 0, static_cast<int>(std::lround(t.w * r)), static_cast<int>(std::lround(t.h * r))};
}

// A black canvas of w x h, of the way in use, with what the old one holds,
// if there is one, brought to the scene's scale; on the software way the
// renderer that draws on it comes with it. False if none can be had: the
// old one stays.
bool canvas_neuf(scene_t &scene, int w, int h) {
    toile_t &t = scene.toile;
    const SDL_Rect ancien{0, 0, t.w, t.h};
    const SDL_Rect vers = a_l_echelle(scene);
    if (t.logiciel) {
        // The format of what it is copied into, so that copies are plain.
        Uint32 format =
            t.tampons.display != nullptr ? FORMAT_TAMPONS : SDL_GetWindowPixelFormat(scene.window);
        if (SDL_BITSPERPIXEL(format) != 32) {
            format = SDL_PIXELFORMAT_ARGB8888;
        }
        SDL_Surface *memoire = SDL_CreateRGBSurfaceWithFormat(0, w, h, 32, format);
        SDL_Renderer *dessin = memoire != nullptr ? SDL_CreateSoftwareRenderer(memoire) : nullptr;
        if (dessin == nullptr) {
            SDL_FreeSurface(memoire);
            return false;
        }
        SDL_SetSurfaceBlendMode(memoire, SDL_BLENDMODE_NONE);
        // SDL hands a new surface over zeroed: already black, unless black
        // has an alpha of its own in this format.
        const Uint32 noir = SDL_MapRGB(memoire->format, 0, 0, 0);
        if (noir != 0) {
            SDL_FillRect(memoire, nullptr, noir);
        }
        if (t.memoire != nullptr) {
            SDL_RenderFlush(scene.render);
            SDL_Rect ou = vers;  // SDL_BlitScaled writes its clipped copy here
            SDL_BlitScaled(t.memoire, nullptr, memoire, &ou);
        }
        libere(scene);
        scene.render = dessin;
        t.memoire = memoire;
    } else {
        SDL_Texture *texture = SDL_CreateTexture(scene.render, SDL_PIXELFORMAT_ARGB8888,
                                                 SDL_TEXTUREACCESS_TARGET, w, h);
        if (texture == nullptr) {
            return false;
        }
        SDL_SetTextureBlendMode(texture, SDL_BLENDMODE_NONE);
        // Trails rescaled stay pure red; SDL 3 would blend by default.
        SDL_SetTextureScaleMode(texture, SDL_ScaleModeNearest);
        noircit(scene.render, texture);
        if (t.texture != nullptr) {
            SDL_RenderCopy(scene.render, t.texture, &ancien, &vers);
        }
        libere(scene);
        t.texture = texture;
        // Outside a frame's drawing the renderer draws into the window:
        // SDL 3's software renderer loses a texture target when the window
        // is resized under it, and a window manager may resize it at any
        // time.
        SDL_SetRenderTarget(scene.render, nullptr);
    }
    t.w = w;
    t.h = h;
    t.echelle = scene.echelle;
    t.tout_montrer = true;
    return true;
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
// of a window that lost what it showed.
int SDLCALL suit_fenetre(void *donnees, SDL_Event *event) {
    auto *scene = static_cast<scene_t *>(donnees);
    if (event->type != SDL_WINDOWEVENT ||
        event->window.windowID != SDL_GetWindowID(scene->window)) {
        return 1;
    }
    switch (event->window.event) {
        case SDL_WINDOWEVENT_SIZE_CHANGED:
            lit_taille(*scene);
            scene->toile.tout_montrer = true;
            break;
        case SDL_WINDOWEVENT_EXPOSED:
            scene->toile.tout_montrer = true;
            break;
        default:
            break;
    }
    return 1;
}

// Software way: copies rectangles of the canvas to the window and shows
// them. The whole window when it lost what it showed; otherwise only where
// this frame drew, around each cell (a cell lies within one side of its
// vertex).
void pousse(scene_t &scene) {
    toile_t &t = scene.toile;
    SDL_RenderFlush(scene.render);
    const bool wayland = t.tampons.display != nullptr;
    SDL_Surface *fenetre = wayland ? nullptr : SDL_GetWindowSurface(scene.window);
    if (!wayland && fenetre == nullptr) {
        return;
    }
    const int fw = wayland ? scene.scr_width : fenetre->w;
    const int fh = wayland ? scene.scr_height : fenetre->h;
    const SDL_Rect visible{0, 0, SDL_min(fw, t.w), SDL_min(fh, t.h)};
    std::array<SDL_Rect, NB_CELLULES> zones{};
    int n = 0;
    if (t.tout_montrer) {
        zones[n++] = visible;
    } else {
        for (int i = 0; i < NB_CELLULES; ++i) {
            const trace_t c = trace_cellule(scene, i);
            const int cote = 2 * c.cote + 2 + c.epaisseur;
            const SDL_Rect autour{c.x - c.cote - 1, c.y - c.cote - 1, cote, cote};
            if (SDL_IntersectRect(&autour, &visible, &zones[n])) {
                ++n;
            }
        }
    }
    if (wayland) {
        // Buffers start black where the canvas does not reach.
        tampons_montre(t.tampons, t.memoire, fw, fh, zones.data(), n, t.tout_montrer);
        t.tout_montrer = false;
        return;
    }
    if (t.tout_montrer) {
        // Black where the window outgrew the canvas (if it could not grow);
        // the canvas covers the rest.
        const Uint32 noir = SDL_MapRGB(fenetre->format, 0, 0, 0);
        const SDL_Rect droite{visible.w, 0, fenetre->w - visible.w, fenetre->h};
        const SDL_Rect bas{0, visible.h, visible.w, fenetre->h - visible.h};
        for (const SDL_Rect &r : {droite, bas}) {
            if (r.w > 0 && r.h > 0) {
                SDL_FillRect(fenetre, &r, noir);
            }
        }
    }
    for (int i = 0; i < n; ++i) {
        SDL_Rect vers = zones[i];  // SDL_BlitSurface writes its clipped copy here
        SDL_BlitSurface(t.memoire, &zones[i], fenetre, &vers);
    }
    if (t.tout_montrer) {
        SDL_UpdateWindowSurface(scene.window);
    } else if (n > 0) {
        SDL_UpdateWindowSurfaceRects(scene.window, zones.data(), n);
    }
    t.tout_montrer = false;
}

// Xlib ends the process when its connection breaks, with a message of its
// own; this one says it as vorna's other failures do, and ends it the same
// way. Xlib can do nothing more on that connection, so neither can SDL.
// Xlib leaves errno at 0 or EAGAIN when the server has closed its end.
struct _XDisplay;
int x11_perdu(_XDisplay *) {
    const int e = errno;
    SDL_Log("Error : X11 connection lost - %s\n",
            e != 0 && e != EAGAIN ? std::strerror(e) : "closed by the X server");
    std::exit(EXIT_FAILURE);
}

// Xlib is SDL's, loaded by it at run time: its handler is set there, not
// in a library linked in besides.
void suit_x11() {
    void *xlib = dlopen("libX11.so.6", RTLD_LAZY | RTLD_NOLOAD);
    if (xlib == nullptr) {
        return;
    }
    using gestionnaire_t = int (*)(_XDisplay *);
    using pose_t = gestionnaire_t (*)(gestionnaire_t);
    if (const auto pose = reinterpret_cast<pose_t>(dlsym(xlib, "XSetIOErrorHandler"))) {
        pose(x11_perdu);
        // The X connection is written without MSG_NOSIGNAL: once the server
        // is gone, a write (the GL driver's, often) would raise SIGPIPE and
        // kill the process before the handler is reached.
        std::signal(SIGPIPE, SIG_IGN);
    }
    dlclose(xlib);
}

}  // namespace

void toile_cree(scene_t &scene) {
    lit_taille(scene);
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    const bool connu = SDL_GetWindowWMInfo(scene.window, &info) == SDL_TRUE;
    if (connu && info.subsystem == SDL_SYSWM_X11) {
        suit_x11();
    }
    if (connu && info.subsystem == SDL_SYSWM_WAYLAND) {
        scene.toile.wayland = info.info.wl.display;
    }
    // On Wayland the buffers are set up first: if they cannot be, the GPU
    // way stays, with the renderer it already has.
    if (par_logiciel(scene.render) && (scene.toile.wayland == nullptr ||
                                       tampons_ouvre(scene.toile.tampons, scene.window,
                                                     scene.toile.wayland, info.info.wl.surface))) {
        // The window's own framebuffer, not one that SDL builds on a
        // renderer; and no renderer on the window, which SDL 3 requires.
        SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
        SDL_DestroyRenderer(scene.render);
        scene.render = nullptr;
        scene.toile.logiciel = true;
    }
    toile_renouvelle(scene);
    SDL_AddEventWatch(suit_fenetre, &scene);
}

bool toile_tient(const scene_t &scene) {
    const int e = scene.toile.wayland != nullptr ? wayland_perdu(scene.toile.wayland) : 0;
    if (e != 0) {
        SDL_Log("Error : Wayland connection lost - %s\n", std::strerror(e));
    }
    return e == 0;
}

void toile_renouvelle(scene_t &scene) {
    // What the old one held is gone, or not wanted.
    libere(scene);
    canvas_neuf(scene, scene.scr_width, scene.scr_height);
}

void toile_efface(scene_t &scene) {
    toile_t &t = scene.toile;
    if (t.logiciel) {
        SDL_RenderFlush(scene.render);
        SDL_FillRect(t.memoire, nullptr, SDL_MapRGB(t.memoire->format, 0, 0, 0));
        t.tout_montrer = true;
    } else {
        noircit(scene.render, t.texture);
    }
}

void toile_prepare(scene_t &scene) {
    toile_t &t = scene.toile;
    const SDL_Rect traces = a_l_echelle(scene);
    if ((t.texture != nullptr || t.logiciel) &&
        (scene.echelle != t.echelle || scene.scr_width > traces.w || scene.scr_height > traces.h)) {
        // If it can't grow, keep drawing on the old one; the window's extra
        // area stays black.
        canvas_neuf(scene, SDL_max(scene.scr_width, traces.w), SDL_max(scene.scr_height, traces.h));
    }
    if (!t.logiciel) {
        SDL_SetRenderTarget(scene.render, t.texture);
    }
}

void toile_montre(scene_t &scene) {
    toile_t &t = scene.toile;
    if (t.logiciel) {
        pousse(scene);
        return;
    }
    if (t.texture != nullptr) {
        const SDL_Rect zone{0, 0, SDL_min(scene.scr_width, t.w), SDL_min(scene.scr_height, t.h)};
        noircit(scene.render, nullptr);
        SDL_RenderCopy(scene.render, t.texture, &zone, &zone);
    }
    SDL_RenderPresent(scene.render);
}

void toile_detruit(scene_t &scene) {
    SDL_DelEventWatch(suit_fenetre, &scene);
    libere(scene);
    tampons_ferme(scene.toile.tampons);
}
