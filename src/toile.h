// The canvas that keeps the cells' trails, and how it reaches the window.
#pragma once

#include <SDL.h>

#include "tampons_wayland.h"

// The trails must outlive every present, and SDL keeps nothing of the
// window between presents. There are two ways to keep them:
// - where a GPU draws, the canvas is a texture that every present copies
//   whole to the window: nearly free there;
// - where OpenGL is a software rasteriser (virtual machines, remote
//   desktops), that copy costs the window's whole area every frame. The
//   canvas is then a surface in the program's memory, drawn on by SDL's
//   software renderer, and a present pushes only the rectangles the frame
//   changed to the window: to its shared-memory framebuffer on X11, to
//   buffers of the program's own on Wayland.
struct toile_t {
    SDL_Window *fenetre = nullptr;   // the window it reaches
    bool logiciel = false;           // the second way
    SDL_Texture *texture = nullptr;  // first way; null when the renderer has no
                                     // render targets: cells then go straight
                                     // to the window
    SDL_Surface *memoire = nullptr;  // second way
    tampons_t tampons;               // second way, on Wayland
    wl_display *wayland = nullptr;   // the window's connection, on Wayland
    int w = 0;                       // the canvas's size
    int h = 0;
    float echelle = 1.0F;  // the scene's scale its trails were drawn at
    // Second way: the window lost what it showed (resized, uncovered) or
    // the canvas was wiped, so the next present pushes all of it.
    bool tout_montrer = false;
};

// The canvas is told, where it needs them, the window's drawing area in
// pixels (w x h) and the scale its owner draws at (pixels to a unit), and is
// lent the renderer that draws on it. On the software way it makes that
// renderer itself: calls that may replace it hand back the one to draw
// with from then on.

// The renderer the scene starts with: SDL's, made on the window with the
// flags given. SDL has no framebuffer of its own for a Wayland window: told
// to draw in software there (SDL_RENDER_DRIVER=software, as it is on a
// display without a GPU), it would make its renderer through OpenGL after
// all. The canvas then takes the software way at once, and the renderer is
// the one that draws on it. Null when none can be had.
SDL_Renderer *toile_rendu(toile_t &t, SDL_Window *fenetre, Uint32 drapeaux);
// Chooses the way for this run, once the renderer exists (it may replace
// it), and makes a black canvas of the window's size, unless the renderer
// came with one. From then on a lost X11 connection ends the process with
// status 1 and its message.
SDL_Renderer *toile_cree(toile_t &t, SDL_Window *fenetre, SDL_Renderer *render, int w, int h,
                         float echelle);
// False, once it has said so in SDL's log, when the connection to the
// Wayland compositor is lost.
bool toile_tient(const toile_t &t);
// A fresh black canvas, after the driver lost what textures held.
SDL_Renderer *toile_renouvelle(toile_t &t, SDL_Renderer *render, int w, int h, float echelle);
// The window lost what it showed (resized, uncovered): the next present
// brings it the whole canvas.
void toile_perdue(toile_t &t);
// Wipes the canvas to black.
void toile_efface(toile_t &t, SDL_Renderer *render);
// Before a frame's drawing: grows the canvas if the window outgrew it,
// rescales its trails if the scale changed, and sends drawing into it.
SDL_Renderer *toile_prepare(toile_t &t, SDL_Renderer *render, int w, int h, float echelle);
// Shows the canvas: the frame's present. The zones are where the frame
// drew, in the canvas's pixels; the software way brings only those to the
// window, unless the window lost what it showed or the canvas was wiped.
void toile_montre(toile_t &t, SDL_Renderer *render, int w, int h, const SDL_Rect *zones, int n);
// Releases the canvas, and the renderer when it draws into the canvas;
// hands back the renderer left for its owner to release, if any.
SDL_Renderer *toile_detruit(toile_t &t, SDL_Renderer *render);
