#!/usr/bin/env bash
# Builds everything and runs every test: the Windows programs (cross-built,
# then run under Wine), the default build (unit, simulator and window tests
# under Xvfb, the Debian package and the Windows zip), then the unit tests
# again under AddressSanitizer and UndefinedBehaviorSanitizer, then every
# parser's fuzzing harness for 20 seconds on its corpus (a finding fails the
# run and leaves its reproducer in build/fuzz/findings/).
set -euo pipefail
cd "$(dirname "$0")"
tools/deps.sh build gui test win package fuzz

tools/build_all.sh
jobs=$(nproc)
ctest --preset default -j "$jobs"

cmake --preset asan >/dev/null
cmake --build --preset asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --preset asan -j "$jobs"

FUZZ_JOBS=$jobs fuzz/run.sh 20
