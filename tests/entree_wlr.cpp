// A pointer and a keyboard for a wlroots compositor (sway) that has no
// input devices of its own, held for the whole run: the seat has a
// keyboard and a pointer only while a device exists, and one made per key
// would be gone before the client saw a keyboard.
// Usage: vorna_entree FIFO. Reads commands from the FIFO, one a line, and
// answers "ok" on standard output once the compositor has them:
//   pointe X Y W H   the pointer to (X, Y) of a W x H output, in its units
//   touche CODE      presses and releases the key of this evdev code
//   clavier LAYOUT [VARIANT]   the keyboard's layout from now on (us, fr
//                              bepo, ru...)
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

namespace {

// The wlroots virtual pointer and virtual keyboard protocols, which no
// Debian package ships as XML: the requests sent here, in their order in
// the protocols (libwayland marshals by index). Neither sends events.
const wl_interface *AUCUN[] = {nullptr, nullptr, nullptr, nullptr, nullptr};
const wl_message REQ_POINTEUR[] = {
    {"motion", "uff", AUCUN},   {"motion_absolute", "uuuuu", AUCUN},
    {"button", "uuu", AUCUN},   {"axis", "uuf", AUCUN},
    {"frame", "", AUCUN},       {"axis_source", "u", AUCUN},
    {"axis_stop", "uu", AUCUN}, {"axis_discrete", "uufi", AUCUN},
    {"destroy", "", AUCUN},
};
const wl_interface POINTEUR = {"zwlr_virtual_pointer_v1", 1, 9, REQ_POINTEUR, 0, nullptr};
const wl_interface *TYPES_POINTEURS[] = {&wl_seat_interface, &POINTEUR};
const wl_message REQ_POINTEURS[] = {{"create_virtual_pointer", "?on", TYPES_POINTEURS},
                                    {"destroy", "", AUCUN}};
const wl_interface POINTEURS = {"zwlr_virtual_pointer_manager_v1", 1, 2, REQ_POINTEURS, 0, nullptr};
const wl_message REQ_CLAVIER[] = {{"keymap", "uhu", AUCUN},
                                  {"key", "uuu", AUCUN},
                                  {"modifiers", "uuuu", AUCUN},
                                  {"destroy", "", AUCUN}};
const wl_interface CLAVIER = {"zwp_virtual_keyboard_v1", 1, 4, REQ_CLAVIER, 0, nullptr};
const wl_interface *TYPES_CLAVIERS[] = {&wl_seat_interface, &CLAVIER};
const wl_message REQ_CLAVIERS[] = {{"create_virtual_keyboard", "on", TYPES_CLAVIERS}};
const wl_interface CLAVIERS = {"zwp_virtual_keyboard_manager_v1", 1, 1, REQ_CLAVIERS, 0, nullptr};
enum : uint32_t { MOTION_ABSOLUTE = 1, FRAME = 4, KEYMAP = 0, KEY = 1 };

struct globaux_t {
    wl_seat *siege = nullptr;
    wl_proxy *pointeurs = nullptr;
    wl_proxy *claviers = nullptr;
};

void annonce(void *donnees, wl_registry *r, uint32_t nom, const char *interface, uint32_t) {
    auto *g = static_cast<globaux_t *>(donnees);
    const auto lie = [&](const wl_interface &i) {
        return static_cast<wl_proxy *>(wl_registry_bind(r, nom, &i, 1));
    };
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && g->siege == nullptr) {
        g->siege = reinterpret_cast<wl_seat *>(lie(wl_seat_interface));
    } else if (std::strcmp(interface, POINTEURS.name) == 0) {
        g->pointeurs = lie(POINTEURS);
    } else if (std::strcmp(interface, CLAVIERS.name) == 0) {
        g->claviers = lie(CLAVIERS);
    }
}
void retire(void *, wl_registry *, uint32_t) {}
const wl_registry_listener ECOUTE = {annonce, retire};

uint32_t maintenant() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<uint32_t>(t.tv_sec * 1000 + t.tv_nsec / 1000000);
}

// The keymap of a layout, as the compositor reads it: text in a file.
bool clavier(wl_proxy *c, const char *disposition, const char *variante) {
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
            wl_proxy_marshal_flags(c, KEYMAP, nullptr, 1, 0, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd,
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
    wl_proxy *p = wl_proxy_marshal_flags(g.pointeurs, 0, &POINTEUR, 1, 0, g.siege, nullptr);
    wl_proxy *c = wl_proxy_marshal_flags(g.claviers, 0, &CLAVIER, 1, 0, g.siege, nullptr);
    if (!clavier(c, "us") || wl_display_roundtrip(d) < 0) {
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
            wl_proxy_marshal_flags(p, MOTION_ABSOLUTE, nullptr, 1, 0, maintenant(), x, y, w, h);
            wl_proxy_marshal_flags(p, FRAME, nullptr, 1, 0);
        } else if (std::sscanf(ligne, "touche %u", &code) == 1) {
            for (const uint32_t etat :
                 {WL_KEYBOARD_KEY_STATE_PRESSED, WL_KEYBOARD_KEY_STATE_RELEASED}) {
                wl_proxy_marshal_flags(c, KEY, nullptr, 1, 0, maintenant(), code, etat);
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
