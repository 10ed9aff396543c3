#!/bin/sh
# Builds the reader fuzzers (preset "fuzz", clang) and runs each one for a bounded time on
# its seed corpus: small valid and broken files written by our own code, plus the files of
# earlier findings kept in fuzz/regressions/<reader>/. A finding fails the script (after
# the other fuzzers have run) with the input saved in <build>/findings/<fuzzer>/.
#
#   sh scripts/fuzz.sh [seconds per fuzzer, default 60] [fuzzer names...]
#
# QUIRAMO_FUZZ_BUILD chooses the build folder (default build/fuzz). Fuzzers run one at a
# time in a single process, niced, so they share the machine.
set -eu
cd "$(dirname "$0")/.."
SECONDS_EACH="${1:-60}"
[ $# -gt 0 ] && shift
FUZZERS="${*:-fuzz_wav_header fuzz_wav_full fuzz_aiff_header fuzz_aiff_full fuzz_flac_header fuzz_flac_full}"
BUILD="${QUIRAMO_FUZZ_BUILD:-build/fuzz}"
JOBS="${QUIRAMO_BUILD_JOBS:-$(nproc)}"

sh scripts/install-deps.sh
cmake --preset fuzz -B "$BUILD" >/dev/null
cmake --build "$BUILD" --target fuzzers -j "$JOBS"

# Fresh seeds each run; what libFuzzer learns stays in work/ between runs on this machine.
rm -rf "$BUILD/corpus"
"$BUILD/fuzz/quiramo_fuzz_corpus" "$BUILD/corpus"

status=0
for f in $FUZZERS; do
    reader=$(echo "$f" | sed 's/^fuzz_\([a-z]*\)_.*/\1/')
    work="$BUILD/work/$f"
    artifacts="$BUILD/findings/$f/"
    mkdir -p "$work" "$artifacts"
    regressions=""
    [ -d "fuzz/regressions/$reader" ] && regressions="fuzz/regressions/$reader"
    echo "== $f: $SECONDS_EACH s"
    # -close_fd_mask=2 silences libFLAC's "Got error callback" lines; libFuzzer and the
    # sanitizers still report on a duplicate of stderr.
    if ! nice -n 10 "$BUILD/fuzz/$f" -max_total_time="$SECONDS_EACH" -timeout=10 -rss_limit_mb=2048 \
            -print_final_stats=1 -close_fd_mask=2 -artifact_prefix="$artifacts" \
            "$work" "$BUILD/corpus/$reader" $regressions >"$BUILD/$f.log" 2>&1; then
        status=1
        echo "!! $f found a fault; input in $artifacts, log in $BUILD/$f.log"
        tail -n 40 "$BUILD/$f.log"
    fi
    grep -E '^#[0-9]+.*DONE|stat::number_of_executed_units|stat::average_exec_per_sec|stat::peak_rss_mb' \
        "$BUILD/$f.log" || true
done
exit $status
