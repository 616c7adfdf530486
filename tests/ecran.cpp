#include "ecran.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/scrnsaver.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

namespace {

// The program's window can vanish between two of our requests; that is no
// reason to end the test process, which Xlib's default handler would do.
int ignore_erreur(Display *, XErrorEvent *) {
    return 0;
}
}  // namespace

std::string premiere_ligne(const processus_t &p) {
    std::string ligne;
    pollfd f{p.sortie, POLLIN, 0};
    while (ligne.find('\n') == std::string::npos && poll(&f, 1, 10000) > 0) {
        char c[64];
        const ssize_t n = read(p.sortie, c, sizeof c);
        if (n <= 0) {
            break;
        }
        ligne.append(c, static_cast<size_t>(n));
    }
    const auto fin = ligne.find('\n');
    return fin == std::string::npos ? std::string() : ligne.substr(0, fin);
}

std::string lit_fichier(const std::string &chemin) {
    std::ifstream f(chemin);
    std::ostringstream tout;
    tout << f.rdbuf();
    return tout.str();
}

long nb_rouges(const image_t &im) {
    return std::count(im.px.begin(), im.px.end(), ROUGE);
}

bool rouge_sur_noir(const image_t &im) {
    return std::all_of(im.px.begin(), im.px.end(),
                       [](std::uint32_t p) { return p == ROUGE || p == 0; });
}

bool rouges_gardes(const image_t &avant, const image_t &apres) {
    if (avant.px.size() != apres.px.size()) {
        return false;
    }
    for (size_t p = 0; p < avant.px.size(); ++p) {
        if (avant.px[p] == ROUGE && apres.px[p] != ROUGE) {
            return false;
        }
    }
    return true;
}

bool ecran_demarre(ecran_t &e, int w, int h, const std::vector<std::string> &options) {
    XSetErrorHandler(ignore_erreur);
    const std::string taille = std::to_string(w) + "x" + std::to_string(h) + "x24";
    // -displayfd: the server picks a free display and writes its number once
    // it accepts connections, so there is nothing to guess or sleep on.
    std::vector<std::string> args = {"/usr/bin/Xvfb", "-displayfd", "1",   "-screen", "0",
                                     taille,          "-nolisten",  "tcp", "-noreset"};
    args.insert(args.end(), options.begin(), options.end());
    e.xvfb = demarre(args, {});
    const std::string numero = premiere_ligne(e.xvfb);
    if (numero.empty()) {
        ecran_arrete(e, true);
        return false;
    }
    e.display = ":" + numero;
    e.dpy = XOpenDisplay(e.display.c_str());
    e.w = w;
    e.h = h;
    return e.dpy != nullptr;
}

void ecran_arrete(ecran_t &e, bool brutal) {
    if (e.dpy != nullptr) {
        XCloseDisplay(e.dpy);
    }
    e.dpy = nullptr;
    arrete(e.xvfb, brutal ? SIGKILL : SIGTERM);
}

std::string affichage_x(const std::string &dossier) {
    // The sockets the session's processes hold, by inode...
    std::set<std::string> prises;
    std::error_code erreur;
    const std::string nul(1, '\0');
    for (const auto &p : std::filesystem::directory_iterator("/proc", erreur)) {
        const std::string env = nul + lit_fichier(p.path() / "environ");
        if (env.find(nul + "XDG_RUNTIME_DIR=" + dossier + nul) == std::string::npos) {
            continue;
        }
        for (const auto &fd : std::filesystem::directory_iterator(p.path() / "fd", erreur)) {
            const std::string cible = std::filesystem::read_symlink(fd, erreur);
            if (cible.rfind("socket:[", 0) == 0) {
                prises.insert(cible.substr(8, cible.size() - 9));
            }
        }
    }
    // ...that are bound to an X display's name, plain or abstract.
    std::istringstream lignes(lit_fichier("/proc/net/unix"));
    const std::string x = "/tmp/.X11-unix/X";
    for (std::string ligne; std::getline(lignes, ligne);) {
        std::istringstream champs(ligne);
        std::string champ[8];
        for (std::string &c : champ) {
            champs >> c;
        }
        const auto ou = champ[7].find(x);
        if (ou != std::string::npos && prises.count(champ[6]) > 0) {
            return ":" + champ[7].substr(ou + x.size());
        }
    }
    return "";
}

