#!/usr/bin/env bash
# Measures vorna against the bare reference loop, counts the instructions of
# the project's own code per frame, prints the results and writes them, with
# a description of the machine, into BENCHMARKS.md.
# Usage: bench/bench.sh BUILD_DIR [ROUNDS]
set -euo pipefail
build=$1
tours=${2:-5}
racine=$(cd "$(dirname "$0")/.." && pwd)
images=100

cg=$(mktemp)
trap 'rm -f "$cg" "$cg.err"' EXIT
mesures=$("$build/bench/vorna_banc" "$build/vorna" "$build/bench/vorna_reference" "$tours")

# Native Wayland where SDL runs on it: in the Debian 13 root that make
# test-platforms keeps, which needs root.
if [ "$(id -u)" -eq 0 ]; then
    wayland=$("$racine/tools/platforms.sh" bench "$tours" 2>"$cg.err") ||
        wayland="Not measured: the Debian 13 root could not be used: $(tail -3 "$cg.err")"
else
    wayland="Not measured: the Debian 13 root it runs in is made and entered with debootstrap and
chroot, which need root; run \`sudo make bench\` for these figures."
fi

# Instructions, not seconds: the same count on any run of the same binary.
valgrind --tool=callgrind --callgrind-out-file="$cg" --toggle-collect='scene_image(scene_t&)' \
    "$build/bench/vorna_images" "$images" >/dev/null 2>&1
annotation=$(callgrind_annotate --inclusive=no --auto=no --threshold=100 "$cg")
somme() { awk '{gsub(",", "", $1); s += $1} END {printf "%d", s}'; }
total=$(grep 'PROGRAM TOTALS' <<<"$annotation" | somme)
propre=$(grep -E 'src/(pave|toile)\.cpp:' <<<"$annotation" | somme)
libm=$(grep 'libm\.so' <<<"$annotation" | somme)
part() { awk -v a="$1" -v b="$total" 'BEGIN {printf "%.3f", 100 * a / b}'; }

cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')
memoire=$(awk '/MemTotal/ {printf "%.0f GiB", $2 / 1048576}' /proc/meminfo)
version() { dpkg-query -W -f='${Version}' "$1" 2>/dev/null || echo unknown; }

rapport=$(
    cat <<FIN
# Benchmarks

Made by \`make bench\` on $(date -u +%Y-%m-%d).

## Machine

- CPU: $cpu, $(nproc) cores; memory: $memoire
- System: Debian $(cat /etc/debian_version), Linux $(uname -r)
- SDL $(version libsdl2-2.0-0); Mesa $(version libgl1-mesa-dri) (llvmpipe, software OpenGL);
  Xvfb $(version xvfb)

## vorna against SDL loops that keep no canvas

Each program runs on a fresh virtual X server (Xvfb, Mesa's software
OpenGL) with the same window and renderer set-up, while the pointer follows
the same scripted path for seven seconds; medians of $tours interleaved rounds.
The floor shows SDL's window surface alone, with no renderer and no OpenGL:
the least an SDL window costs, which vorna's start-up and memory are set
against. Xvfb offers no GPU (no DRI3, DRI2 or NVIDIA's GLX): vorna, seeing
that before SDL starts, asks SDL for its software renderer and loads no
OpenGL; the references, which do not look, load it all. It runs once more
with \`SDL_RENDER_DRIVER=software\` set by hand, which must cost no more.
The bare reference presents every 50 ms and draws nothing; the second
reference also draws the ten cells straight to the window with vorna's own
drawing routine, so the difference between it and vorna is the canvas that
keeps the trails. vorna runs twice: as it chooses here, where OpenGL is a
software rasteriser (the canvas in its own memory, only the rectangles each
frame changed pushed to the window's shared-memory framebuffer), and forced
onto the way it takes where a GPU draws (\`SDL_FRAMEBUFFER_ACCELERATION=1\`:
a canvas texture copied whole to the window every frame).
Start-up runs from exec to the window's first present on screen; CPU is the
time the scheduler ran the process's threads (schedstat, to the nanosecond,
where user plus system time would come in 10 ms ticks), for the program and,
separately, for the X server, over the last six seconds of seven (the first
is left to the end of start-up); peak memory is the kernel's VmHWM; "OpenGL
mapped" says whether any OpenGL library (GL, EGL, Mesa's drivers, LLVM) was
in the process's memory map while it ran; Escape to exit runs from the key
press to the process being gone.

$mesures

## Native Wayland without a GPU, in a Debian 13 root

The reference drawing the cells and vorna both ways, each on a headless
weston of its own (pixman renderer, Mesa's llvmpipe for OpenGL), on SDL 2.32
and on SDL 3 through sdl2-compat. Without a GPU vorna keeps its canvas in
its own memory and brings it to the window in shared-memory buffers of its
own, damaging only the rectangles each frame changed; forced onto the GPU
way it copies a canvas texture whole every frame. weston, sway and KWin
drawing in software take no GPU buffers, and vorna loads no OpenGL there;
GNOME Shell takes them all the same, and vorna asks OpenGL what it is.
vorna's buffers are the shared memory it has mapped; weston's kiosk shows
windows full screen without a frame, and SDL is given no libdecor plugin
there (GTK's, installed for GNOME Shell, adds 16 MiB to any SDL program on
a compositor that does not frame windows; the weston rows of the second
table have it).

Then what a frame costs the compositor, on every compositor the tests run
on (weston, sway, GNOME Shell, and KWin nested in sway), against the loop
drawing the cells straight and a client that damages only a small moving
square. Where the loop costs its compositor less than vorna (sway, KWin in
sway), the compositor does not composite it: a single opaque surface that
fills a headless or nested output is handed to the output as it is
(wlroots logs "Direct scan-out enabled" for the loop, never for vorna),
which a display without a GPU cannot do with shared-memory buffers. vorna's
window is two surfaces, SDL's and its own over it, and its own leaves a unit
of SDL's uncovered: a surface hidden whole leaves its output in wlroots, and
SDL would no longer hear the output's scale. weston repaints the bounding
box of a sub-surface's damage rather than its rectangles, so cells far
apart cost the area between them; the window's own surface would keep the
rectangles, but SDL damages it whole at each frame the compositor draws.

$wayland

## Instructions per frame (callgrind)

$images frames of the scene on SDL's software renderer (dummy video driver,
1024 × 693 window, the canvas in memory as without a GPU), pointer moving,
counted by \`valgrind --tool=callgrind\` inside the frame function only:

| Code | Instructions per frame | Share of the frame |
|---|---:|---:|
| whole frame (SDL, its software renderer, libc, libm, ours) | $((total / images)) | 100% |
| this project's own code (\`src/pave.cpp\`, \`src/toile.cpp\`) | $((propre / images)) | $(part "$propre")% |
| libm (sine, cosine, square root, rounding), called by it | $((libm / images)) | $(part "$libm")% |
FIN
)
printf '%s\n' "$rapport" | tee "$racine/BENCHMARKS.md"
