#!/usr/bin/env bash
# tools/deps.sh on a system without apt or dpkg, as on Fedora, Arch or
# openSUSE: silent success when everything is there, and otherwise a failure
# that names what is missing and the packages to install.
# Usage: dependances.sh PATH_TO_DEPS_SH (run where make test's needs are met)
set -euo pipefail
deps=$1
source "$(dirname "$0")/commun.sh"

# A PATH with every command of this one but apt's and dpkg's...
base=$tmp/bin
mkdir -p "$base"
IFS=: read -ra dossiers <<<"$PATH"
for d in "${dossiers[@]}"; do
    for f in "$d"/*; do
        if [ -x "$f" ] && [ ! -e "$base/${f##*/}" ]; then
            ln -s "$f" "$base/${f##*/}"
        fi
    done
done
rm -f "$base"/apt* "$base"/dpkg*
# ...and a library cache as long as a desktop's, the libraries sought listed
# long before its end.
vrai=$(command -v ldconfig || echo /sbin/ldconfig)
rm -f "$base/ldconfig"
cat >"$base/ldconfig" <<FIN
#!/bin/sh
"$vrai" "\$@" || exit
seq -f '	libremplissage%g.so (libc6,x86-64) => /nulle/part' 20000
FIN
chmod +x "$base/ldconfig"
# ...and one for each case, less the commands named.
chemin_sans() {
    local bin=$tmp/$1
    shift
    cp -a "$base" "$bin"
    for nom in "$@"; do
        rm -f "$bin/$nom"
    done
    echo "$bin"
}

# target | commands hidden | pkg-config modules hidden (all or none) |
# status | what the message must name
cas=(
    "test||non|0|"
    "build|Xvfb clang-format|non|0|"
    "test|Xvfb cmake|non|1|Xvfb cmake xorg-x11-server-Xvfb xorg-server-xvfb"
    "build||oui|1|sdl2 SDL2-devel sdl2-compat wayland-protocols wayland-protocols-devel"
    "test||oui|1|sdl2 gtest x11 xtst gtest-devel libXtst-devel libxtst"
    "demo|convert|non|1|convert ImageMagick imagemagick"
)
for c in "${cas[@]}"; do
    IFS='|' read -r cible caches sans_pc statut attendus <<<"$c"
    # shellcheck disable=SC2086 # the hidden commands are a list
    bin=$(chemin_sans "$cible-${caches// /-}-$sans_pc" $caches)
    env_pc=()
    [ "$sans_pc" = oui ] && env_pc=(PKG_CONFIG_LIBDIR="$tmp/vide" PKG_CONFIG_PATH="$tmp/vide")
    sortie=$(env PATH="$bin" "${env_pc[@]}" "$deps" "$cible" 2>&1) && s=0 || s=$?
    nom="deps.sh $cible, without apt and dpkg${caches:+, without $caches}${env_pc:+, without .pc files}"
    if [ "$statut" = 0 ]; then
        [ "$s" -eq 0 ] && [ -z "$sortie" ] || echoue "$nom: status $s, printed '$sortie'"
        continue
    fi
    [ "$s" -ne 0 ] || echoue "$nom: succeeded"
    for gestionnaire in "dnf install" "pacman -S" "zypper install"; do
        grep -q "$gestionnaire" <<<"$sortie" || echoue "$nom: no '$gestionnaire' line in '$sortie'"
    done
    for mot in $attendus; do
        grep -qw -- "$mot" <<<"$sortie" || echoue "$nom: '$mot' not named in '$sortie'"
    done
done

[ "$echecs" -eq 0 ]