bool attend_que(const std::function<bool()> &cond, int timeout_ms) {
    const auto fin = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!cond()) {
        if (std::chrono::steady_clock::now() >= fin) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

int nb_images(const std::string &journal) {
    const std::string marques = lit_fichier(journal);
    return static_cast<int>(std::count(marques.begin(), marques.end(), 'p'));
}

std::string fin_du_journal(const std::string &journal) {
    const std::string marques = lit_fichier(journal);
    return marques.substr(std::min(marques.find('f'), marques.size()));
}

bool attend_images(const std::string &journal, int n, int timeout_ms) {
    const int but = nb_images(journal) + n;
    return attend_que([&] { return nb_images(journal) >= but; }, timeout_ms);
}

bool attend_en_images(const std::string &journal, int n, const std::function<bool()> &cond) {
    const int but = nb_images(journal) + n;
    bool tenue = false;
    attend_que([&] { return (tenue = cond()) || nb_images(journal) >= but; }, 120000);
    return tenue;
}

std::string titre(ecran_t &e, Window w) {
    char *nom = nullptr;
    std::string t;
    if (XFetchName(e.dpy, w, &nom) != 0 && nom != nullptr) {
        t = nom;
        XFree(nom);
    }
    return t;
}

Window fenetre(ecran_t &e, const std::string &nom, int timeout_ms) {
    Window trouvee = 0;
    attend_que(
        [&] {
            Window racine = 0;
            Window parent = 0;
            Window *enfants = nullptr;
            unsigned n = 0;
            XQueryTree(e.dpy, DefaultRootWindow(e.dpy), &racine, &parent, &enfants, &n);
            for (unsigned i = 0; i < n && trouvee == 0; ++i) {
                XWindowAttributes a;
                if (XGetWindowAttributes(e.dpy, enfants[i], &a) != 0 && a.map_state == IsViewable &&
                    titre(e, enfants[i]) == nom) {
                    trouvee = enfants[i];
                }
            }
            if (enfants != nullptr) {
                XFree(enfants);
            }
            return trouvee != 0;
        },
        timeout_ms);
    if (trouvee != 0) {
        // No window manager here: give the window the keyboard as one would.
        XSetInputFocus(e.dpy, trouvee, RevertToPointerRoot, CurrentTime);
        XSync(e.dpy, False);
    }
    return trouvee;
}

Window fenetre_dessinee(ecran_t &e, const std::string &nom, int timeout_ms) {
    const bool dessine =
        attend_que([&] { return nb_rouges(capture(e, e.w, e.h)) > 0; }, timeout_ms);
    return dessine ? fenetre(e, nom, 5000) : 0;
}

geometrie_t geometrie(ecran_t &e, Window w) {
    XWindowAttributes a{};
    XGetWindowAttributes(e.dpy, w, &a);
    return {a.x, a.y, a.width, a.height};
}

bool redimensionnable(ecran_t &e, Window w) {
    XSizeHints h{};
    long fournis = 0;
    if (XGetWMNormalHints(e.dpy, w, &h, &fournis) == 0) {
        return true;  // no hints, no constraint
    }
    const bool fige = (h.flags & PMinSize) && (h.flags & PMaxSize) && h.min_width == h.max_width &&
                      h.min_height == h.max_height;
    return !fige;
}

std::string classe(ecran_t &e, Window w) {
    XClassHint c{};
    std::string nom;
    if (XGetClassHint(e.dpy, w, &c) != 0) {
        nom = c.res_class != nullptr ? c.res_class : "";
        XFree(c.res_name);
        XFree(c.res_class);
    }
    return nom;
}

std::vector<long> propriete(ecran_t &e, Window w, const char *nom) {
    Atom type = 0;
    int format = 0;
    unsigned long n = 0;
    unsigned long reste = 0;
    unsigned char *donnees = nullptr;
    std::vector<long> v;
    if (XGetWindowProperty(e.dpy, w, XInternAtom(e.dpy, nom, False), 0, 1L << 24, False,
                           AnyPropertyType, &type, &format, &n, &reste, &donnees) == Success &&
        format == 32) {
        // Xlib hands 32-bit items over as longs.
        const auto *items = reinterpret_cast<const long *>(donnees);
        v.assign(items, items + n);
    }
    if (donnees != nullptr) {
        XFree(donnees);
    }
    return v;
}

void economiseur(ecran_t &e, int secondes) {
    XSetScreenSaver(e.dpy, secondes, 0, PreferBlanking, AllowExposures);
    XSync(e.dpy, False);
}

bool economiseur_actif(ecran_t &e) {
    XScreenSaverInfo info{};
    return XScreenSaverQueryInfo(e.dpy, DefaultRootWindow(e.dpy), &info) != 0 &&
           info.state == ScreenSaverOn;
}

image_t capture(ecran_t &e, int w, int h) {
    image_t im;
    XImage *x = XGetImage(e.dpy, DefaultRootWindow(e.dpy), 0, 0, static_cast<unsigned>(w),
                          static_cast<unsigned>(h), AllPlanes, ZPixmap);
    if (x == nullptr) {
        return im;
    }
    im.w = w;
    im.h = h;
    im.px.resize(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y) {
        const auto *ligne =
            reinterpret_cast<const std::uint32_t *>(x->data + y * x->bytes_per_line);
        for (int i = 0; i < w; ++i) {
            im.px[static_cast<size_t>(y) * w + i] = ligne[i] & 0xFFFFFFU;
        }
    }
    XDestroyImage(x);
    return im;
}

void pointe(ecran_t &e, int x, int y) {
    XTestFakeMotionEvent(e.dpy, 0, x, y, CurrentTime);
    XSync(e.dpy, False);
}

void touche(ecran_t &e, unsigned long keysym, int tenue_ms) {
    touche_code(e, XKeysymToKeycode(e.dpy, keysym), tenue_ms);
}

void touche_code(ecran_t &e, unsigned code, int tenue_ms) {
    XTestFakeKeyEvent(e.dpy, code, True, CurrentTime);
    XSync(e.dpy, False);
    if (tenue_ms > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(tenue_ms));
    }
    XTestFakeKeyEvent(e.dpy, code, False, CurrentTime);
    XSync(e.dpy, False);
}

