// The Wayland compositors the tests and the benchmarks run vorna on, each
// headless and of its own: how each starts and what it can be asked. Built
// where weston 12 or later is installed; the others where they are too.
#pragma once

#include <filesystem>
#include <initializer_list>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

// How a compositor runs here and what it can be asked. Its commands are
// shell lines run with the session's environment, and with VORNA_L x
// VORNA_H the desktop in units, VORNA_PL x VORNA_PH in pixels, VORNA_ECHELLE
// the output's scale and VORNA_CAPTURE the PNG a capture writes. An empty
// command: the compositor has no such way here.
struct compositeur_t {
    const char *nom;
    std::vector<std::string> env;  // for the compositor itself
    bool bus;                      // needs a session and a system D-Bus
    const char *prise;             // the socket clients take; empty: the one it makes
    const char *demarre;
    const char *pret;  // succeeds once the compositor takes requests
    const char *capture;
    const char *ferme;   // the close request the compositor sends the window
    const char *arbre;   // prints the app ids of its windows, one a line
    const char *taille;  // sets the output to VORNA_PL x VORNA_PH pixels
    const char *pointe;  // the pointer to VORNA_X, VORNA_Y, in units
    const char *touche;  // presses and releases the key of evdev code VORNA_TOUCHE
    const char *cache;   // hides the window (another workspace, minimised)
    bool entree;         // takes vorna_entree's pointer and keyboard instead
    bool fractions;      // scales such as 1.5
    bool decorations;    // draws windows' frames itself (xdg-decoration)
};

// Whether the compositor takes a pointer and keys from the test.
inline bool pilotable(const compositeur_t &c) {
    return c.entree || *c.pointe != '\0';
}

// Each runs XWayland, as a desktop session does.
// weston's kiosk shell shows the window full screen on black; --debug lets
// weston-screenshooter capture. weston takes no pointer or keys from a
// client, its headless output is of one size and a whole scale, and it
// leaves windows' frames to the windows.
inline const compositeur_t WESTON_ = {
    "weston",
    {},
    false,
    "",
    "exec " WESTON
    " --backend=headless --renderer=pixman --debug --shell=kiosk --socket=vorna "
    "--no-config --idle-time=0 --width=$VORNA_L --height=$VORNA_H --scale=$VORNA_ECHELLE "
    "--xwayland",
    "",
    "cd \"$(dirname \"$VORNA_CAPTURE\")\" && " WESTON_SCREENSHOOTER
    " && mv wayland-screenshot-*.png \"$VORNA_CAPTURE\"",
    "",
    "",
    "",
    "",
    "",
    "",
    false,
    false,
    false,
};

#ifdef SWAY
// sway with no input devices of its own, no borders, and the cursor hidden
// once still, so that captures show the window alone; a tiled window fills
// the output.
inline const compositeur_t SWAY_ = {
    "sway",
    {"WLR_BACKENDS=headless", "WLR_RENDERER=pixman", "WLR_LIBINPUT_NO_DEVICES=1"},
    false,
    "",
    "printf 'default_border none\\nseat * hide_cursor 100\\n"
    "output HEADLESS-1 resolution %sx%s scale %s\\n' $VORNA_PL $VORNA_PH $VORNA_ECHELLE "
    ">\"$XDG_RUNTIME_DIR/sway.conf\" && exec " SWAY " -c \"$XDG_RUNTIME_DIR/sway.conf\"",
    "",
    "exec " GRIM " \"$VORNA_CAPTURE\"",
    "exec " SWAYMSG " kill",
    SWAYMSG " -t get_tree | sed -n 's/.*\"app_id\": \"\\(.*\\)\",*$/\\1/p'",
    "exec " SWAYMSG " output HEADLESS-1 resolution ${VORNA_PL}x$VORNA_PH",
    "",
    "",
    "exec " SWAYMSG " workspace 2",
    true,
    true,
    true,
};

#ifdef KWIN
// A script KWin runs, over D-Bus, on each of its windows w: what it
// offers no command for.
#define KWIN_SCRIPT(nom, js)                                                              \
    "printf 'workspace.windowList().forEach(w => { if (w.normalWindow) " js               \
    "; });' "                                                                             \
    ">\"$XDG_RUNTIME_DIR/" nom ".js\" && " GDBUS                                          \
    " call --session -d org.kde.KWin -o /Scripting -m org.kde.kwin.Scripting.loadScript " \
    "\"$XDG_RUNTIME_DIR/" nom ".js\" && " GDBUS                                           \
    " call --session -d org.kde.KWin -o /Scripting -m org.kde.kwin.Scripting.start"
// KWin, nested in the sway above (its own way to run in a window): sway
// captures it and gives it the pointer and keys. A window rule makes every
// window full screen from its first frame, so that captures show the
// window alone, without its Breeze frame; a script run over D-Bus closes it.
inline const compositeur_t KWIN_ = {
    "kwin",
    SWAY_.env,
    true,
    "vorna",
    "mkdir -p \"$XDG_RUNTIME_DIR/config\" && printf '[General]\\ncount=1\\nrules=1\\n\\n[1]\\n"
    "fullscreen=true\\nfullscreenrule=2\\nwmclassmatch=0\\n' "
    ">\"$XDG_RUNTIME_DIR/config/kwinrulesrc\" && printf 'xwayland disable\\ndefault_border none\\n"
    "seat * hide_cursor 100\\noutput HEADLESS-1 resolution %sx%s scale %s\\nexec "
    "XDG_CONFIG_HOME=\"$XDG_RUNTIME_DIR/config\" QT_QPA_PLATFORM=offscreen " KWIN
    " --no-lockscreen --no-global-shortcuts --xwayland --socket vorna --width %s --height %s "
    "--scale %s\\n' "
    "$VORNA_PL $VORNA_PH $VORNA_ECHELLE $VORNA_L $VORNA_H $VORNA_ECHELLE "
    ">\"$XDG_RUNTIME_DIR/sway.conf\" && exec " SWAY " -c \"$XDG_RUNTIME_DIR/sway.conf\"",
    "",
    "WAYLAND_DISPLAY=$VORNA_HOTE exec " GRIM " \"$VORNA_CAPTURE\"",
    KWIN_SCRIPT("ferme", "w.closeWindow()"),
    "",
    "",
    "",
    "",
    KWIN_SCRIPT("cache", "w.minimized = true"),
    true,
    false,
    true,
};
#endif
#endif

