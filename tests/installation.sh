#!/usr/bin/env bash
# Installs the build into a scratch prefix and packages it, then checks what
# a user would get: every file in place, a launcher and a manual page that
# their tools accept, and a Debian package that lintian finds no error in.
set -euo pipefail
build=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
echecs=0
echoue() {
    echo "FAIL: $*"
    echecs=$((echecs + 1))
}

cmake --install "$build" --prefix "$tmp/prefix" >/dev/null
fichiers=(bin/vorna share/applications/vorna.desktop share/icons/hicolor/scalable/apps/vorna.svg
    share/man/man6/vorna.6.gz share/doc/vorna/copyright share/doc/vorna/changelog.gz)
for f in "${fichiers[@]}"; do
    [ -f "$tmp/prefix/$f" ] || echoue "not installed: $f"
done
[ -x "$tmp/prefix/bin/vorna" ] || echoue "bin/vorna is not executable"

# The installed program is the real one: version line, then SDL's failure.
sortie=$(SDL_VIDEODRIVER=pilote_inexistant "$tmp/prefix/bin/vorna" 2>/dev/null) && statut=0 || statut=$?
[ "$statut" -eq 1 ] || echoue "installed vorna exited with $statut, not 1, without a video driver"
[[ "$sortie" == "Version de la SDL : "* ]] || echoue "installed vorna printed '$sortie'"

avis=$(desktop-file-validate "$tmp/prefix/share/applications/vorna.desktop" 2>&1) ||
    echoue "desktop-file-validate failed"
[ -z "$avis" ] || echoue "desktop-file-validate: $avis"
grep -qx 'Exec=vorna' "$tmp/prefix/share/applications/vorna.desktop" || echoue "launcher does not run vorna"
xmllint --noout "$tmp/prefix/share/icons/hicolor/scalable/apps/vorna.svg" || echoue "icon is not well-formed SVG"
avis=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$tmp/prefix/share/man/man6/vorna.6.gz" 2>&1 >/dev/null)
[ -z "$avis" ] || echoue "manual page: $avis"

cpack --config "$build/CPackConfig.cmake" -B "$tmp/paquet" >/dev/null
deb=$(echo "$tmp"/paquet/vorna_*.deb)
[ -f "$deb" ] || { echoue "no package built"; exit 1; }
contenu=$(dpkg-deb -c "$deb" | awk '{print $NF}')
for f in "${fichiers[@]}"; do
    grep -qx "./usr/$f" <<<"$contenu" || echoue "not in the package: /usr/$f"
done
grep -q 'libsdl2-2.0-0' <<<"$(dpkg-deb -f "$deb" Depends)" || echoue "package does not depend on SDL2"
erreurs=$(lintian --no-tag-display-limit "$deb" 2>/dev/null | grep '^E:' || true)
[ -z "$erreurs" ] || echoue "lintian: $erreurs"

[ "$echecs" -eq 0 ]
