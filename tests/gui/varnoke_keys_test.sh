#!/bin/sh
# varnoke_keys_test.sh varnoke varnoke-sim artifact-dir: the real program on
# $DISPLAY (a screen of at least 1024x800) against the device simulator on
# COM1, driven from the keyboard: Return in the address/rate box connects,
# Return in the command field sends the typed request; Return in the box
# while Connected and in a path field presses nothing. Then the window grown
# to 1000x800: the command field reaches to "Send command", and a request
# typed at its far end goes out with Return. The grown window is kept as a
# screenshot in the artifact directory.
set -u
program=$1
sim=$2
artifacts=$3
mkdir -p "$artifacts"
. "$(dirname "$0")/window_steps.sh"
also_show="$work/out $work/sim.log"

# type_at x y text: clicks at the pixel, clears the field there and types.
type_at() {
    xdotool mousemove --sync "$1" "$2" click 1 && xdotool key ctrl+a BackSpace &&
        { [ -z "$3" ] || xdotool type --delay 30 "$3"; } || fail "xdotool could not type at $1,$2"
}
press_return() { xdotool key Return || fail "xdotool could not press Return"; }

export VARNOKE_PREFIX="$work/prefix"
"$sim" --com 1 --log "$work/sim.log" </dev/null >"$work/sim.out" 2>&1 &
sim_pid=$!
wait_for 'grep -q "^serial: COM1 is " "$work/sim.out"' || fail "the simulator did not link COM1"

VARNOKE_UI_TRACE="$work/trace" "$program" </dev/null >"$work/out" 2>&1 &
pid=$!
find_window
wait_for 'grep -qx "log 0 Varnoke started" "$work/trace"' || fail "no \"Varnoke started\""

# Return in the address/rate box, Disconnected: Connect.
centre 130 242 84 13
type_at $((cx - 20)) $cy 115200
press_return
wait_for '[ "$(caption)" = Disconnect ]' || fail "Return in the address box did not connect"
[ "$(requests v)" -eq 1 ] || fail "Connect did not send its one \"v\""

# Return in the command field: Send command.
centre 4 193 282 13
type_at $cx $cy '?'
press_return
wait_for '[ "$(requests "?")" -eq 1 ]' || fail "Return in the command field did not send \"?\""

# Return in the box while Connected, and in the signing path field, press
# nothing: the request after them is the only one that goes out, and the
# link stays as it was.
centre 130 242 84 13
xdotool mousemove --sync $((cx - 20)) $cy click 1 && press_return
centre 4 209 282 13
type_at $cx $cy "$work/nothing.txt"
press_return
centre 4 193 282 13
type_at $cx $cy v
press_return
wait_for '[ "$(requests v)" -eq 2 ]' || fail "the typed \"v\" was not sent"
[ "$(caption)" = Disconnect ] || fail "Return in the address box while Connected changed the link"
grep -q "^log [0-9]* Closed port COM1$" "$work/trace" && fail "the port was closed"
# A signing of the missing file would have stopped at its message box.
grep -q "nothing.txt" "$work/out" && fail "the path field's Return ran an operation"

# Grown to 1000x800: the command field reaches to within 12 pixels of "Send
# command", whose place is 430 pixels further right; a request typed at the
# field's far end goes out with Return.
xdotool windowmove --sync "$wid" 0 0 && xdotool windowsize --sync "$wid" 1000 800 ||
    fail "xdotool could not resize the window"
wait_for 'grep -q "^size 1000 800 " "$work/trace"' || fail "the window did not take 1000x800"
find_window
send_left=$(((307 * 6 + 2) / 4 + 1000 - 570))
type_at $((WX + send_left - 12)) $((WY + (193 * 13 + 4) / 8 + 8)) '?'
press_return
wait_for '[ "$(requests "?")" -eq 2 ]' || fail "the far end of the grown command field took no request"
import -window root "$artifacts/varnoke_keys_grown.png" || fail "no screenshot"

WX=$((WX + 1000 - 570)) # "Exit", from the bottom-right
WY=$((WY + 800 - 419))
press_exit
echo "PASS: Return connected and sent; it pressed nothing elsewhere; the grown command field reached its button"
