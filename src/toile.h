// The canvas that keeps the cells' trails, and how it reaches the window.
#pragma once

#include <SDL.h>

#include "tampons_wayland.h"

struct scene_t;

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

// Chooses the way for this run, once the accelerated renderer exists (it
// may replace it), and makes a black canvas of the window's size. From then
// on a lost X11 connection ends the process with status 1 and its message.
void toile_cree(scene_t &scene);
// False, once it has said so in SDL's log, when the connection to the
// Wayland compositor is lost.
bool toile_tient(const scene_t &scene);
// A fresh black canvas, after the driver lost what textures held.
void toile_renouvelle(scene_t &scene);
// Wipes the canvas to black.
void toile_efface(scene_t &scene);
// Before a frame's drawing: grows the canvas if the window outgrew it,
// rescales its trails if the screen's scale changed, and sends drawing
// into it.
void toile_prepare(scene_t &scene);
// Shows the canvas: the frame's present.
void toile_montre(scene_t &scene);
// Releases the canvas, and the renderer when it draws into the canvas.
void toile_detruit(scene_t &scene);
