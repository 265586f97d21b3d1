#!/usr/bin/env bash
# Runs every test of the Windows build under Wine: the GoogleTest programs, the tool's tests and
# the window's Qt tests on the offscreen platform (wine-qttest.sh), in a Wine prefix of the build
# folder made anew. The tests that cannot run under Wine skip themselves, saying why.
#   scripts/windows/test.sh [CTEST ARGUMENTS...]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=${MORVANE_WINDOWS_BUILD:-$here/../../build/windows}
source "$here/wine-env.sh"
wine_prefix "$build/wine-tests"
ctest --test-dir "$build" --output-on-failure --timeout 900 -j "${MORVANE_JOBS:-2}" "$@"
