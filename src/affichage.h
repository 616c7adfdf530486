// What the desktop's display offers, looked at before SDL starts, so that
// vorna asks SDL for the way that suits it.
#pragma once

// In a Wayland session (GNOME, Plasma, sway) both DISPLAY and
// WAYLAND_DISPLAY are set, and SDL chooses between them by rules of its
// own: SDL 2 takes X11 whenever DISPLAY is set, SDL 3 Wayland where the
// compositor offers wp_fifo_v1. vorna chooses by what the window will get.
// The video drivers to ask SDL for, in order: Wayland first where a window
// on the compositor will have a frame, drawn by the compositor
// (xdg-decoration) or by a libdecor plugin; X11 first where it would have
// none, no title bar, no close button and no way to be moved, since the
// desktop frames every X11 window. Null where the user has chosen a video
// driver, or where there are not both displays to choose from.
const char *pilotes_voulus();
