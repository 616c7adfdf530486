// What the desktop's display offers, looked at before SDL starts, so that
// vorna asks SDL for the way that suits it.
#pragma once

// Tells SDL, through its environment, what suits the display at hand. Each
// setting is a default the user's own environment overrides.
//
// The video driver. In a Wayland session (GNOME, Plasma, sway) both
// DISPLAY and WAYLAND_DISPLAY are set, and SDL chooses between them by
// rules of its own: SDL 2 takes X11 whenever DISPLAY is set, SDL 3 Wayland
// where the compositor offers wp_fifo_v1. vorna asks for Wayland first
// where a window on the compositor will have a frame, drawn by the
// compositor (xdg-decoration) or by a libdecor plugin, and for X11 first
// where it would have none (no title bar, no close button, no way to be
// moved), since the desktop frames every X11 window.
//
// The renderer. Where the display SDL will reach can only give OpenGL
// through Mesa's software rasteriser (an X server without DRI3, DRI2 or
// NVIDIA's GLX, a compositor that takes no GPU buffers, or
// LIBGL_ALWAYS_SOFTWARE), SDL is told to use its own software renderer
// and the window's framebuffer in memory: OpenGL would cost tens of
// megabytes and a slower start for nothing, and its libraries cannot be
// unloaded once they are. Where the display offers a GPU, or cannot tell,
// SDL's accelerated renderer is left to say what it is.
void affichage_reglages();
