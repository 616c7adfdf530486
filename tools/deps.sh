#!/usr/bin/env bash
# What a make target needs. On Debian (apt and dpkg present) it installs the
# missing packages, and only those, so that a fresh machine can build and
# test. Elsewhere it checks what is there, says nothing when all is, and
# otherwise names what is missing with the packages that bring it on Fedora
# (dnf), Arch (pacman) and openSUSE (zypper), and fails.
set -euo pipefail

cible=${1:-}
case "$cible" in
build | package | test | demo | bench | platforms) ;;
*)
    echo "usage: $0 build|package|test|demo|bench|platforms" >&2
    exit 2
    ;;
esac

# Each need: how to tell it is there (cmd:NAME, pc:MODULE for pkg-config,
# lib:SONAME for the dynamic linker's cache, file:PATH for a data file),
# the Debian package, then the Fedora, Arch and openSUSE ones.
besoins=(
    "cmd:cmake        cmake            cmake                 cmake             cmake"
    "cmd:make         make             make                  make              make"
    "cmd:g++          g++              gcc-c++               gcc               gcc-c++"
    "cmd:pkg-config   pkg-config       pkgconf-pkg-config    pkgconf           pkgconf-pkg-config"
    "pc:sdl2          libsdl2-dev      SDL2-devel            sdl2-compat       SDL2-devel"
    "pc:wayland-client libwayland-dev  wayland-devel         wayland           wayland-devel"
    "pc:xcb           libxcb1-dev      libxcb-devel          libxcb            libxcb-devel"
    "pc:wayland-scanner libwayland-bin wayland-devel         wayland           wayland-devel"
    "pc:wayland-protocols wayland-protocols wayland-protocols-devel wayland-protocols wayland-protocols-devel"
)
essais=(
    "pc:gtest                 libgtest-dev        gtest-devel           gtest             gtest"
    "pc:x11                   libx11-dev          libX11-devel          libx11            libX11-devel"
    "pc:xtst                  libxtst-dev         libXtst-devel         libxtst           libXtst-devel"
    "pc:xscrnsaver            libxss-dev          libXScrnSaver-devel   libxss            libXss-devel"
    "cmd:dbus-daemon          dbus-daemon         dbus-daemon           dbus              dbus-1-daemon"
    "cmd:dbus-monitor         dbus-bin            dbus-tools            dbus              dbus-1-tools"
    "cmd:setxkbmap            x11-xkb-utils       setxkbmap             xorg-setxkbmap    setxkbmap"
    "cmd:ibus-daemon          ibus                ibus                  ibus              ibus"
    "file:/usr/share/ibus/component/libpinyin.xml ibus-libpinyin ibus-libpinyin ibus-libpinyin ibus-libpinyin"
    "cmd:Xvfb                 xvfb                xorg-x11-server-Xvfb  xorg-server-xvfb  xorg-x11-server-Xvfb"
    "lib:libGLX_mesa.so.0     libgl1-mesa-dri     mesa-dri-drivers      mesa              Mesa-dri"
    "cmd:clang-format         clang-format        clang-tools-extra     clang             clang-tools"
    "cmd:desktop-file-validate desktop-file-utils desktop-file-utils    desktop-file-utils desktop-file-utils"
    "cmd:xmllint              libxml2-utils       libxml2               libxml2           libxml2-tools"
    "cmd:appstreamcli         appstream           appstream             appstream         AppStream"
    "cmd:man                  man-db              man-db                man-db            man"
    "cmd:file                 file                file                  file              file"
)
# A Debian package is built with dpkg's tools; the install test builds and
# checks one only where they are, as on Debian.
paquet=(
    "cmd:dpkg-shlibdeps       dpkg-dev            dpkg                  dpkg              dpkg"
    "cmd:file                 file                file                  file              file"
)
lintian="cmd:lintian lintian lintian lintian lintian"

voulus=("${besoins[@]}")
case "$cible" in
package) voulus+=("${paquet[@]}") ;;
test | demo | bench) voulus+=("${essais[@]}") ;;
platforms) voulus=("cmd:debootstrap debootstrap debootstrap debootstrap debootstrap"
    "cmd:git git git git git") ;;
esac
[ "$cible" = demo ] && voulus+=("cmd:convert imagemagick ImageMagick imagemagick ImageMagick")
[ "$cible" = bench ] && voulus+=("cmd:valgrind valgrind valgrind valgrind valgrind"
    "cmd:weston weston weston weston weston")

if command -v apt-get >/dev/null && command -v dpkg-query >/dev/null; then
    [ "$cible" = test ] && voulus+=("${paquet[@]}" "$lintian")
    manquants=()
    for b in "${voulus[@]}"; do
        read -r _ debian _ <<<"$b"
        if ! dpkg-query -W -f='${Status}' "$debian" 2>/dev/null | grep -q 'install ok installed'; then
            manquants+=("$debian")
        fi
    done
    [ ${#manquants[@]} -eq 0 ] && exit 0
    sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    echo "Installing: ${manquants[*]}"
    "${sudo[@]}" apt-get update -qq
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -qq --no-install-recommends "${manquants[@]}"
    exit 0
fi

present() {
    case "$1" in
    cmd:*) command -v "${1#cmd:}" >/dev/null ;;
    pc:*) command -v pkg-config >/dev/null && pkg-config --exists "${1#pc:}" ;;
    # grep reads the whole cache: with -q it would stop at the first match
    # and, under pipefail, ldconfig killed writing the rest (SIGPIPE) would
    # count the library as missing.
    lib:*) "$(command -v ldconfig || echo /sbin/ldconfig)" -p 2>/dev/null | grep "${1#lib:} " >/dev/null ;;
    file:*) [ -e "${1#file:}" ] ;;
    esac
}

quoi=() dnf=() pacman=() zypper=()
for b in "${voulus[@]}"; do
    read -r essai _ f a o <<<"$b"
    if ! present "$essai"; then
        case "$essai" in
        pc:*) quoi+=("${essai#pc:} (development files)") ;;
        *) quoi+=("${essai#*:}") ;;
        esac
        dnf+=("$f")
        pacman+=("$a")
        zypper+=("$o")
    fi
done
[ ${#quoi[@]} -eq 0 ] && exit 0

{
    echo "make $cible needs what this system lacks:"
    printf '  %s\n' "${quoi[@]}"
    echo "Install it with your package manager, then run make $cible again:"
    echo "  Fedora:   sudo dnf install ${dnf[*]}"
    echo "  Arch:     sudo pacman -S --needed ${pacman[*]}"
    echo "  openSUSE: sudo zypper install ${zypper[*]}"
} >&2
exit 1
