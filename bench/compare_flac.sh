#!/usr/bin/env bash
# Times FLAC encoding and decoding of a 10-minute 96 kHz 24-bit stereo side beside the flac
# tool, in one run so that both see the same machine load:
#   encode:  flac -5 (and flac -5 -V, which verifies as our writer always does)  vs  BM_FlacEncode
#   decode:  flac -d (to a WAV file)                                             vs  BM_FlacDecode
# Both sides work on the same material: a pink-noise side made by sox, encoded by flac -5.
#
# Usage: bench/compare_flac.sh [path to bench_flac]   (default: build/release/bench/bench_flac)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
bench=${1:-$root/build/release/bench/bench_flac}
[[ -x $bench ]] || { echo "no benchmark program at $bench (configure with -DQUIRAMO_BUILD_BENCH=ON)" >&2; exit 1; }
for tool in sox flac bc; do
    command -v $tool > /dev/null || { echo "$tool is not installed" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "Generating a 10-minute 96 kHz 24-bit stereo side..."
sox -n -r 96000 -b 24 -c 2 "$work/in.wav" synth 600 pinknoise vol 0.5
flac -s -5 -f -o "$work/in.flac" "$work/in.wav"

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

flac_enc=$(best_of_3 flac -s -5 -f -o "$work/out.flac" "$work/in.wav")
flac_enc_verify=$(best_of_3 flac -s -5 -V -f -o "$work/out.flac" "$work/in.wav")
flac_dec=$(best_of_3 flac -s -d -f -o "$work/out.wav" "$work/in.flac")
rm -f "$work/out.flac" "$work/out.wav"

# The mean of three iterations, from Google Benchmark's report (milliseconds of real time).
report=$(QUIRAMO_BENCH_WAV="$work/in.wav" QUIRAMO_BENCH_FLAC="$work/in.flac" TMPDIR="$work" \
         "$bench" --benchmark_format=csv 2> /dev/null)
ours() { awk -F, -v name="$1" 'index($1, name) { gsub(/"/, "", $3); printf "%.3f", $3 / 1000 }' <<< "$report"; }
our_enc=$(ours BM_FlacEncode)
our_dec=$(ours BM_FlacDecode)

ratio() { printf '%.2f' "$(echo "$1 / $2" | bc -l)"; }
echo
printf '%-34s %10s %10s %8s\n' "10 min 96 kHz 24-bit stereo" "Quiramo s" "flac s" "ratio"
printf '%-34s %10s %10s %8s\n' "encode, level 5 (flac without -V)" "$our_enc" "$flac_enc" "$(ratio "$our_enc" "$flac_enc")"
printf '%-34s %10s %10s %8s\n' "encode, level 5, verified" "$our_enc" "$flac_enc_verify" "$(ratio "$our_enc" "$flac_enc_verify")"
printf '%-34s %10s %10s %8s\n' "decode" "$our_dec" "$flac_dec" "$(ratio "$our_dec" "$flac_dec")"
echo "(ratio: Quiramo time / flac time; below 1 is faster. Our encoding always verifies and"
echo " writes the file; our decoding ends with the samples in memory, flac's with a WAV file.)"
