// Shared-memory buffers of the program's own on a Wayland window: made,
// brought up to date, attached with damage, and released.
#include "tampons_wayland.h"

#ifdef VORNA_WAYLAND

#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <cerrno>
#include <cstdint>

// Written by wayland-scanner from wayland-protocols' XML at build time.
#include "viewporter-client-protocol.h"

namespace {

void ajoute(zones_t &z, const SDL_Rect &r) {
    if (z.tout) {
        return;
    }
    if (z.n == zones_t::MAX) {
        z.tout = true;
        return;
    }
    z.r[static_cast<size_t>(z.n++)] = r;
}

// The zones of a present: all of it when tout.
void ajoute_toutes(zones_t &z, const SDL_Rect *zones, int n, bool tout) {
    for (int i = 0; i < n && !tout; ++i) {
        ajoute(z, zones[i]);
    }
    z.tout = z.tout || tout;
}

void vide(zones_t &z) {
    z.n = 0;
    z.tout = false;
}

void format_offert(void *donnees, wl_shm *, uint32_t format) {
    if (format == WL_SHM_FORMAT_ARGB8888) {
        static_cast<tampons_t *>(donnees)->argb = true;
    }
}
constexpr wl_shm_listener A_L_ECOUTE_DU_SHM = {format_offert};

// Binds a global once, at the version given or the compositor's if lower.
template <typename T>
void lie(T *&objet, wl_registry *registre, uint32_t nom, const char *interface, uint32_t version,
         const wl_interface &voulue, uint32_t au_plus) {
    if (objet == nullptr && SDL_strcmp(interface, voulue.name) == 0) {
        objet =
            static_cast<T *>(wl_registry_bind(registre, nom, &voulue, SDL_min(version, au_plus)));
    }
}

void global_annonce(void *donnees, wl_registry *registre, uint32_t nom, const char *interface,
                    uint32_t version) {
    auto *t = static_cast<tampons_t *>(donnees);
    if (t->shm == nullptr && SDL_strcmp(interface, wl_shm_interface.name) == 0) {
        t->shm = static_cast<wl_shm *>(wl_registry_bind(registre, nom, &wl_shm_interface, 1));
        wl_shm_add_listener(t->shm, &A_L_ECOUTE_DU_SHM, t);
    }
    // Version 4 damages in the buffer's pixels.
    lie(t->compositeur, registre, nom, interface, version, wl_compositor_interface, 4);
    lie(t->sous_compositeur, registre, nom, interface, version, wl_subcompositor_interface, 1);
    lie(t->vues, registre, nom, interface, version, wp_viewporter_interface, 1);
}
void global_retire(void *, wl_registry *, uint32_t) {}
constexpr wl_registry_listener A_L_ECOUTE_DU_REGISTRE = {global_annonce, global_retire};

// The compositor is done reading the buffer: it may be written again.
void rendu(void *donnees, wl_buffer *) {
    static_cast<tampon_t *>(donnees)->occupe = false;
}
constexpr wl_buffer_listener A_L_ECOUTE_DU_TAMPON = {rendu};

void defait(tampon_t &b) {
    if (b.buffer != nullptr) {
        wl_buffer_destroy(b.buffer);
    }
    SDL_FreeSurface(b.surface);
    if (b.pixels != nullptr) {
        munmap(b.pixels, b.taille);
    }
    b = tampon_t{};
}

// A w x h buffer in memory shared with the compositor, zeroed by the
// system: transparent. Mapped here to draw into if wanted; false if the
// system gives none.
bool fait(tampons_t &t, tampon_t &b, bool a_dessiner = true) {
    const int pas = t.w * 4;
    b.taille = static_cast<size_t>(pas) * static_cast<size_t>(t.h);
    const int fd = memfd_create("vorna", MFD_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    void *pixels = ftruncate(fd, static_cast<off_t>(b.taille)) != 0 ? MAP_FAILED
                   : a_dessiner ? mmap(nullptr, b.taille, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)
                                : nullptr;
    if (pixels == MAP_FAILED) {
        close(fd);
        return false;
    }
    b.pixels = pixels;
    wl_shm_pool *pool = wl_shm_create_pool(t.shm, fd, static_cast<int32_t>(b.taille));
    b.buffer = wl_shm_pool_create_buffer(pool, 0, t.w, t.h, pas, WL_SHM_FORMAT_ARGB8888);
    // The buffer keeps the memory; neither the pool nor the descriptor is
    // needed any more.
    wl_shm_pool_destroy(pool);
    close(fd);
    wl_buffer_add_listener(b.buffer, &A_L_ECOUTE_DU_TAMPON, &b);
    if (!a_dessiner) {
        return true;
    }
    b.surface = SDL_CreateRGBSurfaceWithFormatFrom(b.pixels, t.w, t.h, 32, pas, FORMAT_TAMPONS);
    if (b.surface == nullptr) {
        defait(b);
        return false;
    }
    b.manque.tout = true;
    return true;
}

// Handles what the compositor said on our queue (buffers released), without
// waiting: reads the connection if SDL has not yet.
void ecoute(tampons_t &t) {
    while (wl_display_prepare_read_queue(t.display, t.file) != 0) {
        if (wl_display_dispatch_queue_pending(t.display, t.file) < 0) {
            return;
        }
    }
    wl_display_flush(t.display);
    pollfd p{wl_display_get_fd(t.display), POLLIN, 0};
    if (poll(&p, 1, 0) > 0) {
        wl_display_read_events(t.display);
    } else {
        wl_display_cancel_read(t.display);
    }
    wl_display_dispatch_queue_pending(t.display, t.file);
}

// A buffer the compositor does not hold, made if there is room for one
// more; null if there is none.
tampon_t *libre(tampons_t &t) {
    for (tampon_t &b : t.tampons) {
        if (b.buffer != nullptr && !b.occupe) {
            return &b;
        }
    }
    for (tampon_t &b : t.tampons) {
        if (b.buffer == nullptr) {
            return fait(t, b) ? &b : nullptr;
        }
    }
    return nullptr;
}

// Brings a buffer up to date with the canvas where it missed changes.
void rattrape(tampon_t &b, SDL_Surface *toile) {
    const SDL_Rect visible{0, 0, SDL_min(toile->w, b.surface->w), SDL_min(toile->h, b.surface->h)};
    if (b.manque.tout) {
        b.manque.n = 1;
        b.manque.r[0] = visible;
    }
    for (int i = 0; i < b.manque.n; ++i) {
        SDL_Rect zone;
        if (SDL_IntersectRect(&b.manque.r[static_cast<size_t>(i)], &visible, &zone)) {
            SDL_Rect vers = zone;  // SDL_BlitSurface writes its clipped copy here
            SDL_BlitSurface(toile, &zone, b.surface, &vers);
        }
    }
    vide(b.manque);
}

// Damage on a surface of ours, in its buffer's pixels where it can be given
// so; the whole surface otherwise.
void endommage(wl_surface *surface, const SDL_Rect &r) {
    if (wl_surface_get_version(surface) >= WL_SURFACE_DAMAGE_BUFFER_SINCE_VERSION) {
        wl_surface_damage_buffer(surface, r.x, r.y, r.w, r.h);
    } else {
        wl_surface_damage(surface, 0, 0, INT32_MAX, INT32_MAX);
    }
}

// Our surface takes the window's new size in units, whatever its buffers'
// size in pixels; the window's surface a transparent buffer of the new
// size, in the same commit as our surface's first buffer of that size.
// False while the system gives no memory for it.
bool suit_la_fenetre(tampons_t &t) {
    if (t.vue != nullptr) {
        wp_viewport_set_destination(t.vue, t.lw, t.lh);
    } else {
        // Without viewports SDL scales by whole numbers only.
        wl_surface_set_buffer_scale(t.dessus, t.lw > 0 && t.w % t.lw == 0 ? t.w / t.lw : 1);
    }
    // Opaque but for a unit: a surface hidden whole under opaque ones is on
    // no output for some compositors (wlroots), and SDL would no longer
    // hear the output's scale on the window's.
    wl_region *opaque = wl_compositor_create_region(t.compositeur);
    wl_region_add(opaque, 0, 0, t.lw, t.lh - 1);
    wl_region_add(opaque, 0, t.lh - 1, t.lw - 1, 1);
    wl_surface_set_opaque_region(t.dessus, opaque);
    wl_region_destroy(opaque);
    defait(t.fond);
    return fait(t, t.fond, false);
}

}  // namespace

bool tampons_ouvre(tampons_t &t, SDL_Window *fenetre, wl_display *display, wl_surface *surface) {
    t.fenetre = fenetre;
    t.display = display;
    t.surface = surface;
    t.file = wl_display_create_queue(t.display);
    t.enveloppe =
        t.file != nullptr ? static_cast<wl_display *>(wl_proxy_create_wrapper(t.display)) : nullptr;
    if (t.enveloppe != nullptr) {
        wl_proxy_set_queue(reinterpret_cast<wl_proxy *>(t.enveloppe), t.file);
        t.registre = wl_display_get_registry(t.enveloppe);
        wl_registry_add_listener(t.registre, &A_L_ECOUTE_DU_REGISTRE, &t);
        // The globals, then what wl_shm says of itself.
        for (int i = 0; i < 2 && wl_display_roundtrip_queue(t.display, t.file) >= 0; ++i) {
        }
    }
    if (t.shm == nullptr || !t.argb || t.compositeur == nullptr || t.sous_compositeur == nullptr) {
        tampons_ferme(t);
        return false;
    }
    t.dessus = wl_compositor_create_surface(t.compositeur);
    t.sous_surface = wl_subcompositor_get_subsurface(t.sous_compositeur, t.dessus, t.surface);
    // Over the window's surface: what lies beneath a window's own surface
    // may not be drawn at all.
    wl_subsurface_place_above(t.sous_surface, t.surface);
    // Our frames show as they are committed, without the window's surface.
    wl_subsurface_set_desync(t.sous_surface);
    // The pointer goes through to SDL's surface beneath.
    wl_region *rien = wl_compositor_create_region(t.compositeur);
    wl_surface_set_input_region(t.dessus, rien);
    wl_region_destroy(rien);
    if (t.vues != nullptr) {
        t.vue = wp_viewporter_get_viewport(t.vues, t.dessus);
    }
    return true;
}

void tampons_montre(tampons_t &t, SDL_Surface *toile, int w, int h, const SDL_Rect *zones, int n,
                    bool tout) {
    ecoute(t);
    int lw = 0;
    int lh = 0;
    SDL_GetWindowSize(t.fenetre, &lw, &lh);
    if (w != t.w || h != t.h || lw != t.lw || lh != t.lh) {
        // The window's size changed: buffers of the old one are no use.
        for (tampon_t &b : t.tampons) {
            defait(b);
        }
        defait(t.fond);
        t.w = w;
        t.h = h;
        t.lw = lw;
        t.lh = lh;
        t.dommage.tout = true;
    }
    // Every buffer misses these until it is brought up to date; one not
    // made yet will take the whole canvas anyway.
    for (tampon_t &b : t.tampons) {
        if (b.buffer != nullptr) {
            ajoute_toutes(b.manque, zones, n, tout);
        }
    }
    ajoute_toutes(t.dommage, zones, n, tout);
    if (t.dommage.n == 0 && !t.dommage.tout) {
        return;  // nothing changed
    }
    t.fenetre_a_valider = t.fenetre_a_valider || tout;
    if (t.fond.buffer == nullptr) {
        if (!suit_la_fenetre(t)) {
            return;  // tried again with the next present
        }
        t.fond_pose = false;
        t.fenetre_a_valider = true;
    }
    tampon_t *b = libre(t);
    if (b == nullptr) {
        return;  // every buffer held: shown with the next present instead
    }
    rattrape(*b, toile);
    if (t.fenetre_a_valider) {
        // Both surfaces change at once.
        wl_subsurface_set_sync(t.sous_surface);
    }
    wl_surface_attach(t.dessus, b->buffer, 0, 0);
    const int nb = t.dommage.tout ? 1 : t.dommage.n;
    for (int i = 0; i < nb; ++i) {
        endommage(t.dessus,
                  t.dommage.tout ? SDL_Rect{0, 0, t.w, t.h} : t.dommage.r[static_cast<size_t>(i)]);
    }
    wl_surface_commit(t.dessus);
    if (t.fenetre_a_valider) {
        if (!t.fond_pose) {
            wl_surface_attach(t.surface, t.fond.buffer, 0, 0);
            endommage(t.surface, SDL_Rect{0, 0, t.w, t.h});
            t.fond_pose = true;
        }
        // SDL calls its surface opaque, which its transparent buffer is not.
        wl_surface_set_opaque_region(t.surface, nullptr);
        wl_surface_commit(t.surface);
        wl_subsurface_set_desync(t.sous_surface);
        t.fenetre_a_valider = false;
    }
    wl_display_flush(t.display);
    b->occupe = true;
    vide(t.dommage);
}

void tampons_ferme(tampons_t &t) {
    if (t.vue != nullptr) {
        wp_viewport_destroy(t.vue);
    }
    if (t.sous_surface != nullptr) {
        wl_subsurface_destroy(t.sous_surface);
    }
    if (t.dessus != nullptr) {
        wl_surface_destroy(t.dessus);
    }
    for (tampon_t &b : t.tampons) {
        defait(b);
    }
    defait(t.fond);
    if (t.vues != nullptr) {
        wp_viewporter_destroy(t.vues);
    }
    if (t.sous_compositeur != nullptr) {
        wl_subcompositor_destroy(t.sous_compositeur);
    }
    if (t.compositeur != nullptr) {
        wl_compositor_destroy(t.compositeur);
    }
    if (t.shm != nullptr) {
        wl_shm_destroy(t.shm);
    }
    if (t.registre != nullptr) {
        wl_registry_destroy(t.registre);
    }
    if (t.enveloppe != nullptr) {
        wl_proxy_wrapper_destroy(t.enveloppe);
    }
    if (t.file != nullptr) {
        wl_event_queue_destroy(t.file);
    }
    t = tampons_t{};
}

int wayland_perdu(wl_display *display) {
    if (const int e = wl_display_get_error(display)) {
        return e;
    }
    // Gone before anyone read from it: the compositor hung up, which
    // libwayland reports as EPIPE once it reads.
    pollfd p{wl_display_get_fd(display), 0, 0};
    return poll(&p, 1, 0) > 0 && (p.revents & POLLHUP) != 0 ? EPIPE : 0;
}

#else  // built without libwayland-client: this way is never taken

bool tampons_ouvre(tampons_t &, SDL_Window *, wl_display *, wl_surface *) {
    return false;
}
void tampons_montre(tampons_t &, SDL_Surface *, int, int, const SDL_Rect *, int, bool) {}
void tampons_ferme(tampons_t &) {}
int wayland_perdu(wl_display *) {
    return 0;
}

#endif
