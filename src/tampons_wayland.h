// The canvas's way to a Wayland window without a GPU: shared-memory buffers
// of the program's own, with damage on the rectangles that changed. SDL
// gives Wayland windows no framebuffer in memory; going through its renderer
// would copy the whole window every frame, twice, in software.
//
// The buffers go to a surface of our own over the window's, not to the
// window's surface itself: SDL damages the whole of its surface each time
// the compositor draws it, which would make every frame repaint the whole
// window in the compositor. The window's surface, under ours, holds a
// transparent buffer and is committed only when the window changes. Ours
// is above it, not beneath, since a compositor may draw nothing of what
// lies under a window's own surface (KWin without a GPU shows it black).
#pragma once

#include <SDL.h>

#include <array>
#include <cstddef>

struct wl_buffer;
struct wl_compositor;
struct wl_display;
struct wl_event_queue;
struct wl_registry;
struct wl_shm;
struct wl_subcompositor;
struct wl_subsurface;
struct wl_surface;
struct wp_viewport;
struct wp_viewporter;

// Rectangles still to bring somewhere; when there are more than it holds,
// the whole of it.
struct zones_t {
    static constexpr int MAX = 64;
    std::array<SDL_Rect, MAX> r{};
    int n = 0;
    bool tout = false;
};

// One buffer: its memory, shared with the compositor, and where it is
// mapped here SDL's view of that memory to copy into.
struct tampon_t {
    wl_buffer *buffer = nullptr;
    void *pixels = nullptr;
    size_t taille = 0;
    SDL_Surface *surface = nullptr;
    bool occupe = false;  // the compositor holds it until it releases it
    zones_t manque;       // what it missed while others were shown
};

// Up to three buffers, made as needed: one shown, one being filled, and one
// more for a compositor slow to release.
struct tampons_t {
    wl_display *display = nullptr;    // null: not in use
    SDL_Window *fenetre = nullptr;    // for its size in the desktop's units
    wl_surface *surface = nullptr;    // the window's, SDL's own
    wl_event_queue *file = nullptr;   // ours, so that SDL's dispatching is not disturbed
    wl_display *enveloppe = nullptr;  // the display as a proxy on our queue
    wl_registry *registre = nullptr;
    wl_shm *shm = nullptr;
    wl_compositor *compositeur = nullptr;
    wl_subcompositor *sous_compositeur = nullptr;
    wp_viewporter *vues = nullptr;  // where offered: any scale, fractional ones too
    wl_surface *dessus = nullptr;   // ours, over the window's, where buffers go
    wl_subsurface *sous_surface = nullptr;
    wp_viewport *vue = nullptr;  // our surface's size in units, whatever its buffers'
    bool argb = false;           // the compositor takes ARGB8888 buffers
    int w = 0;                   // the buffers' size, the window's in pixels
    int h = 0;
    int lw = 0;  // and in units
    int lh = 0;
    std::array<tampon_t, 3> tampons{};
    tampon_t fond;                   // the window's own surface's: transparent, never drawn into
    bool fond_pose = false;          // attached to the window's surface
    bool fenetre_a_valider = false;  // the window's surface to commit
    zones_t dommage;                 // what changed since the last buffer was attached
};

// The canvas's pixel format on this way: the buffers', with an alpha (kept
// opaque) so that the compositor does not take them for opaque whole.
constexpr Uint32 FORMAT_TAMPONS = SDL_PIXELFORMAT_ARGB8888;

// Lays a surface over the window's Wayland surface, on its connection.
// False, with nothing held, where the program was built without Wayland or
// the compositor offers no shared memory that fits or no sub-surfaces.
bool tampons_ouvre(tampons_t &t, SDL_Window *fenetre, wl_display *display, wl_surface *surface);
// Shows the canvas in a window of w x h pixels, where it changed in the
// zones given (all of it when tout), and what buffers missed before. A
// present is skipped while every buffer is held; nothing is lost by that.
// With tout, the window's own surface is committed as well, for what SDL
// changed on it (its size, its scale, a configure it acknowledged).
void tampons_montre(tampons_t &t, SDL_Surface *toile, int w, int h, const SDL_Rect *zones, int n,
                    bool tout);
// Releases everything; before the window goes.
void tampons_ferme(tampons_t &t);
// What broke the connection to the compositor, as an errno; 0 while it
// holds (and always, when built without Wayland).
int wayland_perdu(wl_display *display);
