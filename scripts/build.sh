#!/bin/sh
# Installs what is missing, then configures and builds one preset (default: release).
set -eu
cd "$(dirname "$0")/.."
PRESET="${1:-release}"
sh scripts/install-deps.sh
cmake --preset "$PRESET" >/dev/null
cmake --build --preset "$PRESET" -j "$(nproc)"
