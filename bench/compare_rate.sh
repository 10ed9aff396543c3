#!/usr/bin/env bash
# Times the rate conversion kernels beside sox on the same 10-minute stereo material, in one
# run so that both see the same machine load:
#   44.1 to 88.2 kHz:  sox in.wav out.wav rate -v 88200   vs  BM_HiResUpsample44100
#   192 to 96 kHz:     sox in.wav out.wav rate -v 96000   vs  BM_Downsample192000
# sox also reads and writes the files; the plain copy `sox in.wav out.wav` is timed too, so
# that its file handling can be told apart from its resampling.
#
# Usage: bench/compare_rate.sh [path to bench_rate]   (default: build/release/bench/bench_rate)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
bench=${1:-$root/build/release/bench/bench_rate}
[[ -x $bench ]] || { echo "no benchmark program at $bench (configure with -DQUIRAMO_BUILD_BENCH=ON)" >&2; exit 1; }
command -v sox > /dev/null || { echo "sox is not installed" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "Generating 10-minute stereo test files..."
sox -n -r 44100 -b 16 -c 2 "$work/in44100.wav" synth 600 pinknoise vol 0.5
sox -n -r 192000 -b 24 -c 2 "$work/in192000.wav" synth 600 pinknoise vol 0.5

# Best of three wall-clock seconds of a command.
best_of_3() {
    local best=
    for _ in 1 2 3; do
        local start end t
        start=$(date +%s.%N)
        "$@" > /dev/null 2>&1
        end=$(date +%s.%N)
        t=$(echo "$end - $start" | bc -l)
        if [[ -z $best ]] || (( $(echo "$t < $best" | bc -l) )); then best=$t; fi
    done
    printf '%.3f' "$best"
}

sox_up=$(best_of_3 sox "$work/in44100.wav" "$work/out.wav" rate -v 88200)
sox_up_copy=$(best_of_3 sox "$work/in44100.wav" "$work/out.wav")
sox_down=$(best_of_3 sox "$work/in192000.wav" "$work/out.wav" rate -v 96000)
sox_down_copy=$(best_of_3 sox "$work/in192000.wav" "$work/out.wav")
rm -f "$work/out.wav"

# The mean of three iterations, from Google Benchmark's report (milliseconds of real time).
ours() {
    "$bench" --benchmark_filter="^$1/" --benchmark_repetitions=1 --benchmark_format=csv 2> /dev/null |
        awk -F, -v name="$1" 'index($1, name) { gsub(/"/, "", $3); printf "%.3f", $3 / 1000 }'
}
our_up=$(ours BM_HiResUpsample44100)
our_down=$(ours BM_Downsample192000)

ratio() { printf '%.2f' "$(echo "$1 / $2" | bc -l)"; }
echo
printf '%-28s %10s %14s %16s %12s\n' "10 min stereo" "Quiramo s" "sox rate s" "sox copy s" "ratio"
printf '%-28s %10s %14s %16s %12s\n' "44.1 -> 88.2 kHz" "$our_up" "$sox_up" "$sox_up_copy" "$(ratio "$our_up" "$sox_up")"
printf '%-28s %10s %14s %16s %12s\n' "192 -> 96 kHz" "$our_down" "$sox_down" "$sox_down_copy" "$(ratio "$our_down" "$sox_down")"
echo "(ratio: Quiramo kernel time / sox rate time; below 1 is faster. The kernel time excludes"
echo " reading and writing files, which the sox copy time shows for sox.)"
