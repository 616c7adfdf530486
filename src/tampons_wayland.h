// The canvas's way to a Wayland window without a GPU: shared-memory buffers
// of the program's own, attached to the window's surface with damage on the
// rectangles that changed. SDL gives Wayland windows no framebuffer in
// memory; going through its renderer would copy the whole window every
// frame, twice, in software.
#pragma once

#include <SDL.h>

#include <array>
#include <cstddef>

struct wl_buffer;
struct wl_display;
struct wl_event_queue;
struct wl_registry;
struct wl_shm;
struct wl_surface;

// Rectangles still to bring somewhere; when there are more than it holds,
// the whole of it.
struct zones_t {
    static constexpr int MAX = 64;
    std::array<SDL_Rect, MAX> r{};
    int n = 0;
    bool tout = false;
};

// One buffer: its memory, mapped here and in the compositor, and SDL's view
// of that memory to copy into.
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
    wl_surface *surface = nullptr;    // the window's, SDL's own
    wl_event_queue *file = nullptr;   // ours, so that SDL's dispatching is not disturbed
    wl_display *enveloppe = nullptr;  // the display as a proxy on our queue
    wl_registry *registre = nullptr;
    wl_shm *shm = nullptr;
    bool xrgb = false;  // the compositor takes XRGB8888 buffers
    int w = 0;          // the buffers' size, the window's in pixels
    int h = 0;
    std::array<tampon_t, 3> tampons{};
    zones_t dommage;  // what changed since the last buffer was attached
};

// The canvas's pixel format on this way: the buffers'.
constexpr Uint32 FORMAT_TAMPONS = SDL_PIXELFORMAT_RGB888;

// Takes the window's Wayland surface, on its connection. False, with nothing
// held, where the program was built without Wayland or the compositor offers
// no shared memory that fits.
bool tampons_ouvre(tampons_t &t, wl_display *display, wl_surface *surface);
// Shows the canvas in a window of w x h pixels, where it changed in the
// zones given (all of it when tout), and what buffers missed before. A
// present is skipped while every buffer is held; nothing is lost by that.
void tampons_montre(tampons_t &t, SDL_Surface *toile, int w, int h, const SDL_Rect *zones, int n,
                    bool tout);
// Releases everything; before the window goes.
void tampons_ferme(tampons_t &t);
// What broke the connection to the compositor, as an errno; 0 while it
// holds (and always, when built without Wayland).
int wayland_perdu(wl_display *display);
