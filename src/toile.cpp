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
void libere(toile_t &t, SDL_Renderer *&render) {
    if (t.texture != nullptr) {
        SDL_DestroyTexture(t.texture);
        t.texture = nullptr;
    }
    if (t.memoire != nullptr) {
        SDL_DestroyRenderer(render);
        render = nullptr;
        SDL_FreeSurface(t.memoire);
        t.memoire = nullptr;
    }
}

// Where the canvas's trails go at the given scale: all of it, unless the
// screen's scale changed since they were drawn.
SDL_Rect a_l_echelle(const toile_t &t, float echelle) {
    const float r = echelle / t.echelle;
    return {0, 0, static_cast<int>(std::lround(t.w * r)), static_cast<int>(std::lround(t.h * r))};
}

// A black canvas of w x h, of the way in use, with what the old one holds,
// if there is one, brought to the given scale; on the software way the
// renderer that draws on it comes with it. False if none can be had: the
// old one stays.
bool canvas_neuf(toile_t &t, SDL_Renderer *&render, int w, int h, float echelle) {
    const SDL_Rect ancien{0, 0, t.w, t.h};
    const SDL_Rect vers = a_l_echelle(t, echelle);
    if (t.logiciel) {
        // The format of what it is copied into, so that copies are plain.
        Uint32 format =
            t.tampons.display != nullptr ? FORMAT_TAMPONS : SDL_GetWindowPixelFormat(t.fenetre);
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
            SDL_RenderFlush(render);
            SDL_Rect ou = vers;  // SDL_BlitScaled writes its clipped copy here
            SDL_BlitScaled(t.memoire, nullptr, memoire, &ou);
        }
        libere(t, render);
        render = dessin;
        t.memoire = memoire;
    } else {
        SDL_Texture *texture =
            SDL_CreateTexture(render, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_TARGET, w, h);
        if (texture == nullptr) {
            return false;
        }
        SDL_SetTextureBlendMode(texture, SDL_BLENDMODE_NONE);
        // Trails rescaled stay pure red; SDL 3 would blend by default.
        SDL_SetTextureScaleMode(texture, SDL_ScaleModeNearest);
        noircit(render, texture);
        if (t.texture != nullptr) {
            SDL_RenderCopy(render, t.texture, &ancien, &vers);
        }
        libere(t, render);
        t.texture = texture;
        // Outside a frame's drawing the renderer draws into the window:
        // SDL 3's software renderer loses a texture target when the window
        // is resized under it, and a window manager may resize it at any
        // time.
        SDL_SetRenderTarget(render, nullptr);
    }
    t.w = w;
    t.h = h;
    t.echelle = echelle;
    t.tout_montrer = true;
    return true;
}