#ifdef GNOME_SHELL
// GNOME Shell, headless, its unsafe mode opening Eval and Screenshot to the
// test. Once it has started up, its overview, animations and banners are
// put away and each window is made full screen, so that captures show the
// window alone; its virtual pointer and keyboard are made then, for the
// seat to have both before any window (SDL takes them as the seat offers
// them). Its monitor offers whole scales only, set over DisplayConfig.
#define GS_APPEL GDBUS " call --session -d org.gnome."
#define GS_EVAL(js) \
    GS_APPEL "Shell -o /org/gnome/Shell -m org.gnome.Shell.Eval '" js "' | grep '^(true'"
#define GS_MONITEUR \
    "Mutter.DisplayConfig -o /org/gnome/Mutter/DisplayConfig -m org.gnome.Mutter.DisplayConfig."
inline const compositeur_t GNOME_ = {
    "gnome",
    {},
    true,
    "",
    "exec " GNOME_SHELL " --headless --wayland --unsafe-mode --wayland-display=vorna "
    "--virtual-monitor ${VORNA_PL}x$VORNA_PH",
    GS_EVAL("if (Main.layoutManager._startingUp) throw new Error(); if (!global.vornaP) {"
            " Main.overview.hide(); imports.gi.St.Settings.get().inhibit_animations();"
            " Main.messageTray.bannerBlocked = true;"
            " global.display.connect(\"window-created\", (d, w) =>"
            "  w.connect(\"shown\", () => w.make_fullscreen()));"
            " const s = global.stage.context.get_backend().get_default_seat();"
            " global.vornaK = s.create_virtual_device(imports.gi.Clutter.InputDeviceType.KEYBOARD_DEVICE);"
            " global.vornaP = s.create_virtual_device(imports.gi.Clutter.InputDeviceType.POINTER_DEVICE); }")
    " >/dev/null && { [ \"$VORNA_ECHELLE\" = 1 ] || " GS_APPEL GS_MONITEUR "ApplyMonitorsConfig "
    "\"$(" GS_APPEL GS_MONITEUR "GetCurrentState | sed 's/^(uint32 \\([0-9]*\\).*/\\1/')\" 1 "
    "\"[(0, 0, $VORNA_ECHELLE, 0, true, [('Meta-0', '${VORNA_PL}x$VORNA_PH@60.000', @a{sv} {})])]\" "
    "'@a{sv} {}'; }",
    // Once every window has come to full screen: a window is shown at its
    // own size first, and an X11 one can be shown before the Shell has
    // asked for it (it is asked here then).
    "until " GS_EVAL("if (!global.get_window_actors().every(a =>"
                     " a.meta_window.get_frame_rect().equal(global.display.get_monitor_geometry(0))))"
                     " { global.get_window_actors().forEach(a => a.meta_window.make_fullscreen());"
                     " throw new Error(); }") " >/dev/null; do sleep 0.05; done; "
    GS_APPEL "Shell.Screenshot -o /org/gnome/Shell/Screenshot -m org.gnome.Shell.Screenshot.Screenshot "
    "false false \"$VORNA_CAPTURE\" | grep -q '^(true'",
    GS_EVAL("global.get_window_actors().forEach(a => a.meta_window.delete(global.get_current_time()))"),
    GS_EVAL("global.get_window_actors().map(a => a.meta_window.get_wm_class()).join()")
    " | sed \"s/^(true, '\\\"\\(.*\\)\\\"')$/\\1/\"",
    "",
    GS_EVAL("global.vornaP.notify_absolute_motion(0, '\"$VORNA_X\"', '\"$VORNA_Y\"')"),
    GS_EVAL("for (const e of [1, 0]) global.vornaK.notify_key(0, '\"$VORNA_TOUCHE\"', e)"),
    GS_EVAL("global.get_window_actors().forEach(a => a.meta_window.minimize())"),
    false,
    false,
    false,
};
#endif

// The compositors installed here that can do what is asked.
inline std::vector<const compositeur_t *> compositeurs(bool (*peut)(const compositeur_t &)) {
    std::vector<const compositeur_t *> v;
    for (const compositeur_t *c : {
             &WESTON_,
#ifdef SWAY
             &SWAY_,
#endif
#ifdef GNOME_SHELL
             &GNOME_,
#endif
#ifdef KWIN
             &KWIN_,
#endif
         }) {
        if (peut(*c)) {
            v.push_back(c);
        }
    }
    return v;
}

// The sockets a compositor has made in its runtime folder: the one clients
// take, and the one of the compositor it runs in (the same when it runs
// alone); the first empty until it is up. sway's command socket is neither.
inline std::pair<std::string, std::string> prises(const compositeur_t &c,
                                                  const std::string &dossier) {
    std::string client;
    std::string hote;
    std::error_code erreur;
    for (const auto &f : std::filesystem::directory_iterator(dossier, erreur)) {
        const std::string nom = f.path().filename();
        if (f.is_socket() && nom != "sway.sock") {
            (nom == c.prise || *c.prise == '\0' ? client : hote) = nom;
        }
    }
    return {client, hote.empty() ? client : hote};
}
