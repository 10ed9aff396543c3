#!/bin/sh
# Installs what is missing, builds, and converts the bundled sample (a short synthetic
# needle drop) with the command line, printing the result line and the metrics report.
set -eu
cd "$(dirname "$0")/.."
sh scripts/build.sh release
mkdir -p build/sample-output
./build/release/cli/quiramo-cli convert --report -o build/sample-output samples/needle-drop.wav