// Software way: copies rectangles of the canvas to the window and shows
// them. The whole window when it lost what it showed; otherwise only the
// zones given, where the frame drew.
void pousse(toile_t &t, SDL_Renderer *render, int w, int h, const SDL_Rect *zones, int n) {
    SDL_RenderFlush(render);
    const bool wayland = t.tampons.display != nullptr;
    SDL_Surface *fenetre = wayland ? nullptr : SDL_GetWindowSurface(t.fenetre);
    if (!wayland && fenetre == nullptr) {
        return;
    }
    const int fw = wayland ? w : fenetre->w;
    const int fh = wayland ? h : fenetre->h;
    const SDL_Rect visible{0, 0, SDL_min(fw, t.w), SDL_min(fh, t.h)};
    // All of it when the window lost what it showed, or when there are more
    // zones than are kept here.
    const bool tout = t.tout_montrer || n > zones_t::MAX;
    zones_t montrees;
    if (tout) {
        montrees.r[0] = visible;
        montrees.n = 1;
    }
    for (int i = 0; i < n && !tout; ++i) {
        if (SDL_IntersectRect(&zones[i], &visible, &montrees.r[montrees.n])) {
            ++montrees.n;
        }
    }
    if (wayland) {
        // Buffers start black where the canvas does not reach.
        tampons_montre(t.tampons, t.memoire, fw, fh, montrees.r.data(), montrees.n, tout);
        t.tout_montrer = false;
        return;
    }
    if (tout) {
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
    for (int i = 0; i < montrees.n; ++i) {
        SDL_Rect vers = montrees.r[i];  // SDL_BlitSurface writes its clipped copy here
        SDL_BlitSurface(t.memoire, &montrees.r[i], fenetre, &vers);
    }
    if (tout) {
        SDL_UpdateWindowSurface(t.fenetre);
    } else if (montrees.n > 0) {
        SDL_UpdateWindowSurfaceRects(t.fenetre, montrees.r.data(), montrees.n);
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

// Ties the canvas to the window and its display: a lost X11 connection is
// then reported as vorna's other failures are. The window's Wayland
// surface, on Wayland; null elsewhere.
wl_surface *relie(toile_t &t, SDL_Window *fenetre) {
    t.fenetre = fenetre;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWindowWMInfo(fenetre, &info) != SDL_TRUE) {
        return nullptr;
    }
    if (info.subsystem == SDL_SYSWM_X11) {
        suit_x11();
    }
    if (info.subsystem == SDL_SYSWM_WAYLAND) {
        t.wayland = info.info.wl.display;
        return info.info.wl.surface;
    }
    return nullptr;
}

}  // namespace

SDL_Renderer *toile_rendu(toile_t &t, SDL_Window *fenetre, Uint32 drapeaux) {
    const char *rendu = SDL_GetHint(SDL_HINT_RENDER_DRIVER);
    const char *pilote = SDL_GetCurrentVideoDriver();
    if (rendu == nullptr || SDL_strcasecmp(rendu, "software") != 0 || pilote == nullptr ||
        SDL_strcmp(pilote, "wayland") != 0 || !par_logiciel(nullptr)) {
        return SDL_CreateRenderer(fenetre, -1, drapeaux);
    }
    wl_surface *surface = relie(t, fenetre);
    if (surface == nullptr || !tampons_ouvre(t.tampons, fenetre, t.wayland, surface)) {
        return SDL_CreateRenderer(fenetre, -1, drapeaux);
    }
    t.logiciel = true;
    int w = 0;
    int h = 0;
    int unites = 0;
    SDL_GetWindowSizeInPixels(fenetre, &w, &h);
    SDL_GetWindowSize(fenetre, &unites, nullptr);
    SDL_Renderer *render = nullptr;
    if (unites <= 0 || !canvas_neuf(t, render, w, h, static_cast<float>(w) / unites)) {
        tampons_ferme(t.tampons);
        t.logiciel = false;
    }
    return render;
}

SDL_Renderer *toile_cree(toile_t &t, SDL_Window *fenetre, SDL_Renderer *render, int w, int h,
                         float echelle) {
    if (t.logiciel) {
        return render;  // made with the renderer; toile_prepare follows the window
    }
    wl_surface *surface = relie(t, fenetre);
    // On Wayland the buffers are set up first: if they cannot be, the GPU
    // way stays, with the renderer it already has.
    if (par_logiciel(render) &&
        (t.wayland == nullptr || tampons_ouvre(t.tampons, fenetre, t.wayland, surface))) {
        // The window's own framebuffer, not one that SDL builds on a
        // renderer; and no renderer on the window, which SDL 3 requires.
        SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
        SDL_DestroyRenderer(render);
        render = nullptr;
        t.logiciel = true;
    }
    return toile_renouvelle(t, render, w, h, echelle);
}

bool toile_tient(const toile_t &t) {
    const int e = t.wayland != nullptr ? wayland_perdu(t.wayland) : 0;
    if (e != 0) {
        SDL_Log("Error : Wayland connection lost - %s\n", std::strerror(e));
    }
    return e == 0;
}

SDL_Renderer *toile_renouvelle(toile_t &t, SDL_Renderer *render, int w, int h, float echelle) {
    // What the old one held is gone, or not wanted.
    libere(t, render);
    canvas_neuf(t, render, w, h, echelle);
    return render;
}

void toile_perdue(toile_t &t) {
    t.tout_montrer = true;
}

void toile_efface(toile_t &t, SDL_Renderer *render) {
    if (t.logiciel) {
        SDL_RenderFlush(render);
        SDL_FillRect(t.memoire, nullptr, SDL_MapRGB(t.memoire->format, 0, 0, 0));
        t.tout_montrer = true;
    } else {
        noircit(render, t.texture);
    }
}

SDL_Renderer *toile_prepare(toile_t &t, SDL_Renderer *render, int w, int h, float echelle) {
    const SDL_Rect traces = a_l_echelle(t, echelle);
    if ((t.texture != nullptr || t.logiciel) &&
        (echelle != t.echelle || w > traces.w || h > traces.h)) {
        // If it can't grow, keep drawing on the old one; the window's extra
        // area stays black.
        canvas_neuf(t, render, SDL_max(w, traces.w), SDL_max(h, traces.h), echelle);
    }
    if (!t.logiciel) {
        SDL_SetRenderTarget(render, t.texture);
    }
    return render;
}

void toile_montre(toile_t &t, SDL_Renderer *render, int w, int h, const SDL_Rect *zones, int n) {
    if (t.logiciel) {
        pousse(t, render, w, h, zones, n);
        return;
    }
    if (t.texture != nullptr) {
        const SDL_Rect zone{0, 0, SDL_min(w, t.w), SDL_min(h, t.h)};
        noircit(render, nullptr);
        SDL_RenderCopy(render, t.texture, &zone, &zone);
    }
    SDL_RenderPresent(render);
}

SDL_Renderer *toile_detruit(toile_t &t, SDL_Renderer *render) {
    libere(t, render);
    tampons_ferme(t.tampons);
    return render;
}
