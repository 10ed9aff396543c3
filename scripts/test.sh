#!/bin/sh
# Installs what is missing, builds, and runs every test suite.
set -eu
cd "$(dirname "$0")/.."
sh scripts/build.sh release
ctest --preset release
