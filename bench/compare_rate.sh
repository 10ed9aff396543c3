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

# Best of three runs of a command: "wall-clock-seconds cpu-seconds" (CPU = user + system,
# which a busy machine disturbs less than the wall clock).
best_of_3() {
    local best_wall= best_cpu=
    for _ in 1 2 3; do
        local start end wall cpu
        start=$(date +%s.%N)
        cpu=$( { TIMEFORMAT='%U %S'; time "$@" > /dev/null 2>&1; } 2>&1 | awk '{ print $1 + $2 }')
        end=$(date +%s.%N)
        wall=$(echo "$end - $start" | bc -l)
        if [[ -z $best_wall ]] || (( $(echo "$wall < $best_wall" | bc -l) )); then best_wall=$wall; fi
        if [[ -z $best_cpu ]] || (( $(echo "$cpu < $best_cpu" | bc -l) )); then best_cpu=$cpu; fi
    done
    printf '%.3f %.3f' "$best_wall" "$best_cpu"
}

read -r sox_up sox_up_cpu <<< "$(best_of_3 sox "$work/in44100.wav" "$work/out.wav" rate -v 88200)"
read -r sox_up_copy _ <<< "$(best_of_3 sox "$work/in44100.wav" "$work/out.wav")"
read -r sox_down sox_down_cpu <<< "$(best_of_3 sox "$work/in192000.wav" "$work/out.wav" rate -v 96000)"
read -r sox_down_copy _ <<< "$(best_of_3 sox "$work/in192000.wav" "$work/out.wav")"
rm -f "$work/out.wav"

# The mean of three iterations from Google Benchmark's report: "real-seconds cpu-seconds".
ours() {
    "$bench" --benchmark_filter="^$1/" --benchmark_format=csv 2> /dev/null |
        awk -F, -v name="$1" 'index($1, name) { printf "%.3f %.3f", $3 / 1000, $4 / 1000 }'
}
read -r our_up our_up_cpu <<< "$(ours BM_HiResUpsample44100)"
read -r our_down our_down_cpu <<< "$(ours BM_Downsample192000)"

ratio() { printf '%.2f' "$(echo "$1 / $2" | bc -l)"; }
echo
printf '%-18s %12s %12s %12s %12s %12s %12s\n' "10 min stereo" "ours wall" "sox wall" "ratio" "ours CPU" "sox CPU" "ratio"
printf '%-18s %12s %12s %12s %12s %12s %12s\n' "44.1 -> 88.2 kHz" "$our_up" "$sox_up" "$(ratio "$our_up" "$sox_up")" \
    "$our_up_cpu" "$sox_up_cpu" "$(ratio "$our_up_cpu" "$sox_up_cpu")"
printf '%-18s %12s %12s %12s %12s %12s %12s\n' "192 -> 96 kHz" "$our_down" "$sox_down" "$(ratio "$our_down" "$sox_down")" \
    "$our_down_cpu" "$sox_down_cpu" "$(ratio "$our_down_cpu" "$sox_down_cpu")"
echo "sox copy without resampling (wall): 44.1 kHz file $sox_up_copy s, 192 kHz file $sox_down_copy s"
echo "(seconds; ratio = ours / sox, below 1 is faster. Ours is the resampling kernel alone, without"
echo " reading or writing files; sox's times include them, as its plain copy shows.)"
