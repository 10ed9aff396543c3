#!/bin/sh
# Installs what is missing, builds, and runs every test suite:
#   1. the whole suite on the release build;
#   2. the whole suite, desktop tests included, under the address and undefined-behaviour
#      sanitizers;
#   3. the queue and threading tests under the thread sanitizer;
#   4. each reader fuzzer for QUIRAMO_FUZZ_SECONDS seconds (default 60) on its corpus.
# Each step stops the script on its first failure. Made to fit 45 minutes on two cores.
set -eu
cd "$(dirname "$0")/.."
JOBS="$(nproc)"
step() { echo "==== $1 ($(date +%T))"; }

step "release build and tests"
sh scripts/build.sh release
ctest --preset release

step "address and undefined-behaviour sanitizers"
cmake --preset asan -DQUIRAMO_BUILD_APP=ON >/dev/null
cmake --build --preset asan -j "$JOBS"
ctest --preset asan

# The passes, the queue and everything else that runs on more than one thread.
THREADED='^(QueueTest|NothingLost|MalformedFiles)\.|\.PassesOnTheirOwnThreadsTakeTurns$|\.LinesFromManyThreadsStayWhole$|\.CancelFromAnotherThreadStopsTheLoopAtItsNextStep$'
step "thread sanitizer"
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "$JOBS" --target quiramo_engine_tests quiramo_platform_tests quiramo_record_tests
ctest --preset tsan -R "$THREADED"

step "reader fuzzers"
sh scripts/fuzz.sh "${QUIRAMO_FUZZ_SECONDS:-60}"
step "all tests passed"
