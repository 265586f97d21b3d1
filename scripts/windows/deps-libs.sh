#!/usr/bin/env bash
# Builds the libraries Morvane links besides qtbase for 64-bit Windows, into the prefix given:
# zlib (Debian's libz-mingw-w64-dev) and fast_float's headers (libfast-float-dev), copied; from
# Debian's source packages libzip, pugixml and libdeflate (static, so that morvane-convert.exe is
# one file), libxml2 (static, for the RDML tests) and QCustomPlot (a DLL, against the qtbase
# prefix); GoogleTest and GoogleMock from /usr/src/googletest (static).
# Called by build-deps.sh; the recipe (this file, the toolchain) is part of the cache key there.
#   deps-libs.sh SOURCES_DIR WORK_DIR PREFIX QT_PREFIX
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
sources=$1 work=$2 prefix=$3 qt=$4
jobs=${MORVANE_JOBS:-2}
triple=x86_64-w64-mingw32
mingw=/usr/$triple

unpack() { # a Debian source package, with Debian's patches applied
    rm -rf "$work/$1" "$work/$1-build"
    dpkg-source --no-check -x "$sources"/"$1"_*.dsc "$work/$1" >/dev/null 2>&1
}
cmake_build() { # source dir, build dir, extra arguments
    local src=$1 build=$2
    shift 2
    cmake -G Ninja -S "$src" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$here/mingw-w64.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" "$@" >/dev/null
    nice -n 10 cmake --build "$build" -j "$jobs" >/dev/null
    cmake --install "$build" >/dev/null
}

# A pkg-config file of a static library as its users need it: what it links (Libs.private) in
# Libs, and the flags given (such as ZIP_STATIC) in Cflags.
static_pc() { # file, flags
    local file=$1 private
    shift
    private=$(sed -n 's/^Libs.private: *//p' "$file")
    sed -i -e "s|^Libs: \(.*\)|Libs: \1 $private|" -e "s|^Cflags: \(.*\)|Cflags: \1 $*|" "$file"
}

mkdir -p "$work" "$prefix"/{include,lib/pkgconfig,bin}
# Where the toolchain file lets CMake look for libraries: this prefix and qtbase's.
export MORVANE_WINDOWS_PREFIX="$prefix;$qt"

# zlib: only the static library, so that libzip's -lz never finds the DLL's import library.
cp "$mingw/include/zlib.h" "$mingw/include/zconf.h" "$prefix/include/"
cp "$mingw/lib/libz.a" "$prefix/lib/"
zlib_version=$(sed -n 's/^#define ZLIB_VERSION "\(.*\)"/\1/p' "$mingw/include/zlib.h")
cat >"$prefix/lib/pkgconfig/zlib.pc" <<PC
prefix=$prefix
Name: zlib
Description: zlib compression library
Version: $zlib_version
Libs: -L\${prefix}/lib -lz
Cflags: -I\${prefix}/include
PC

# fast_float: headers only, the same for every system; Debian's libfast-float-dev.
cp -r /usr/include/fast_float "$prefix/include/"

echo "libzip"
unpack libzip
cmake_build "$work/libzip" "$work/libzip-build" -DBUILD_SHARED_LIBS=OFF \
    -DENABLE_COMMONCRYPTO=OFF -DENABLE_GNUTLS=OFF -DENABLE_MBEDTLS=OFF -DENABLE_OPENSSL=OFF \
    -DENABLE_WINDOWS_CRYPTO=ON -DENABLE_BZIP2=OFF -DENABLE_LZMA=OFF -DENABLE_ZSTD=OFF \
    -DBUILD_TOOLS=OFF -DBUILD_REGRESS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOC=OFF \
    -DZLIB_LIBRARY="$prefix/lib/libz.a" -DZLIB_INCLUDE_DIR="$prefix/include"
# A static libzip only: its users need ZIP_STATIC (no dllimport) and what it links (zlib, bcrypt
# for encrypted entries) on their link line.
static_pc "$prefix/lib/pkgconfig/libzip.pc" -DZIP_STATIC

echo "pugixml"
unpack pugixml
cmake_build "$work/pugixml" "$work/pugixml-build" -DBUILD_SHARED_LIBS=OFF -DPUGIXML_BUILD_TESTS=OFF

echo "libdeflate"
# Its Makefile names a MinGW static library libdeflatestatic.lib; the library is a handful of C
# files, compiled here as its Makefile does and named as on Debian.
unpack libdeflate
(
    cd "$work/libdeflate"
    objs=()
    for c in lib/*.c lib/*/*.c; do
        o=$work/libdeflate-build/$(echo "$c" | tr / _).o
        mkdir -p "$work/libdeflate-build"
        nice -n 10 $triple-gcc-posix -O2 -fomit-frame-pointer -std=c99 -I. -Wall -c "$c" -o "$o"
        objs+=("$o")
    done
    $triple-ar rcs "$prefix/lib/libdeflate.a" "${objs[@]}"
    cp libdeflate.h "$prefix/include/"
    version=$(sed -n 's/^#define LIBDEFLATE_VERSION_STRING.*"\(.*\)"/\1/p' libdeflate.h)
    cat >"$prefix/lib/pkgconfig/libdeflate.pc" <<PC
prefix=$prefix
Name: libdeflate
Description: Fast implementation of DEFLATE, zlib, and gzip
Version: $version
Libs: -L\${prefix}/lib -ldeflate
Cflags: -I\${prefix}/include
PC
)

echo "libxml2"
# Only the RDML tests need it, to validate against the RDML schemas.
unpack libxml2
cmake_build "$work/libxml2" "$work/libxml2-build" -DBUILD_SHARED_LIBS=OFF \
    -DLIBXML2_WITH_ICONV=OFF -DLIBXML2_WITH_LZMA=OFF -DLIBXML2_WITH_ZLIB=OFF -DLIBXML2_WITH_PYTHON=OFF \
    -DLIBXML2_WITH_PROGRAMS=OFF -DLIBXML2_WITH_TESTS=OFF -DLIBXML2_WITH_FTP=OFF -DLIBXML2_WITH_HTTP=OFF \
    -DLIBXML2_WITH_MODULES=OFF
static_pc "$prefix/lib/pkgconfig/libxml-2.0.pc"

echo "GoogleTest"
cmake_build /usr/src/googletest "$work/googletest-build" -DBUILD_SHARED_LIBS=OFF -DBUILD_GMOCK=ON \
    -DINSTALL_GTEST=ON

echo "QCustomPlot"
unpack qcustomplot
# Its users must import the DLL's symbols (QCUSTOMPLOT_USE_LIBRARY), which its CMake leaves out.
echo 'target_compile_definitions(${LIB_NAME} INTERFACE QCUSTOMPLOT_USE_LIBRARY)' >>"$work/qcustomplot/CMakeLists.txt"
cmake_build "$work/qcustomplot" "$work/qcustomplot-build" -DUSE_QT_VERSION=6 -DBUILD_SHARED_LIBS=ON \
    -DCMAKE_PREFIX_PATH="$qt" -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake

rm -rf "$work"/{libzip,pugixml,libdeflate,libxml2,qcustomplot}{,-build} "$work/googletest-build"
