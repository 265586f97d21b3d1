#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
bash scripts/setup.sh
# In CI a warning fails the build.
cmake --preset dev ${CI:+-DMORVANE_WERROR=ON}
cmake --build --preset dev
ctest --preset dev
