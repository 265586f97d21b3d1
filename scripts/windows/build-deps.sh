#!/usr/bin/env bash
# Makes the Windows dependencies of Morvane from Debian's own sources, once per machine: installs
# the cross compiler, Wine and NSIS, adds a deb-src entry to apt's sources, fetches the source
# packages with apt-get source, and builds qtbase (deps-qtbase.sh, about 12 minutes on 2 quiet cores)
# and the smaller libraries (deps-libs.sh, about 2 minutes) into prefixes in a cache folder
# outside the clone, each named by a hash of its recipe: a prefix is built again only when it is
# missing or its recipe changed. Prints the prefixes as one CMake list on its last line.
#   MORVANE_WINDOWS_CACHE   the cache folder (/var/cache/morvane-windows)
#   MORVANE_JOBS            parallel jobs (2); the builds run under nice.
# Run as root (apt-get); the apt steps are skipped when everything is there already.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
cache=${MORVANE_WINDOWS_CACHE:-/var/cache/morvane-windows}
say() { echo "build-deps: $*" >&2; }

install_packages() {
    local wanted missing=()
    mapfile -t wanted < <(grep -v -E '^\s*(#|$)' "$here/../packages.txt")
    for p in "${wanted[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return
    say "installing ${missing[*]}"
    DEBIAN_FRONTEND=noninteractive apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
}

# apt-get source needs a deb-src entry: the same archive and suites as the deb entry.
add_source_entry() {
    local list=/etc/apt/sources.list.d/morvane-deb-src.sources
    [ -f "$list" ] && return
    say "adding $list"
    cat >"$list" <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
    apt-get update -qq
}

fetch_sources() {
    local packages=(qt6-base libzip pugixml libdeflate libxml2 qcustomplot) missing=()
    mkdir -p "$cache/src"
    for p in "${packages[@]}"; do
        compgen -G "$cache/src/${p}_*.dsc" >/dev/null || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return
    add_source_entry
    say "fetching the sources of ${missing[*]}"
    (cd "$cache/src" && apt-get source --download-only "${missing[@]}" >&2)
}

recipe_key() { cat "$@" | sha256sum | cut -c1-12; }

# Builds a prefix unless it is complete (marked by .complete, written last).
build_prefix() { # prefix, script, script arguments after the prefix
    local prefix=$1 script=$2
    shift 2
    [ -f "$prefix/.complete" ] && return
    say "building $prefix with $(basename "$script") (log: $prefix.log)"
    rm -rf "$prefix"
    local start=$SECONDS
    if ! bash "$script" "$cache/src" "$cache/work" "$prefix" "$@" >"$prefix.log" 2>&1; then
        tail -n 40 "$prefix.log" >&2
        say "failed: see $prefix.log"
        exit 1
    fi
    touch "$prefix/.complete"
    say "built $prefix in $((SECONDS - start)) s"
}

install_packages
mkdir -p "$cache"
exec 9>"$cache/.lock"
flock 9 # one build of the cache at a time on a machine
fetch_sources
qt=$cache/qtbase-$(recipe_key "$here/deps-qtbase.sh" "$here/mingw-w64.cmake")
build_prefix "$qt" "$here/deps-qtbase.sh"
libs=$cache/libs-$(recipe_key "$here/deps-libs.sh" "$here/mingw-w64.cmake" <(basename "$qt"))
build_prefix "$libs" "$here/deps-libs.sh" "$qt"
echo "$libs;$qt"
