// A look at the Wayland compositor and at libdecor before SDL starts.
#include "affichage.h"

#ifdef VORNA_WAYLAND

#include <dirent.h>
#include <dlfcn.h>
#include <wayland-client.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool defini(const char *variable) {
    const char *v = std::getenv(variable);
    return v != nullptr && *v != '\0';
}

void global_annonce(void *donnees, wl_registry *, uint32_t, const char *interface, uint32_t) {
    // The protocol SDL asks the compositor for its frame with.
    if (std::strcmp(interface, "zxdg_decoration_manager_v1") == 0) {
        *static_cast<bool *>(donnees) = true;
    }
}
void global_retire(void *, wl_registry *, uint32_t) {}
constexpr wl_registry_listener A_L_ECOUTE = {global_annonce, global_retire};

// The compositor draws windows' frames itself. False too when it does not
// answer: SDL will not get to it either.
bool decorations_du_compositeur() {
    wl_display *d = wl_display_connect(nullptr);
    if (d == nullptr) {
        return false;
    }
    bool offertes = false;
    wl_registry *registre = wl_display_get_registry(d);
    wl_registry_add_listener(registre, &A_L_ECOUTE, &offertes);
    wl_display_roundtrip(d);
    wl_registry_destroy(registre);
    wl_display_disconnect(d);
    return offertes;
}

// libdecor, which SDL draws frames with where the compositor does not, is
// installed with at least one plugin: libdecor only recommends them. They
// lie where libdecor itself looks, LIBDECOR_PLUGIN_DIR or its library's
// folder's libdecor/plugins-1.
bool greffon_libdecor() {
    std::string dossier;
    if (defini("LIBDECOR_PLUGIN_DIR")) {
        dossier = std::getenv("LIBDECOR_PLUGIN_DIR");
    } else {
        void *libdecor = dlopen("libdecor-0.so.0", RTLD_LAZY | RTLD_LOCAL);
        if (libdecor == nullptr) {
            return false;
        }
        char origine[PATH_MAX] = "";
        if (dlinfo(libdecor, RTLD_DI_ORIGIN, origine) == 0) {
            dossier = std::string(origine) + "/libdecor/plugins-1";
        }
        dlclose(libdecor);
    }
    DIR *d = opendir(dossier.c_str());
    if (d == nullptr) {
        return false;
    }
    bool trouve = false;
    while (const dirent *f = readdir(d)) {
        const std::string nom = f->d_name;
        trouve = trouve || (nom.size() > 3 && nom.compare(nom.size() - 3, 3, ".so") == 0);
    }
    closedir(d);
    return trouve;
}

}  // namespace

const char *pilotes_voulus() {
    if (defini("SDL_VIDEODRIVER") || !defini("DISPLAY") || !defini("WAYLAND_DISPLAY")) {
        return nullptr;
    }
    // The second of each pair is there for a display that does not answer.
    return decorations_du_compositeur() || greffon_libdecor() ? "wayland,x11" : "x11,wayland";
}

#else  // built without libwayland-client: SDL chooses

const char *pilotes_voulus() {
    return nullptr;
}

#endif
