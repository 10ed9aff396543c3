#!/bin/sh
# Installs what is missing, builds, and runs the main job on the bundled sample.
set -eu
cd "$(dirname "$0")/.."
sh scripts/build.sh release
./build/release/cli/quiramo-cli list
