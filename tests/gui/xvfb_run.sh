#!/bin/sh
# xvfb_run.sh [--screen WxHxD] command [argument...]: runs the command
# against a private virtual X server (1024x768x24 unless given) on a free
# display and returns the command's status.
set -u
screen=1024x768x24
if [ "${1:-}" = --screen ]; then
    screen=$2
    shift 2
fi

missing=""
for tool in Xvfb xdotool import convert; do
    command -v "$tool" >/dev/null 2>&1 || missing="$missing $tool"
done
if [ -n "$missing" ]; then
    echo "missing:$missing (Debian packages xvfb xdotool imagemagick)" >&2
    exit 1
fi

work=$(mktemp -d)
# Xvfb picks a free display itself and writes its number once it accepts
# connections.
Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; wait $xvfb 2>/dev/null; rm -rf "$work"' EXIT INT TERM

i=0
while [ ! -s "$work/display" ]; do
    i=$((i + 1))
    if [ $i -gt 100 ] || ! kill -0 $xvfb 2>/dev/null; then
        echo "Xvfb did not start:" >&2
        cat "$work/xvfb.log" >&2
        exit 1
    fi
    sleep 0.1
done

DISPLAY=":$(cat "$work/display")" "$@"
status=$?
exit $status
