#!/usr/bin/env bash
# tools/archive.sh on sample apt configurations, one per case, written to a
# temporary folder: which archive debootstrap is given, or none.
# Usage: archive.sh PATH_TO_TOOLS_ARCHIVE_SH
set -euo pipefail
outil=$1
source "$(dirname "$0")/commun.sh"
reussis=0

# case name, expected archive ("" for none), then FILE=CONTENT pairs.
cas() {
    local nom=$1 attendu=$2 etc=$tmp/$1 obtenu statut=0
    shift 2
    mkdir -p "$etc/sources.list.d"
    for f in "$@"; do
        printf '%s\n' "${f#*=}" >"$etc/${f%%=*}"
    done
    obtenu=$("$outil" "$etc") || statut=$?
    if [ "$obtenu" = "$attendu" ] && { [ -n "$attendu" ] || [ "$statut" -eq 1 ]; }; then
        reussis=$((reussis + 1))
    else
        echo "FAIL: $nom: expected '${attendu:-none, status 1}', got '$obtenu' (status $statut)"
        echecs=$((echecs + 1))
    fi
}

cas une_ligne http://miroir.example.org/debian \
    "sources.list=# a comment
deb-src http://sources.example.org/debian bookworm main
deb http://securite.example.org/debian-security bookworm-security main
deb [arch=amd64 signed-by=/usr/share/keyrings/d.gpg] http://miroir.example.org/debian/ bookworm main"

cas deb822 https://miroir.example.net/debian \
    "sources.list.d/debian.sources=Types: deb deb-src
URIs: http://securite.example.net/debian-security
Suites: bookworm-security
Components: main

Types: deb-src
URIs: http://sources.example.net/debian
Suites: trixie

Enabled: no
Types: deb
URIs: http://eteint.example.net/debian
Suites: trixie

# the archive itself, its URIs on a continued line
Types: deb
URIs:
 https://miroir.example.net/debian
Suites: trixie trixie-updates
Components: main"

# sources.list comes before sources.list.d, whose files go by name.
cas ordre_d_apt http://premier.example.org/debian \
    "sources.list.d/b.list=deb http://second.example.org/debian sid main" \
    "sources.list.d/a.sources=Types: deb
URIs: http://premier.example.org/debian
Suites: stable
Components: main"

# Vendors' archives on a Debian machine are not Debian's.
cas autres_depots http://miroir.example.org/debian \
    "sources.list.d/a-node.sources=Types: deb
URIs: https://node.example.com/node_20.x
Suites: nodistro
Components: main" \
    "sources.list.d/b-cloud.list=deb https://cloud.example.com/apt cloud-sdk-bookworm main" \
    "sources.list.d/c-old.list.disabled=deb http://ancien.example.org/debian bookworm main" \
    "sources.list.d/d.list=deb mirror+file:/etc/apt/mirrors.txt bookworm main
deb http://miroir.example.org/debian bookworm-updates main"

cas securite_seule "" \
    "sources.list=deb http://security.example.org/debian-security bookworm-security main"
cas ubuntu "" \
    "sources.list=deb http://archive.example.com/ubuntu noble main universe"
cas vide ""

echo "archive: $reussis passed, $echecs failed"
[ "$echecs" -eq 0 ]
