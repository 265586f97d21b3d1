#!/usr/bin/env bash
# Builds a Release of the two programs and makes the Debian package (CPack's DEB generator, its
# dependencies found by dpkg-shlibdeps); prints the package's path as its last line.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
bash scripts/setup.sh
build=build/package
# The hardening flags a Debian package build uses, all of them; given on the command line so that
# a build folder configured before takes them too.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" \
    -DMORVANE_TESTS=OFF -DMORVANE_BENCH=OFF -DMORVANE_PACKAGING=ON
cmake --build "$build" --target morvane morvane-convert morvane_desktop_files
rm -f "$build"/*.deb
(cd "$build" && cpack -G DEB)
deb=("$PWD/$build"/*.deb)
echo "${deb[0]}"
