#!/usr/bin/env bash
# Builds the console and starts it.
set -euo pipefail
cd "$(dirname "$0")"
tools/deps.sh build gui
cmake --preset default >/dev/null
cmake --build --preset default
exec build/default/src/app/varnoke