void couvre(ecran_t &e, int ms) {
    XSetWindowAttributes a{};
    a.override_redirect = True;
    a.background_pixel = WhitePixel(e.dpy, DefaultScreen(e.dpy));
    const Window w =
        XCreateWindow(e.dpy, DefaultRootWindow(e.dpy), 0, 0, static_cast<unsigned>(e.w),
                      static_cast<unsigned>(e.h), 0, CopyFromParent, InputOutput, CopyFromParent,
                      CWOverrideRedirect | CWBackPixel, &a);
    XMapRaised(e.dpy, w);
    XSync(e.dpy, False);
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    XDestroyWindow(e.dpy, w);
    XSync(e.dpy, False);
}

void ferme(ecran_t &e, Window w) {
    XEvent ev{};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = w;
    ev.xclient.message_type = XInternAtom(e.dpy, "WM_PROTOCOLS", False);
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = static_cast<long>(XInternAtom(e.dpy, "WM_DELETE_WINDOW", False));
    ev.xclient.data.l[1] = CurrentTime;
    XSendEvent(e.dpy, w, False, NoEventMask, &ev);
    XSync(e.dpy, False);
}

void redimensionne(ecran_t &e, Window w, int largeur, int hauteur) {
    XResizeWindow(e.dpy, w, static_cast<unsigned>(largeur), static_cast<unsigned>(hauteur));
    XSync(e.dpy, False);
}

bool bus_demarre(bus_t &b) {
    b.demon = demarre({"/usr/bin/dbus-daemon", "--session", "--nofork", "--print-address=1"}, {});
    b.adresse = premiere_ligne(b.demon);
    char modele[] = "/tmp/vorna-bus-XXXXXX";
    const int fd = mkstemp(modele);
    if (b.adresse.empty() || fd < 0) {
        return false;
    }
    close(fd);
    b.journal = modele;
    b.moniteur = demarre({"/bin/sh", "-c", "exec dbus-monitor --address \"$1\" --monitor >\"$2\"",
                          "sh", b.adresse, b.journal},
                         {});
    // The monitor is in place once it has said so on the bus.
    return attend_que(
        [&] { return lit_fichier(b.journal).find("NameAcquired") != std::string::npos; }, 10000);
}

std::string bus_arrete(bus_t &b) {
    arrete(b.moniteur, SIGTERM);
    arrete(b.demon, SIGTERM);
    std::string vu;
    if (!b.journal.empty()) {
        vu = lit_fichier(b.journal);
        unlink(b.journal.c_str());
        b.journal.clear();
    }
    return vu;
}
