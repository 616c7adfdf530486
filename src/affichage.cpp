// A look at the display, its X server or Wayland compositor, and at
// libdecor before SDL starts.
#include "affichage.h"

#include <SDL.h>

#include <cstdlib>
#include <cstring>
#include <string>

#ifdef VORNA_XCB
#include <xcb/xcb.h>
#endif
#ifdef VORNA_WAYLAND
#include <dirent.h>
#include <dlfcn.h>
#include <wayland-client.h>

#include <climits>
#include <cstdint>
#endif

namespace {

bool defini(const char *variable) {
    const char *v = std::getenv(variable);
    return v != nullptr && *v != '\0';
}

bool vaut(const char *variable, const char *valeur) {
    const char *v = std::getenv(variable);
    return v != nullptr && SDL_strcasecmp(v, valeur) == 0;
}

// Mesa's own reading of LIBGL_ALWAYS_SOFTWARE.
bool mesa_par_logiciel() {
    for (const char *oui : {"1", "true", "y", "yes"}) {
        if (vaut("LIBGL_ALWAYS_SOFTWARE", oui)) {
            return true;
        }
    }
    return false;
}

// What a display said of itself; nothing when it did not answer.
struct offre_t {
    bool repond = false;
    bool gpu = false;          // it takes GPU buffers from its clients
    bool decorations = false;  // a Wayland compositor that frames windows itself
};

#ifdef VORNA_XCB
// Mesa draws with a GPU on X only through DRI3 or DRI2, and NVIDIA's
// driver through its own GLX; an X server with none of them (Xvfb, Xvnc,
// a virtual machine's) gives the software rasteriser alone.
offre_t serveur_x() {
    offre_t o;
    xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c) == 0) {
        o.repond = true;
        constexpr const char *EXTENSIONS[] = {"DRI3", "DRI2", "NV-GLX"};
        xcb_query_extension_cookie_t question[3];
        for (int i = 0; i < 3; ++i) {
            question[i] = xcb_query_extension(c, std::strlen(EXTENSIONS[i]), EXTENSIONS[i]);
        }
        for (const xcb_query_extension_cookie_t &q : question) {
            xcb_query_extension_reply_t *r = xcb_query_extension_reply(c, q, nullptr);
            // No answer: it cannot be told, so the GPU is not ruled out.
            o.gpu = o.gpu || r == nullptr || r->present != 0;
            std::free(r);
        }
    }
    xcb_disconnect(c);
    return o;
}
#else
offre_t serveur_x() {
    return {};
}
#endif

#ifdef VORNA_WAYLAND
void global_annonce(void *donnees, wl_registry *, uint32_t, const char *interface, uint32_t) {
    auto *o = static_cast<offre_t *>(donnees);
    // The protocol SDL asks the compositor for its frame with.
    o->decorations = o->decorations || std::strcmp(interface, "zxdg_decoration_manager_v1") == 0;
    // What EGL hands GPU buffers over with; a compositor that takes
    // neither gets the software rasteriser's buffers through memory.
    o->gpu = o->gpu || std::strcmp(interface, "zwp_linux_dmabuf_v1") == 0 ||
             std::strcmp(interface, "wl_drm") == 0;
}
void global_retire(void *, wl_registry *, uint32_t) {}
constexpr wl_registry_listener A_L_ECOUTE = {global_annonce, global_retire};

offre_t compositeur() {
    offre_t o;
    wl_display *d = wl_display_connect(nullptr);
    if (d == nullptr) {
        return o;
    }
    wl_registry *registre = wl_display_get_registry(d);
    wl_registry_add_listener(registre, &A_L_ECOUTE, &o);
    o.repond = wl_display_roundtrip(d) >= 0;
    wl_registry_destroy(registre);
    wl_display_disconnect(d);
    return o;
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
#else  // built without libwayland-client: SDL chooses
offre_t compositeur() {
    return {};
}
#endif

// The first video driver SDL will try: the one named first, or the one
// whose display is set (SDL tries X11 first where both are). Empty for
// any other.
std::string premier_pilote() {
    if (defini("SDL_VIDEODRIVER")) {
        const std::string v = std::getenv("SDL_VIDEODRIVER");
        return v.substr(0, v.find(','));
    }
    return defini("DISPLAY") ? "x11" : defini("WAYLAND_DISPLAY") ? "wayland" : "";
}

}  // namespace

void affichage_reglages() {
    offre_t wayland;
#ifdef VORNA_WAYLAND
    if (!defini("SDL_VIDEODRIVER") && defini("DISPLAY") && defini("WAYLAND_DISPLAY")) {
        wayland = compositeur();
        // The second of each pair is there for a display that does not
        // answer.
        setenv("SDL_VIDEODRIVER",
               wayland.decorations || greffon_libdecor() ? "wayland,x11" : "x11,wayland", 1);
    }
#endif
    if (!defini("SDL_RENDER_DRIVER") && !defini("SDL_FRAMEBUFFER_ACCELERATION")) {
        const std::string pilote = premier_pilote();
        offre_t offre;
        if (pilote == "x11") {
            offre = serveur_x();
        } else if (pilote == "wayland") {
            offre = wayland.repond ? wayland : compositeur();
        }
        const bool connu = pilote == "x11" || pilote == "wayland";
        if (connu && (mesa_par_logiciel() || (offre.repond && !offre.gpu))) {
            setenv("SDL_RENDER_DRIVER", "software", 1);
        }
    }
    // SDL's software renderer draws into the window's framebuffer, which
    // SDL would otherwise make an OpenGL texture of.
    if (vaut("SDL_RENDER_DRIVER", "software")) {
        setenv("SDL_FRAMEBUFFER_ACCELERATION", "0", 0);
    }
}
