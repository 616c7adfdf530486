#!/usr/bin/env bash
# make test-platforms: the suite on the stacks users have beyond this
# machine, in a Debian 13 root built with debootstrap (kept between runs):
#   a. make test there: GCC 14, SDL 2.32, Mesa 25, both builds;
#   b. both builds' suites again on SDL 3 through sdl2-compat, chosen with
#      SDL_DYNAMIC_API;
#   c. native Wayland on headless compositors, weston, sway, GNOME Shell
#      and KWin (nested in sway), for both SDL flavours (the Wayland tests
#      of the suite, built where they are).
# Prints a table, stack by check, and exits non-zero on any failure.
# With "bench [ROUNDS]" (make bench), it measures native Wayland there
# instead, on both SDL flavours, and prints the tables.
set -euo pipefail
mode=${1:-test}
tours=${2:-3}
soi=$(readlink -f "$0")
cd "$(dirname "$soi")/.."
source=$PWD

if [ "$(id -u)" -ne 0 ]; then
    echo "make test-platforms needs root: it builds a Debian 13 root with debootstrap" >&2
    echo "and runs the suite in it through chroot. Run it as root (sudo make test-platforms)." >&2
    exit 2
fi
# The Debian archive: the one given, or the one this machine's apt uses.
miroir=${VORNA_DEBIAN_MIRROR:-$(tools/archive.sh || true)}
if [ -z "$miroir" ]; then
    echo "make test-platforms found no Debian archive in apt's sources (/etc/apt)." >&2
    echo "Name one: VORNA_DEBIAN_MIRROR=http://your.mirror/debian make test-platforms" >&2
    exit 2
fi
# The mounts the root needs live in a mount namespace of this run's own, so
# that they go away with it, however it ends. That cannot be had where / is
# not a mount point (inside a chroot): there, they are undone on exit.
if [ -z "${VORNA_PLATFORMS_NS:-}" ] && unshare --mount --propagation private true 2>/dev/null; then
    exec env VORNA_PLATFORMS_NS=1 unshare --mount --propagation private "$soi" "$@"
fi
tools/deps.sh platforms

cache=${VORNA_PLATFORMS_CACHE:-/var/cache/vorna}
racine=$cache/trixie
compat=/usr/lib/x86_64-linux-gnu/sdl2-compat/libSDL2-2.0.so.0
# Beyond what make test installs for itself: SDL 3 and sdl2-compat, the
# compositors (KWin with its Breeze decorations, as every Plasma desktop
# has them) and their XWayland, the libdecor plugin that frames windows
# where the compositor does not (GNOME's), what captures sway's output,
# what the Wayland tests read captures with, and the keymaps of the test's
# own keyboard.
paquets=(libsdl2-compat libsdl3-0 weston sway grim libpng-dev libxkbcommon-dev gnome-shell
    kwin-wayland kwin-style-breeze xwayland libdecor-0-plugin-1-gtk)
debut_total=$SECONDS
durees=()
chrono() { # name, start
    durees+=("$(printf '%-44s %4d s' "$1" $((SECONDS - $2)))")
}

# 1. The root: made once, then brought up to date.
t=$SECONDS
if [ ! -f "$racine/.vorna-pret" ]; then
    echo "== Building the Debian 13 root in $racine" >&2
    rm -rf "$racine" "$racine.neuf"
    mkdir -p "$cache"
    debootstrap --variant=minbase --include=make,ca-certificates trixie "$racine.neuf" "$miroir" \
        >"$cache/debootstrap.log" 2>&1 || {
        tail -20 "$cache/debootstrap.log" >&2
        echo "debootstrap failed; its log is $cache/debootstrap.log" >&2
        exit 1
    }
    mv "$racine.neuf" "$racine"
    touch "$racine/.vorna-pret"
fi
chrono "Debian 13 root (debootstrap, cached)" "$t"

demonte() {
    local m
    for m in tmp dev sys proc; do
        if mountpoint -q "$racine/$m"; then
            umount -R -l "$racine/$m"
        fi
    done
}
trap demonte EXIT
demonte
mount -t proc proc "$racine/proc"
mount -t sysfs sys "$racine/sys"
mount --rbind /dev "$racine/dev"
mount -t tmpfs tmpfs "$racine/tmp"
# Where X servers (the compositors' XWayland) put their sockets, as every
# system has it.
mkdir -m 1777 "$racine/tmp/.X11-unix"
cp /etc/resolv.conf "$racine/etc/resolv.conf"
# A minimal root has no machine id; D-Bus and IBus need one, as every
# installed system has.
[ -s "$racine/etc/machine-id" ] || tr -d - </proc/sys/kernel/random/uuid >"$racine/etc/machine-id"
dans() { # runs a command line in the root, as root, in a clean environment
    chroot "$racine" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin \
        LANG=C.UTF-8 CI="${CI:-}" /bin/bash -c "$1"
}

