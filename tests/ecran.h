// A virtual X server of the test's own, driven as a person would: pointer
// moves and key presses through XTest, screenshots of the root window.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "processus.h"

struct ecran_t {
    processus_t xvfb;
    std::string display;  // ":N", chosen by the server among the free ones
    Display *dpy = nullptr;
    int w = 0;
    int h = 0;
};

struct image_t {
    int w = 0;
    int h = 0;
    std::vector<std::uint32_t> px;  // 0xRRGGBB, row by row
    std::uint32_t at(int x, int y) const {
        return px[static_cast<size_t>(y) * w + x];
    }
};

constexpr std::uint32_t ROUGE = 0xFF0000U;

// How many pixels are the cells' red.
long nb_rouges(const image_t &im);
// Nothing but the cells' red on black.
bool rouge_sur_noir(const image_t &im);
// Every pixel red in avant is still red in apres: nothing was wiped.
bool rouges_gardes(const image_t &avant, const image_t &apres);

struct geometrie_t {
    int x, y, w, h;
};

// Starts Xvfb with a w x h screen (and any further server options) and
// connects to it; false if it won't run.
bool ecran_demarre(ecran_t &e, int w, int h, const std::vector<std::string> &options = {});
// Closes our connection and ends the server (with SIGKILL when brutal, as
// a crash would).
void ecran_arrete(ecran_t &e, bool brutal = false);

// The first line a program writes on its standard output (a server once it
// is ready), without its newline; empty if none comes within ten seconds.
std::string premiere_ligne(const processus_t &p);

// A whole file's contents; empty if it cannot be read.
std::string lit_fichier(const std::string &chemin);

// A private D-Bus session bus, as a desktop session has, with a monitor
// that writes every message on it to a file.
struct bus_t {
    processus_t demon;
    processus_t moniteur;
    std::string adresse;  // for DBUS_SESSION_BUS_ADDRESS
    std::string journal;  // the monitor's file
};
bool bus_demarre(bus_t &b);
// Ends the monitor and the bus; returns what the monitor saw.
std::string bus_arrete(bus_t &b);

// The X display (":N") that the processes of a session listen on, the
// ones whose XDG_RUNTIME_DIR is dossier: a compositor's XWayland, which
// each compositor numbers as it likes. Empty while there is none.
std::string affichage_x(const std::string &dossier);

// Polls cond every 20 ms until it holds or timeout_ms has passed.
bool attend_que(const std::function<bool()> &cond, int timeout_ms);

// The frame journal the preloaded library keeps (VORNA_JOURNAL): how many
// frames the program has drawn, and its marks from its first request to end
// on ("" before one).
int nb_images(const std::string &journal);
std::string fin_du_journal(const std::string &journal);
// Waits until the program has drawn n more frames; false if it has not
// within timeout_ms.
bool attend_images(const std::string &journal, int n, int timeout_ms = 20000);
// Polls cond until it holds; false once the program has drawn n more frames
// without it, however long they took (two minutes at most).
bool attend_en_images(const std::string &journal, int n, const std::function<bool()> &cond);

// The top-level window with this title once it is mapped, or 0.
Window fenetre(ecran_t &e, const std::string &titre, int timeout_ms);
// The program's window once it shows cells. SDL replaces its first window
// by an OpenGL-capable one when it makes the renderer; once cells are
// drawn, the window is the final one.
Window fenetre_dessinee(ecran_t &e, const std::string &titre, int timeout_ms);
geometrie_t geometrie(ecran_t &e, Window w);
std::string titre(ecran_t &e, Window w);
bool redimensionnable(ecran_t &e, Window w);

// The window's class (the second string of WM_CLASS).
std::string classe(ecran_t &e, Window w);
// A window property of 32-bit items (CARDINAL and the like); empty if unset.
std::vector<long> propriete(ecran_t &e, Window w, const char *nom);
// Starts the X screen saver after this many idle seconds.
void economiseur(ecran_t &e, int secondes);
bool economiseur_actif(ecran_t &e);

image_t capture(ecran_t &e, int w, int h);
void pointe(ecran_t &e, int x, int y);
void touche(ecran_t &e, unsigned long keysym, int tenue_ms = 0);
// Presses and releases the physical key with this keycode, whatever the
// layout puts on it.
void touche_code(ecran_t &e, unsigned keycode, int tenue_ms = 0);
// Another window, white, over the whole screen for a while, as when the
// user brings one to the front and then closes it.
void couvre(ecran_t &e, int ms);
// What a window manager sends when the user clicks the close button.
void ferme(ecran_t &e, Window w);
void redimensionne(ecran_t &e, Window w, int largeur, int hauteur);
