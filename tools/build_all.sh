#!/usr/bin/env bash
# Builds the two Windows programs (cross-built), then the default build,
# whose configuration finds them and registers their checks and their zip.
# Usage: tools/build_all.sh [TARGET...]   (targets of the default build)
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
for preset in win64 win32; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
done
cmake --preset default >/dev/null
cmake --build --preset default -j "$jobs" ${1:+--target "$@"}
