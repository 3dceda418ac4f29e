#!/bin/bash
# varnoke-cli.exe --list-ports under Wine: the ports Windows lists include
# the COM1 that the prefix maps to the simulator's link, as a line and as a
# JSON object; the program needs no link for it and ends with 0.
#
# usage: wine_list_ports.sh CLI_EXE SIMULATOR BASE_DIR
set -u
exe=$1
sim=$2
source "$(dirname "$0")/wine_lib.sh"
wine_setup "$3" list_ports

start_simulator "$sim"

run_cli --list-ports
[ "$status" -eq 0 ] || fail "--list-ports ended with $status"
grep -q '^COM1  \\\\\.\\COM1  .' "$work/out.txt" || fail "no line for COM1"
[ -s "$work/err.txt" ] && fail "it wrote to standard error"
lines=$(wc -l <"$work/out.txt")

run_cli --list-ports --json
[ "$status" -eq 0 ] || fail "--list-ports --json ended with $status"
[ "$(wc -l <"$work/out.txt")" -eq "$lines" ] || fail "not one JSON object a port"
if command -v jq >/dev/null; then
    [ "$(jq -r 'select(.port == "COM1") | .path' "$work/out.txt")" = '\\.\COM1' ] ||
        fail "no JSON object for COM1"
fi
echo "PASS: COM1 among the $lines ports Windows lists"
