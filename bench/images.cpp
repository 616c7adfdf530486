// A fixed number of frames of the scene on SDL's software renderer, with the
// pointer on a fixed path, for counting instructions under callgrind.
// Usage: vorna_images [FRAMES]
#include <cstdlib>

#include "pave.h"

int main(int argc, char *argv[]) {
    const int images = argc > 1 ? std::atoi(argv[1]) : 100;
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SDL_RENDER_DRIVER", "software", 1);
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        return 1;
    }
    scene_t scene;
    scene_demarre(scene);
    for (int i = 0; i < NB_CELLULES; ++i) {
        scene.x_triangle[i] = 100 * i;
        scene.y_triangle[i] = 60 * i;
    }
    for (int i = 0; i < images; ++i) {
        SDL_WarpMouseInWindow(scene.window, 200 + (i * 7) % 600, 150 + (i * 5) % 400);
        scene_image(scene);
    }
    scene_termine(scene);
    SDL_Quit();
    return 0;
}
