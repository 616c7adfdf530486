// The cell scene: ten red triangle outlines that crawl toward the pointer.
#pragma once

#include <SDL.h>

#include <array>
#include <cstdint>

#include "toile.h"

// A pursuit step or an offset, in the window's units: pixels, except on a
// scaled screen, where the pointer too is reported in units.
struct vecteur_t {
    std::int32_t x;
    std::int32_t y;
};

constexpr int NB_CELLULES = 10;
constexpr int COTE = 50;  // side of a cell, in the window's units

// Everything the scene owns for the length of a run. The window comes from
// set-up; the renderer is the one the cells are drawn with, and the canvas
// keeps their trails between presents.
struct scene_t {
    SDL_Window *window = nullptr;
    SDL_Renderer *render = nullptr;
    toile_t toile;
    int scr_width = 0;  // the window's drawing area, in pixels
    int scr_height = 0;
    // Canvas pixels to a window unit: 1, or the screen's scale (2 at 200 %).
    // The cells move in units and are drawn in pixels, so that a scaled
    // screen shows them at their size, crisp.
    float echelle = 1.0F;
    std::array<std::int32_t, NB_CELLULES> x_triangle{};
    std::array<std::int32_t, NB_CELLULES> y_triangle{};
    std::array<float, NB_CELLULES> theta_triangle{};
    // Where the last frame drew each cell on the canvas, in its pixels: all
    // that the frame changed, for the canvas to bring to the window.
    std::array<SDL_Rect, NB_CELLULES> zones{};
    SDL_bool program_on = SDL_TRUE;
    SDL_bool paused = SDL_FALSE;
    // Set by the space key while paused: the next move happens once.
    SDL_bool un_pas = SDL_FALSE;
};

// Step that brings a cell at (x, y) at most ten pixels closer to the pointer.
vecteur_t calcul_nv_coordonnees(int x, int y, int x_crs, int y_crs);

// Red outline of the equilateral triangle of side w with a vertex at (x, y),
// its first side leaving that vertex at angle theta. Always returns 0.
int trace_triangle(SDL_Renderer *renderer, int x, int y, int w, float theta);

// Tells SDL, before it starts, that this is a window among others on a
// desktop, not a full-screen game: the screen saver and locking go on, the
// desktop keeps compositing, the window bears the launcher's id, in a
// Wayland session it is a Wayland window where it will have a frame there,
// an X11 one elsewhere, and a display without a GPU gets no OpenGL. Each
// setting is a default that the user's own environment overrides.
void reglages_bureau();

// Opens the window and renderer and scatters the swarm. Ends the process with
// status 1 when the window or the renderer cannot be had.
void scene_demarre(scene_t &scene);

// Acts on one event; returns SDL_TRUE when it ends the frame's event drain.
SDL_bool scene_evenement(scene_t &scene, const SDL_Event &event);

// One frame: drain events, move and draw the cells, present, wait.
void scene_image(scene_t &scene);

// Final present and wait, then releases the renderer and the window.
void scene_termine(scene_t &scene);

// The whole interactive run; returns 0 once the user has asked to stop.
int petites_cellules();
