// The floor for the benchmarks: the same window and renderer as vorna, a
// present every 50 ms, and nothing drawn. With --cellules it also draws the
// ten cells straight to the window each frame, with vorna's own drawing
// routine: what drawing costs the renderer before any canvas. With
// --surface it makes no renderer at all and shows the window's surface
// alone, black, once (run it with SDL_FRAMEBUFFER_ACCELERATION=0, or SDL
// makes that surface an OpenGL texture): the least an SDL window costs.
#include <SDL.h>

#include <cstdio>
#include <cstring>

#include "pave.h"

int main(int argc, char *argv[]) {
    const bool cellules = argc > 1 && std::strcmp(argv[1], "--cellules") == 0;
    const bool surface = argc > 1 && std::strcmp(argv[1], "--surface") == 0;
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        SDL_Log("Error : SDL initialisation - %s\n", SDL_GetError());
        return 1;
    }
    SDL_DisplayMode mode{};
    if (SDL_GetCurrentDisplayMode(0, &mode) != 0) {
        mode.w = 1800;
        mode.h = 1075;
    }
    SDL_Window *window =
        SDL_CreateWindow("VORNA REFERENCE", 0, 0, mode.w, mode.h - 75, SDL_WINDOW_RESIZABLE);
    if (window == nullptr) {
        SDL_Log("Error : SDL window creation - %s\n", SDL_GetError());
        return 1;
    }
    if (surface) {
        SDL_Surface *ecran = SDL_GetWindowSurface(window);
        if (ecran == nullptr) {
            SDL_Log("Error : SDL window surface - %s\n", SDL_GetError());
            return 1;
        }
        SDL_FillRect(ecran, nullptr, SDL_MapRGB(ecran->format, 0, 0, 0));
        SDL_UpdateWindowSurface(window);
    }
    SDL_Renderer *render =
        surface
            ? nullptr
            : SDL_CreateRenderer(window, -1, SDL_RENDERER_ACCELERATED | SDL_RENDERER_PRESENTVSYNC);
    if (render == nullptr && !surface) {
        std::printf("Render déficient \n");
        return 1;
    }
    SDL_RenderPresent(render);  // does nothing without a renderer
    bool encore = true;
    while (encore) {
        SDL_Event event;
        while (SDL_PollEvent(&event)) {
            if (event.type == SDL_QUIT ||
                (event.type == SDL_KEYDOWN &&
                 (event.key.keysym.sym == SDLK_ESCAPE || event.key.keysym.sym == SDLK_q))) {
                encore = false;
                break;
            }
        }
        for (int i = 0; cellules && i < NB_CELLULES; ++i) {
            trace_triangle(render, 100 + 60 * i, 100 + 40 * i, 50, 0.5F * static_cast<float>(i));
        }
        SDL_RenderPresent(render);
        SDL_Delay(50);
    }
    SDL_RenderPresent(render);
    SDL_Delay(50);
    SDL_DestroyRenderer(render);
    SDL_DestroyWindow(window);
    return 0;
}
