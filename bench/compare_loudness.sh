#!/usr/bin/env bash
# Times the loudness meter beside libebur128 (all modes) and ffmpeg's ebur128 filter with
# true peak, on the same 10-minute stereo material, in one run so that all three see the
# same machine load:
#   music44k16, music96k24: the music-like programme at 44.1 kHz 16-bit and 96 kHz 24-bit
#   tone44k16, tone96k24:   a steady tone, the worst case for the true-peak search
# bench_loudness writes the WAV files and times our meter and libebur128 on the samples in
# memory; ffmpeg also reads and decodes the file (a small part of its time for PCM).
# CPU seconds are compared, because wall-clock time on a shared machine says more about
# the neighbours than about the program; wall-clock seconds are shown as well.
#
# Usage: bench/compare_loudness.sh [path to bench_loudness]
#        (default: build/release/bench/bench_loudness)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
bench=${1:-$root/build/release/bench/bench_loudness}
[[ -x $bench ]] || { echo "no benchmark program at $bench (configure with -DQUIRAMO_BUILD_BENCH=ON)" >&2; exit 1; }
command -v ffmpeg > /dev/null || { echo "ffmpeg is not installed" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "Writing the 10-minute stereo test files..."
"$bench" --write-wav="$work"

echo "Timing our meter and libebur128 (three runs of each)..."
"$bench" --benchmark_filter='BM_(Quiramo|Libebur128)/' --benchmark_out="$work/bench.json" \
    --benchmark_out_format=json > /dev/null

# Best of three runs of ffmpeg: CPU seconds (user + system) and wall-clock seconds.
echo "Timing ffmpeg -af ebur128=peak=true (three runs of each)..."
for name in music44k16 music96k24 tone44k16 tone96k24; do
    best_cpu= best_wall=
    for _ in 1 2 3; do
        read -r wall user sys < <(/usr/bin/time -f '%e %U %S' ffmpeg -nostdin -hide_banner -nostats -v error \
            -i "$work/$name.wav" -af ebur128=peak=true -f null - 2>&1 > /dev/null | tail -n 1)
        cpu=$(echo "$user + $sys" | bc -l)
        if [[ -z $best_cpu ]] || (( $(echo "$cpu < $best_cpu" | bc -l) )); then best_cpu=$cpu; fi
        if [[ -z $best_wall ]] || (( $(echo "$wall < $best_wall" | bc -l) )); then best_wall=$wall; fi
    done
    echo "$name $best_cpu $best_wall" >> "$work/ffmpeg.txt"
done

/usr/bin/python3 - "$work/bench.json" "$work/ffmpeg.txt" <<'EOF'
import json, sys

sides = ["music44k16", "music96k24", "tone44k16", "tone96k24"]
runs = {}
for b in json.load(open(sys.argv[1]))["benchmarks"]:
    name, side = b["run_name"].split("/")[0], int(b["run_name"].split("side:")[1].split("/")[0])
    unit = {"ms": 1e-3, "us": 1e-6, "ns": 1e-9, "s": 1.0}[b["time_unit"]]
    runs[(name, sides[side])] = (b["cpu_time"] * unit, b["real_time"] * unit)
ffmpeg = {}
for line in open(sys.argv[2]):
    side, cpu, wall = line.split()
    ffmpeg[side] = (float(cpu), float(wall))

print()
print(f"{'material':<12} {'ours':>14} {'libebur128':>14} {'ffmpeg':>14} {'libebur128/ours':>16} {'ffmpeg/ours':>12}")
print(f"{'':<12} {'CPU s (wall)':>14} {'CPU s (wall)':>14} {'CPU s (wall)':>14} {'CPU ratio':>16} {'CPU ratio':>12}")
for side in sides:
    ours, ref, ff = runs[("BM_Quiramo", side)], runs[("BM_Libebur128", side)], ffmpeg[side]
    cell = lambda t: f"{t[0]:6.2f} ({t[1]:5.2f})"
    print(f"{side:<12} {cell(ours):>14} {cell(ref):>14} {cell(ff):>14} {ref[0] / ours[0]:16.1f} {ff[0] / ours[0]:12.1f}")
EOF