t=$SECONDS
echo "== Installing ${paquets[*]} in the root" >&2
installe="DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends ${paquets[*]}"
# Package lists older than a day are refreshed; a failed install is retried
# on fresh lists.
if [ -z "$(find "$racine/var/lib/apt/lists" -maxdepth 1 -name '*Packages*' -mtime -1)" ]; then
    dans "apt-get update -qq" >/dev/null
fi
dans "$installe" >/dev/null 2>&1 || { dans "apt-get update -qq" >/dev/null && dans "$installe" >/dev/null; }
chrono "packages for SDL 3 and Wayland" "$t"

# 2. This tree, as git sees it (committed or not, ignored files left out).
journaux=$racine/root/journaux
rm -rf "$racine/root/vorna" "$journaux"
mkdir -p "$racine/root/vorna" "$journaux"
git -C "$source" ls-files -z --cached --others --exclude-standard |
    tar -C "$source" --null -T - -cf - | tar -C "$racine/root/vorna" -xf -

if [ "$mode" = bench ]; then
    dans "cd /root/vorna && tools/deps.sh bench && cmake -S . -B build -DBUILD_TESTING=ON &&
        cmake --build build -j \$(nproc) --target vorna vorna_reference vorna_banc" \
        >"$journaux/bench-build.log" 2>&1 || {
        tail -20 "$journaux/bench-build.log" >&2
        exit 1
    }
    v() { dans "dpkg-query -W -f='\${Version}' $1"; }
    echo "Debian $(cat "$racine/etc/debian_version"); weston $(v weston); SDL $(v libsdl2-2.0-0);"
    echo "SDL 3 $(v libsdl3-0) through sdl2-compat $(v libsdl2-compat); Mesa $(v libgl1-mesa-dri);"
    echo "sway $(v sway); GNOME Shell $(v gnome-shell); KWin $(v kwin-wayland)."
    for saveur in "SDL 2.32|" "SDL 3 through sdl2-compat|SDL_DYNAMIC_API=$compat"; do
        printf '\n#### %s\n\n' "${saveur%%|*}"
        dans "cd /root/vorna/build && ${saveur#*|} bench/vorna_banc --wayland ./vorna \
            bench/vorna_reference $tours" || true
    done
    exit 0
fi

# a. make test, as the README says, warnings as errors.
t=$SECONDS
echo "== make test on Debian 13 (SDL 2.32)"
dans "cd /root/vorna && make test WERROR=ON" >"$journaux/make-test.log" 2>&1 && make_test=0 || make_test=$?
chrono "a. make test, SDL 2.32, both builds" "$t"

# b. The same builds on SDL 3 through sdl2-compat.
t=$SECONDS
echo "== The suites on SDL 3 through sdl2-compat"
for b in build build-asan; do
    if [ -d "$racine/root/vorna/$b" ]; then
        # No display: the program starts SDL, fails, and the loader's log
        # says which libraries it brought in.
        dans "cd /root/vorna/$b && SDL_DYNAMIC_API=$compat LD_DEBUG=libs ./vorna" \
            >"$journaux/sdl3-$b.log" 2>&1 || true
        dans "cd /root/vorna/$b && SDL_DYNAMIC_API=$compat ctest -j \$(nproc) --output-on-failure" \
            >"$journaux/compat-$b.log" 2>&1 || true
    fi
done
chrono "b. both suites, SDL 3 via sdl2-compat" "$t"

# The table. Each suite's log is split at the ctest run of each build.
awk '/^cd build-asan && ctest/ { f = 1 } { print > (f ? d "/asan.log" : d "/plain.log") }' \
    d="$journaux" "$journaux/make-test.log"
