#!/usr/bin/env bash
# The Windows program, cross-built on Debian 12: makes the dependencies when they are missing
# (build-deps.sh; the first run on a machine takes about 13 minutes, later ones reuse them),
# builds morvane.exe, morvane-convert.exe and every test with the project's own CMake (warnings
# fail it), and makes the installer and the portable zip with CPack. Prints the installer's path
# on its last line.
#   MORVANE_WINDOWS_BUILD   the build folder (build/windows)
#   MORVANE_JOBS            parallel jobs (2), under nice
# Run as root the first time on a machine (apt-get).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${MORVANE_WINDOWS_BUILD:-$root/build/windows}
jobs=${MORVANE_JOBS:-2}

prefixes=$(bash "$here/build-deps.sh" | tail -n 1)
libs=${prefixes%%;*}
# The libraries' pkg-config files, and no others (the wrapper would add the system's MinGW ones).
export PKG_CONFIG_LIBDIR=$libs/lib/pkgconfig
export MORVANE_WINDOWS_PREFIX=$prefixes

# The libraries' headers are to this build what /usr/include is to Debian's (fast_float is found
# there without a search).
cmake -G Ninja -S "$root" -B "$build" \
    -DCMAKE_TOOLCHAIN_FILE="$here/mingw-w64.cmake" \
    -DCMAKE_PREFIX_PATH="$prefixes" \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES="$libs/include" \
    -DMORVANE_WERROR=ON \
    -DQT_HOST_PATH=/usr \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake >&2
nice -n 10 cmake --build "$build" -j "$jobs" >&2
(cd "$build" && cpack -G NSIS >&2 && cpack -G ZIP >&2)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
echo "$build/Morvane-$version-win64.zip" >&2
echo "$build/Morvane-$version-win64.exe"
