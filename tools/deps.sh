#!/usr/bin/env bash
# Installs the Debian packages that a build or test run needs, when missing.
# Usage: tools/deps.sh GROUP...   (groups: build gui test win package fuzz)
set -euo pipefail

declare -A groups=(
    [build]="g++ cmake ninja-build libgtest-dev libgmock-dev"
    [gui]="libfltk1.3-dev"
    [test]="libfltk1.3-dev xvfb xauth xdotool imagemagick iproute2 util-linux libbenchmark-dev tshark jq python3"
    [win]="g++-mingw-w64-x86-64-win32 g++-mingw-w64-i686-win32 wine wine64 fonts-wine xvfb xauth xdotool imagemagick"
    [package]="dpkg-dev file lintian desktop-file-utils librsvg2-bin unzip"
    [fuzz]="clang-14 libfuzzer-14-dev cmake ninja-build"
)

wanted=()
for group in "$@"; do
    [[ -n "${groups[$group]:-}" ]] || { echo "deps.sh: unknown group '$group'" >&2; exit 2; }
    wanted+=(${groups[$group]})
done

missing=()
for pkg in "${wanted[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$pkg")
done
((${#missing[@]} == 0)) && exit 0

echo "Installing missing packages: ${missing[*]}"
if [[ $(id -u) -eq 0 ]]; then
    sudo=()
elif command -v sudo >/dev/null; then
    sudo=(sudo)
else
    echo "These Debian packages are missing and there is no root or sudo to install them:" >&2
    echo "    ${missing[*]}" >&2
    echo "Install them with: apt-get install ${missing[*]}" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
if ! "${sudo[@]}" apt-get install -y -q "${missing[@]}"; then
    "${sudo[@]}" apt-get update -q
    "${sudo[@]}" apt-get install -y -q "${missing[@]}" || {
        echo "Could not install: ${missing[*]}" >&2
        exit 1
    }
fi
