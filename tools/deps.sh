#!/usr/bin/env bash
# Installs the Debian packages that a make target needs, and only those that
# are missing, so that a fresh Debian 12 machine can build and test.
set -euo pipefail

case "${1:-}" in
build) paquets=(cmake make g++ pkg-config libsdl2-dev) ;;
package) paquets=(cmake make g++ pkg-config libsdl2-dev dpkg-dev file) ;;
test | demo | bench)
    paquets=(cmake make g++ pkg-config libsdl2-dev libgtest-dev clang-format
        xvfb xauth libgl1-mesa-dri libx11-dev libxtst-dev
        desktop-file-utils libxml2-utils appstream man-db lintian dpkg-dev file)
    [ "$1" = demo ] && paquets+=(imagemagick)
    [ "$1" = bench ] && paquets+=(valgrind)
    ;;
*)
    echo "usage: $0 build|package|test|demo|bench" >&2
    exit 2
    ;;
esac

manquants=()
for p in "${paquets[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        manquants+=("$p")
    fi
done
[ ${#manquants[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
echo "Installing: ${manquants[*]}"
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -qq --no-install-recommends "${manquants[@]}"
