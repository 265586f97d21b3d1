# CMake toolchain for 64-bit Windows with Debian's MinGW-w64 (the posix thread model, which
# std::thread needs). Used for the dependencies (scripts/windows/deps-*.sh) and for Morvane
# itself; MORVANE_WINDOWS_PREFIX is where the dependencies were installed.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLE}-windres)
set(CMAKE_AR ${MINGW_TRIPLE}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${MINGW_TRIPLE}-gcc-ranlib-posix CACHE FILEPATH "")

# Environment variables reach try_compile projects; cache variables do not.
if(NOT MORVANE_WINDOWS_PREFIX AND DEFINED ENV{MORVANE_WINDOWS_PREFIX})
    set(MORVANE_WINDOWS_PREFIX "$ENV{MORVANE_WINDOWS_PREFIX}")
endif()
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE} ${MORVANE_WINDOWS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs run under Wine when ctest runs them.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)

set(PKG_CONFIG_EXECUTABLE ${MINGW_TRIPLE}-pkg-config CACHE FILEPATH "")
