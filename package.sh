#!/usr/bin/env bash
# Builds the Debian package and the Windows zip into dist/: the two Windows
# programs (cross-built), then the default build, which zips them, and CPack.
set -euo pipefail
cd "$(dirname "$0")"
tools/deps.sh build gui win package

tools/build_all.sh all windows_zip

staging=build/default/cpack
rm -rf "$staging"
cpack --config build/default/CPackConfig.cmake -G DEB -B "$PWD/$staging" >/dev/null
mkdir -p dist
cp "$staging"/varnoke_*.deb build/default/varnoke-*-windows.zip dist/
ls -l dist