reussis=0 echecs=0
ligne() { # stack, check, plain, sanitizers
    printf '%-34s %-38s %-16s %s\n' "$1" "$2" "$3" "$4"
    for r in "$3" "$4"; do
        case "$r" in
        pass*) reussis=$((reussis + 1)) ;;
        FAIL*) echecs=$((echecs + 1)) ;;
        esac
    done
}
# Result of the tests whose names match a pattern in a ctest log:
# "pass", "FAIL (n of m)", or "FAIL (not run)".
resultat() { # log, pattern (extended regex on test names), invert (non-empty: the others)
    local log=$1 motif=$2 inverse=${3:-}
    [ -f "$log" ] || {
        echo "FAIL (not run)"
        return
    }
    awk -v motif="$motif" -v inverse="$inverse" '
        / Test +#[0-9]+: / {
            nom = $0; sub(/.* Test +#[0-9]+: /, "", nom); sub(/ \.+.*/, "", nom)
            if ((nom ~ motif) == (inverse == "")) { n++; if ($0 !~ / Passed /) f++ }
        }
        END {
            if (n == 0) print "FAIL (not run)"
            else if (f > 0) printf "FAIL (%d of %d)\n", f, n
            else if (n > 1) printf "pass (%d tests)\n", n
            else print "pass"
        }' "$log"
}
compile() { # build directory: did everything compile, warnings being errors?
    local b=$racine/root/vorna/$1 f
    for f in vorna tests/vorna_tests tests/vorna_bout_en_bout tests/vorna_wayland; do
        [ -x "$b/$f" ] || {
            echo "FAIL (no $1/$f)"
            return
        }
    done
    echo pass
}

# The Wayland tests' names, on both ways.
wayland='^(gpu:)?(Compositeurs|Pilotes|Redimensionnes|CartesDeTouches|Caches)/'
echo
echo "Platforms ($(date -u '+%Y-%m-%d %H:%M UTC'); logs in $journaux)"
ligne "Stack" "Check" "Plain build" "Sanitizer build"
ligne "Debian 13: GCC 14, SDL 2.32, X11" "compiles with -Werror" \
    "$(compile build)" "$(compile build-asan)"
ligne "" "suite on X11 and in-process" \
    "$(resultat "$journaux/plain.log" "$wayland" inverse)" \
    "$(resultat "$journaux/asan.log" "$wayland" inverse)"
sdl3() { # build directory: did SDL_DYNAMIC_API bring in SDL 3?
    if grep -q 'calling init: .*libSDL3' "$journaux/sdl3-$1.log" 2>/dev/null; then echo pass; else
        echo "FAIL (libSDL3 not loaded)"
    fi
}
ligne "Debian 13: SDL 3 via sdl2-compat" "SDL_DYNAMIC_API loads SDL 3" "$(sdl3 build)" "$(sdl3 build-asan)"
ligne "" "suite on X11 and in-process" \
    "$(resultat "$journaux/compat-build.log" "$wayland" inverse)" \
    "$(resultat "$journaux/compat-build-asan.log" "$wayland" inverse)"
# A row a compositor and SDL: its tests' names, and what they verify there.
compositeurs=(
    "weston;/weston$;Wayland by default beside XWayland, X11 without libdecor plugins or when asked, version, trails growing, app id, signals, compositor lost, renderer failure, 200 %"
    "sway;(/sway|^(gpu:)?CartesDeTouches/.*)$;the same but Wayland without plugins, trails on X11, 150 %, app id as sway reports it, its close request, a hidden window, pointer, N P Space Escape Q, output resized, us fr ru gr dvorak bepo colemak keymaps"
    "gnome;/gnome$;weston's cases, app id as the Shell reports it, its close request, a hidden window, pointer, N P Space Escape"
    "kwin;/kwin$;weston's cases but Wayland without plugins, trails on X11, its close request, a hidden window, pointer, N P Space Escape"
)
for saveur in "SDL 2.32" "SDL 3"; do
    if [ "$saveur" = "SDL 2.32" ]; then p=$journaux/plain.log a=$journaux/asan.log; else
        p=$journaux/compat-build.log a=$journaux/compat-build-asan.log
    fi
    pile="Debian 13: Wayland, $saveur"
    for c in "${compositeurs[@]}"; do
        IFS=';' read -r nom motif _ <<<"$c"
        ligne "$pile" "on $nom (its cases below)" "$(resultat "$p" "$motif")" "$(resultat "$a" "$motif")"
        pile=""
    done
done
echo "Wayland cases, each on both ways:"
for c in "${compositeurs[@]}"; do
    IFS=';' read -r nom _ verifie <<<"$c"
    printf '  %-8s %s\n' "$nom" "$verifie"
done

chrono "all of make test-platforms" "$debut_total"
echo
echo "Times:"
printf '  %s\n' "${durees[@]}"
echo
echo "platforms: $reussis passed, $echecs failed"
if [ "$make_test" -ne 0 ] || [ "$echecs" -ne 0 ]; then
    echo "make test in the root exited with $make_test; logs in $journaux" >&2
    exit 1
fi
