#!/usr/bin/env bash
# Installs the build into a scratch prefix and packages it, then checks what
# a user would get: every file in place, a launcher, a software centre entry
# and a manual page that their tools accept, and a Debian package that
# lintian finds no error in.
# Usage: installation.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source=$2
id=org.example.vorna
source "$(dirname "$0")/commun.sh"

cmake --install "$build" --prefix "$tmp/prefix" >/dev/null
lanceur=share/applications/$id.desktop
metainfo=share/metainfo/$id.metainfo.xml
fichiers=(bin/vorna "$lanceur" share/icons/hicolor/scalable/apps/$id.svg "$metainfo"
    share/man/man6/vorna.6.gz share/doc/vorna/copyright share/doc/vorna/changelog.gz)
for f in "${fichiers[@]}"; do
    [ -f "$tmp/prefix/$f" ] || echoue "not installed: $f"
done
[ -x "$tmp/prefix/bin/vorna" ] || echoue "bin/vorna is not executable"

# The installed program is the real one: version line, then SDL's failure.
sortie=$(SDL_VIDEODRIVER=pilote_inexistant "$tmp/prefix/bin/vorna" 2>/dev/null) && statut=0 || statut=$?
[ "$statut" -eq 1 ] || echoue "installed vorna exited with $statut, not 1, without a video driver"
[[ "$sortie" == "Version de la SDL : "* ]] || echoue "installed vorna printed '$sortie'"

avis=$(desktop-file-validate "$tmp/prefix/$lanceur" 2>&1) || echoue "desktop-file-validate failed"
[ -z "$avis" ] || echoue "desktop-file-validate: $avis"
grep -qx 'Exec=vorna' "$tmp/prefix/$lanceur" || echoue "launcher does not run vorna"
grep -qx "Icon=$id" "$tmp/prefix/$lanceur" || echoue "launcher does not name the icon $id"
xmllint --noout "$tmp/prefix/share/icons/hicolor/scalable/apps/$id.svg" || echoue "icon is not well-formed SVG"

# Software centres: the entry validates cleanly (infos are advice, not
# faults), names the installed launcher, and its screenshot is the one kept
# in docs/.
avis=$(appstreamcli validate --no-net "$tmp/prefix/$metainfo" 2>&1) || echoue "appstreamcli validate failed: $avis"
grep -E '^ *[EW]: ' <<<"$avis" && echoue "appstreamcli validate: $avis"
avis=$(appstreamcli validate-tree --no-net "$tmp/prefix" 2>&1) || echoue "appstreamcli validate-tree: $avis"
lance=$(sed -n 's|.*<launchable type="desktop-id">\(.*\)</launchable>.*|\1|p' "$tmp/prefix/$metainfo")
[ "$lance" = "$id.desktop" ] && [ -f "$tmp/prefix/share/applications/$lance" ] ||
    echoue "the entry launches '$lance', not the installed launcher $id.desktop"
images=$(sed -n 's|.*<image>.*/docs/\(.*\)</image>.*|\1|p' "$tmp/prefix/$metainfo")
[ -n "$images" ] || echoue "the entry has no screenshot from docs/"
for image in $images; do
    [ "$(file -b --mime-type "$source/docs/$image" 2>&1)" = image/png ] ||
        echoue "screenshot docs/$image is not a PNG in the source tree"
done
avis=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$tmp/prefix/share/man/man6/vorna.6.gz" 2>&1 >/dev/null)
[ -z "$avis" ] || echoue "manual page: $avis"

# The Debian package, where dpkg's tools are (always on Debian, where
# make test installs them).
if ! command -v dpkg-shlibdeps >/dev/null || ! command -v lintian >/dev/null; then
    echo "dpkg-shlibdeps or lintian missing: the Debian package is not checked"
    [ "$echecs" -eq 0 ]
    exit
fi
# Time stamps from the source alone: the clock must not reach the package.
paquete() { # build dir, output dir
    env -u SOURCE_DATE_EPOCH cpack --config "$1/CPackConfig.cmake" -B "$2" >/dev/null
}
paquete "$build" "$tmp/paquet"
deb=$(echo "$tmp"/paquet/vorna_*.deb)
[ -f "$deb" ] || { echoue "no package built"; exit 1; }
# One source, one package: the same tree built again in another folder and
# packaged later gives the same bytes.
type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt")
cmake -S "$source" -B "$tmp/autre" -DCMAKE_BUILD_TYPE="$type" -DBUILD_TESTING=OFF >/dev/null
cmake --build "$tmp/autre" -j "$(nproc)" >/dev/null
sleep 1
paquete "$tmp/autre" "$tmp/autre/paquet"
cmp -s "$deb" "$tmp"/autre/paquet/vorna_*.deb ||
    echoue "the same tree built in two folders gives two packages that differ"
contenu=$(dpkg-deb -c "$deb" | awk '{print $NF}')
for f in "${fichiers[@]}"; do
    grep -qx "./usr/$f" <<<"$contenu" || echoue "not in the package: /usr/$f"
done
grep -q 'libsdl2-2.0-0' <<<"$(dpkg-deb -f "$deb" Depends)" || echoue "package does not depend on SDL2"
erreurs=$(lintian --no-tag-display-limit "$deb" 2>/dev/null | grep '^E:' || true)
[ -z "$erreurs" ] || echoue "lintian: $erreurs"

[ "$echecs" -eq 0 ]
