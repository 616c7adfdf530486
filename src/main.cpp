// Program entry: announces the SDL version, starts the video subsystem and
// runs the cell scene to its end.
#include <SDL.h>

#include <cstdio>
#include <cstdlib>

#include "pave.h"

int main(int argc, char *argv[]) {
    // The program has no options; whatever is passed is ignored.
    static_cast<void>(argc);
    static_cast<void>(argv);

    // The headers' version, the one the program was built against.
    SDL_version nb;
    SDL_VERSION(&nb);
    std::printf("Version de la SDL : %d.%d.%d\n", nb.major, nb.minor, nb.patch);
    // Flushed now so that it comes before SDL's own log lines even when
    // standard output is a pipe or a file.
    std::fflush(stdout);

    reglages_bureau();
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        SDL_Log("Error : SDL initialisation - %s\n", SDL_GetError());
        return EXIT_FAILURE;
    }

    petites_cellules();
    return EXIT_SUCCESS;
}
