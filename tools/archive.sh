#!/usr/bin/env bash
# Prints the Debian archive this machine's apt already uses, for debootstrap
# to build other Debian releases from: the first source, in apt's own order
# (sources.list, then sources.list.d by name), that is a binary ("deb")
# source of a Debian suite, is not disabled and is not a security archive.
# Reads both source formats: one-line (.list) and deb822 (.sources).
# Exits 1, printing nothing, when there is none.
# Usage: archive.sh [APT_ETC_DIR]   (default: apt's own, /etc/apt)
set -euo pipefail

etc=${1:-}
if [ -z "$etc" ]; then
    etc=/etc/apt
    if command -v apt-config >/dev/null; then
        eval "$(apt-config shell etc Dir::Etc/d)"
    fi
fi

# Debian's release names and aliases; a suite such as bookworm-updates is
# its release's. Security archives (bookworm-security) hold updates only,
# and other distributions' archives (Ubuntu's, a vendor's) none of these
# suites: neither can build a Debian root.
debian='^(buzz|rex|bo|hamm|slink|potato|woody|sarge|etch|lenny|squeeze|wheezy|jessie|stretch|buster|bullseye|bookworm|trixie|forky|duke|sid|stable|testing|unstable|oldstable|oldoldstable)(-updates|-backports|-proposed-updates)?$'

# Prints "URI SUITE" for each binary source, one per line, in file order.
une_ligne() { # .list file
    sed -e 's/#.*//' -e 's/\[[^]]*\]//g' "$1" | awk '$1 == "deb" && NF >= 3 { print $2, $3 }'
}
deb822() { # .sources file
    awk '
        function fin() {
            if (types ~ /(^| )deb( |$)/ && tolower(actif) != "no")
                for (i = 1; i <= nu; i++) for (j = 1; j <= ns; j++) print u[i], s[j]
            types = ""; actif = ""; nu = 0; ns = 0; champ = ""
        }
        /^[ \t]*#/ { next }
        /^[ \t]*$/ { fin(); next }
        /^[ \t]/ { v = $0 }  # a field continued on the next line
        /^[A-Za-z-]+:/ { champ = tolower($0); sub(/:.*/, "", champ); v = $0; sub(/^[^:]*:/, "", v) }
        {
            n = split(v, mots, /[ \t]+/)
            for (k = 1; k <= n; k++) {
                if (mots[k] == "") continue
                if (champ == "types") types = types " " mots[k] " "
                else if (champ == "uris") u[++nu] = mots[k]
                else if (champ == "suites") s[++ns] = mots[k]
                else if (champ == "enabled") actif = mots[k]
            }
        }
        END { fin() }' "$1"
}

sources() {
    local f
    [ -f "$etc/sources.list" ] && une_ligne "$etc/sources.list"
    for f in "$etc"/sources.list.d/*; do
        case "$f" in
        *.list) une_ligne "$f" ;;
        *.sources) deb822 "$f" ;;
        esac
    done
}

while read -r uri suite; do
    case "$uri" in
    http://* | https://* | file:/*) ;;
    *) continue ;; # a method debootstrap cannot fetch from (mirror+, cdrom:, ...)
    esac
    if [[ $suite =~ $debian ]]; then
        echo "${uri%/}"
        exit 0
    fi
done < <(sources)
exit 1
