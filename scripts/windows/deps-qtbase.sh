#!/usr/bin/env bash
# Builds qtbase for 64-bit Windows from Debian's source package (qt6-base 6.4.2+dfsg), with the
# host's Qt tools (moc, rcc, uic of qt6-base-dev-tools), into the prefix given. Only what Morvane
# uses: Core, Gui, Widgets, PrintSupport, Xml, Test, the windows and offscreen platform plugins,
# every third-party library bundled (zlib, pcre2, harfbuzz, freetype, libpng, double-conversion).
# Called by build-deps.sh; the recipe (this file, the toolchain) is part of the cache key there.
#   deps-qtbase.sh SOURCES_DIR WORK_DIR PREFIX
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
sources=$1 work=$2 prefix=$3
jobs=${MORVANE_JOBS:-2}

rm -rf "$work/qtbase" "$work/qtbase-build"
mkdir -p "$work"
dpkg-source -x "$sources"/qt6-base_6.4.2+dfsg-*.dsc "$work/qtbase" >/dev/null

# Debian's source leaves out src/3rdparty/wintab (the Wacom header), which the windows plugin
# includes for tablets: tablet events are off. OpenGL is off as a whole (INPUT_opengl=no), so the
# plugin's dynamic-GL code is left out with it. direct2d stays at its default: without it Gui
# leaves out the DirectWrite font engine that PrintSupport and the windows plugin still call.
cmake -G Ninja -S "$work/qtbase" -B "$work/qtbase-build" \
    -DCMAKE_TOOLCHAIN_FILE="$here/mingw-w64.cmake" \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DQT_HOST_PATH=/usr \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DBUILD_SHARED_LIBS=ON \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
    -DQT_BUILD_TOOLS_WHEN_CROSSCOMPILING=OFF \
    -DINPUT_opengl=no -DFEATURE_opengl=OFF -DFEATURE_vulkan=OFF \
    -DFEATURE_network=OFF -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DFEATURE_concurrent=OFF \
    -DFEATURE_testlib=ON -DFEATURE_xml=ON -DFEATURE_printsupport=ON -DFEATURE_widgets=ON \
    -DFEATURE_tabletevent=OFF \
    -DFEATURE_pkg_config=OFF -DFEATURE_icu=OFF -DFEATURE_zstd=OFF -DFEATURE_glib=OFF \
    -DFEATURE_jpeg=OFF \
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF \
    -DFEATURE_system_freetype=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF \
    -DFEATURE_system_doubleconversion=OFF -DFEATURE_system_libb2=OFF \
    -DFEATURE_system_textmarkdownreader=OFF
nice -n 10 cmake --build "$work/qtbase-build" -j "$jobs"
cmake --install "$work/qtbase-build"
rm -rf "$work/qtbase" "$work/qtbase-build"
