// Preloaded into the program to make one SDL call fail on demand, as a
// broken driver would: VORNA_ECHEC names the call (fenetre, rendu, mode).
// VORNA_FUITE also plants a leak of ours: memory lost at each window
// creation, which a sanitizer build must report.
// VORNA_JOURNAL names a file where the program's frames leave their marks,
// so that tests count frames instead of guessing how long they take: 'p'
// at each pause (once a frame, and once more at the end), 'f' when the event
// queue hands over a request to end (SDL's quit, or Escape or Q as a US
// keyboard sends them).
#include <SDL.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace {

bool echoue(const char *quoi) {
    const char *v = std::getenv("VORNA_ECHEC");
    return v != nullptr && std::strcmp(v, quoi) == 0;
}

// Kept only so that the allocation cannot be optimised away.
void *volatile derniere_fuite = nullptr;

template <typename F>
F vraie(const char *nom) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, nom));
}

void note(char marque) {
    static const int journal = [] {
        const char *chemin = std::getenv("VORNA_JOURNAL");
        return chemin != nullptr ? open(chemin, O_WRONLY | O_TRUNC | O_CREAT | O_CLOEXEC, 0600)
                                 : -1;
    }();
    if (journal >= 0) {
        static_cast<void>(write(journal, &marque, 1));
    }
}

}  // namespace

extern "C" {

SDL_Window *SDL_CreateWindow(const char *titre, int x, int y, int w, int h, Uint32 flags) {
    if (std::getenv("VORNA_FUITE") != nullptr) {
        derniere_fuite = std::malloc(64);
        derniere_fuite = nullptr;
    }
    if (echoue("fenetre")) {
        SDL_SetError("fenetre refusee pour le test");
        return nullptr;
    }
    using F = SDL_Window *(*)(const char *, int, int, int, int, Uint32);
    return vraie<F>("SDL_CreateWindow")(titre, x, y, w, h, flags);
}

SDL_Renderer *SDL_CreateRenderer(SDL_Window *fenetre, int index, Uint32 flags) {
    if (echoue("rendu")) {
        SDL_SetError("rendu refuse pour le test");
        return nullptr;
    }
    using F = SDL_Renderer *(*)(SDL_Window *, int, Uint32);
    return vraie<F>("SDL_CreateRenderer")(fenetre, index, flags);
}

// The renderer of a canvas in memory, which is the scene's own on a Wayland
// window without a GPU.
SDL_Renderer *SDL_CreateSoftwareRenderer(SDL_Surface *surface) {
    if (echoue("rendu")) {
        SDL_SetError("rendu refuse pour le test");
        return nullptr;
    }
    using F = SDL_Renderer *(*)(SDL_Surface *);
    return vraie<F>("SDL_CreateSoftwareRenderer")(surface);
}

// Fails as SDL does: an error, and the mode left as it was.
int SDL_GetCurrentDisplayMode(int ecran, SDL_DisplayMode *mode) {
    if (echoue("mode")) {
        return SDL_SetError("mode illisible pour le test");
    }
    using F = int (*)(int, SDL_DisplayMode *);
    return vraie<F>("SDL_GetCurrentDisplayMode")(ecran, mode);
}

void SDL_Delay(Uint32 ms) {
    note('p');
    using F = void (*)(Uint32);
    vraie<F>("SDL_Delay")(ms);
}

int SDL_PollEvent(SDL_Event *event) {
    using F = int (*)(SDL_Event *);
    const int recu = vraie<F>("SDL_PollEvent")(event);
    if (recu == 1 && event != nullptr) {
        const SDL_Keycode k = event->type == SDL_KEYDOWN ? event->key.keysym.sym : 0;
        if (event->type == SDL_QUIT || k == SDLK_ESCAPE || k == SDLK_q) {
            note('f');
        }
    }
    return recu;
}
}
