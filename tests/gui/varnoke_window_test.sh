#!/bin/sh
# varnoke_window_test.sh varnoke artifact-dir: starts the real program on
# $DISPLAY, checks that its window shows "Varnoke started", presses "X" and
# "Exit" with real pointer events and checks the log empties and the process
# ends with status 0. Screenshots go to the artifact directory.
set -u
program=$1
artifacts=$2
mkdir -p "$artifacts"
. "$(dirname "$0")/window_steps.sh"

# Darkest grey level (0 black .. 1 white) of the log's first line, as the
# screen shows it.
first_line_darkest() {
    left=$((WX + 8)); top=$((WY + 32))
    import -window root "$work/screen.png" 2>/dev/null &&
        convert "$work/screen.png" -crop 200x12+$left+$top +repage -colorspace Gray \
            -format '%[fx:minima]' info:
}

# below/above level limit: compares a grey level; an empty level (no
# screenshot) is neither.
below() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a != "" && a + 0 < b + 0) }'; }
above() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a != "" && a + 0 > b + 0) }'; }

VARNOKE_UI_TRACE="$work/trace" "$program" </dev/null >"$work/out" 2>&1 &
pid=$!

find_window
[ "$WIDTH" -eq 570 ] && [ "$HEIGHT" -eq 419 ] || fail "client area ${WIDTH}x$HEIGHT, not 570x419"
# No window manager: the window sits where the program put it, centred.
[ "$WX" -eq $(((1024 - 570) / 2)) ] && [ "$WY" -eq $(((768 - 419) / 2)) ] ||
    fail "window at $WX,$WY, not centred on the 1024x768 screen"

wait_for 'grep -qx "log 0 Varnoke started" "$work/trace"' || fail "the log never got \"Varnoke started\""
grep -q "^log 1 " "$work/trace" && fail "more than one log line at start"
wait_for 'below "$(first_line_darkest)" 0.5' || fail "no text drawn in the log's first line"
import -window root "$artifacts/varnoke_started.png" || fail "no screenshot"

click 4 111 10 10 # "X"
wait_for 'grep -qx "log-count 1000 0" "$work/trace"' || fail "\"X\" did not empty the log"
wait_for 'above "$(first_line_darkest)" 0.95' || fail "the log still shows text after \"X\""
import -window root "$artifacts/varnoke_cleared.png" || fail "no screenshot"

press_exit
[ -s "$work/out" ] && { echo "program output:"; cat "$work/out"; }
echo "PASS: window shown, \"X\" cleared the log, \"Exit\" ended the program with status 0"
