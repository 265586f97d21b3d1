#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
bash scripts/setup.sh
cmake --preset dev
cmake --build --preset dev --target morvane
exec ./build/dev/src/app/morvane "$@"
