// What the desktop's display offers, looked at before SDL starts, so that
// vorna asks SDL for the way that suits it.
#pragma once

// In a Wayland session (GNOME, Plasma, sway) both DISPLAY and
// WAYLAND_DISPLAY are set, and SDL 2 takes X11, through XWayland, whenever
// DISPLAY is: the window is then drawn at a fraction of a scaled screen's
// resolution and copied once more by XWayland. True when vorna should ask
// SDL for Wayland first: the user has chosen no video driver, both
// displays are there, and a window on the Wayland compositor will have a
// frame, drawn by the compositor (xdg-decoration) or by a libdecor plugin.
// Without a frame it would have no title bar, no close button and no way
// to be moved: X11 stays first, where the desktop frames every window.
bool wayland_d_abord();
