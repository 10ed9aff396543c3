#!/bin/sh
# Times one whole conversion of a 10-minute 96 kHz 24-bit stereo WAV with None/None
# (hi-res and dither off, so the audio passes through unchanged) beside `sox in out` and
# `cp`, in one run, with the peak resident memory of each.
#
# Usage: bench/compare_convert.sh [BUILD_DIR]   (default build/release)
set -eu
cd "$(dirname "$0")/.."
BUILD="${1:-build/release}"
CLI="$BUILD/cli/quiramo-cli"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT

sox -n -r 96000 -b 24 -c 2 "$WORK/side.wav" synth 600 pinknoise vol 0.3
export XDG_CONFIG_HOME="$WORK/config"

measure() {  # name, command...
    name="$1"
    shift
    /usr/bin/time -f "%e %M" -o "$WORK/time" "$@" >/dev/null 2>&1
    read -r secs kb <"$WORK/time"
    echo "$name $secs $kb"
}

mkdir -p "$WORK/out"
{
    measure quiramo "$CLI" convert -q -o "$WORK/out" --set HiResType=2 --set DitherType=2 "$WORK/side.wav"
    measure sox sox "$WORK/side.wav" "$WORK/sox.wav"
    measure cp cp "$WORK/side.wav" "$WORK/copy.wav"
} >"$WORK/results"

echo "file: $(stat -c %s "$WORK/side.wav") bytes"
awk 'NR==FNR { t[$1]=$2; m[$1]=$3; next } END {
    printf "%-8s %8s %10s %12s %10s\n", "tool", "seconds", "peak MiB", "vs sox time", "vs cp time"
    for (k in t) printf "%-8s %8.2f %10.1f %12.2f %10.2f\n", k, t[k], m[k]/1024, t[k]/t["sox"], t[k]/t["cp"]
}' "$WORK/results" "$WORK/results"
