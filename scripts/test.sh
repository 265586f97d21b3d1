#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test. MORVANE_PRESET picks the CMake
# preset (dev; CI uses ci, where a warning fails the build).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
bash scripts/setup.sh
preset=${MORVANE_PRESET:-dev}
cmake --preset "$preset"
cmake --build --preset "$preset"
ctest --preset "$preset"
