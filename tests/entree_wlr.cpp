// A pointer and a keyboard for a wlroots compositor (sway) that has no
// input devices of its own, held for the whole run: the seat has a
// keyboard and a pointer only while a device exists, and one made per key
// would be gone before the client saw a keyboard.
// Usage: vorna_entree FIFO. Reads commands from the FIFO, one a line, and
// answers "ok" on standard output once the compositor has them:
//   pointe X Y W H   the pointer to (X, Y) of a W x H output, in its units
//   touche CODE      presses and releases the key of this evdev code
//   clavier LAYOUT [VARIANT]   the keyboard's layout from now on (us, ru,
//                              fr bepo...)
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <initializer_list>
#include <string>
#include <type_traits>

#include "virtual-keyboard-unstable-v1-client-protocol.h"
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

namespace {

struct globaux_t {
    wl_seat *siege = nullptr;
    zwlr_virtual_pointer_manager_v1 *pointeurs = nullptr;
    zwp_virtual_keyboard_manager_v1 *claviers = nullptr;
};

void annonce(void *donnees, wl_registry *r, uint32_t nom, const char *interface, uint32_t) {
    auto *g = static_cast<globaux_t *>(donnees);
    const auto lie = [&](auto *&objet, const wl_interface &i) {
        if (std::strcmp(interface, i.name) == 0 && objet == nullptr) {
            objet = static_cast<std::remove_reference_t<decltype(objet)>>(
                wl_registry_bind(r, nom, &i, 1));
        }
    };
    lie(g->siege, wl_seat_interface);
    lie(g->pointeurs, zwlr_virtual_pointer_manager_v1_interface);
    lie(g->claviers, zwp_virtual_keyboard_manager_v1_interface);
}
void retire(void *, wl_registry *, uint32_t) {}
const wl_registry_listener ECOUTE = {annonce, retire};

uint32_t maintenant() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<uint32_t>(t.tv_sec * 1000 + t.tv_nsec / 1000000);
}

// The keymap of a layout, as the compositor reads it: text in a file.
bool clavier(zwp_virtual_keyboard_v1 *c, const char *disposition, const char *variante) {
    xkb_context *ctx = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    const xkb_rule_names noms{"evdev", "pc105", disposition, variante, ""};
    xkb_keymap *carte = ctx != nullptr
                            ? xkb_keymap_new_from_names(ctx, &noms, XKB_KEYMAP_COMPILE_NO_FLAGS)
                            : nullptr;
    char *texte =
        carte != nullptr ? xkb_keymap_get_as_string(carte, XKB_KEYMAP_FORMAT_TEXT_V1) : nullptr;
    bool bon = false;
    if (texte != nullptr) {
        const size_t taille = std::strlen(texte) + 1;
        const int fd = memfd_create("carte", MFD_CLOEXEC);
        if (fd >= 0 && write(fd, texte, taille) == static_cast<ssize_t>(taille)) {
            zwp_virtual_keyboard_v1_keymap(c, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd,
                                           static_cast<uint32_t>(taille));
            bon = true;
        }
        if (fd >= 0) {
            close(fd);
        }
    }
    std::free(texte);
    xkb_keymap_unref(carte);
    xkb_context_unref(ctx);
    return bon;
}

}  // namespace

int main(int argc, char *argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FIFO\n", argv[0]);
        return 2;
    }
    wl_display *d = wl_display_connect(nullptr);
    if (d == nullptr) {
        std::perror("wl_display_connect");
        return 1;
    }
    globaux_t g;
    wl_registry_add_listener(wl_display_get_registry(d), &ECOUTE, &g);
    wl_display_roundtrip(d);
    if (g.siege == nullptr || g.pointeurs == nullptr || g.claviers == nullptr) {
        std::fprintf(stderr, "the compositor offers no seat, virtual pointer or keyboard\n");
        return 1;
    }
    zwlr_virtual_pointer_v1 *p =
        zwlr_virtual_pointer_manager_v1_create_virtual_pointer(g.pointeurs, g.siege);
    zwp_virtual_keyboard_v1 *c =
        zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(g.claviers, g.siege);
    if (!clavier(c, "us", "") || wl_display_roundtrip(d) < 0) {
        return 1;
    }
    // Opened for writing too, so that a writer closing it is no end.
    FILE *commandes = std::fopen(argv[1], "r+");
    if (commandes == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    char ligne[256];
    while (std::fgets(ligne, sizeof ligne, commandes) != nullptr) {
        unsigned x = 0, y = 0, w = 0, h = 0, code = 0;
        char disposition[64] = "";
        char variante[64] = "";
        bool bon = true;
        if (std::sscanf(ligne, "pointe %u %u %u %u", &x, &y, &w, &h) == 4) {
            zwlr_virtual_pointer_v1_motion_absolute(p, maintenant(), x, y, w, h);
            zwlr_virtual_pointer_v1_frame(p);
        } else if (std::sscanf(ligne, "touche %u", &code) == 1) {
            for (const uint32_t etat :
                 {WL_KEYBOARD_KEY_STATE_PRESSED, WL_KEYBOARD_KEY_STATE_RELEASED}) {
                zwp_virtual_keyboard_v1_key(c, maintenant(), code, etat);
                bon = bon && wl_display_roundtrip(d) >= 0;
            }
        } else if (std::sscanf(ligne, "clavier %63s %63s", disposition, variante) >= 1) {
            bon = clavier(c, disposition, variante);
        } else {
            bon = false;
        }
        bon = wl_display_roundtrip(d) >= 0 && bon;
        std::printf("%s\n", bon ? "ok" : "error");
        std::fflush(stdout);
    }
    return 0;
}
