#!/bin/sh
# varnoke_record_test.sh varnoke varnoke-sim artifact-dir: the real program on
# $DISPLAY (a screen of at least 1024x800) against the device simulator on
# COM1, with real pointer and key events. After Connect it sends typed
# requests, brings the first one back with Up and sends it again; opens the
# log's context menu with the right button and saves the log through the
# picker; then grows the window to 1000x800 and presses Send command, "X",
# Disconnect and Exit where they now are. The menu and the grown window are
# kept as screenshots in the artifact directory.
set -u
program=$1
sim=$2
artifacts=$3
mkdir -p "$artifacts"
. "$(dirname "$0")/window_steps.sh"
also_show="$work/out $work/sim.log"

command_field() { sed -n 's/^text 1001 //p' "$work/trace" | tail -n 1; }
log_lines() { grep -c '^log [0-9]* ' "$work/trace"; }

# type_command text: replaces the command field's text by typing.
type_command() {
    click 4 193 282 13
    xdotool key ctrl+a BackSpace || fail "xdotool could not clear the command field"
    [ -z "$1" ] || xdotool type --delay 30 "$1" || fail "xdotool could not type"
}

# click_moved dx dy x y w h: clicks a control whose place moved by dx, dy.
click_moved() {
    centre "$3" "$4" "$5" "$6"
    xdotool mousemove --sync $((cx + $1)) $((cy + $2)) click 1 ||
        fail "xdotool could not click at $((cx + $1)),$((cy + $2))"
}

# Darkest grey level (0 black .. 1 white) of a strip of the screen.
darkest() {
    import -window root "$work/screen.png" 2>/dev/null &&
        convert "$work/screen.png" -crop "$1" +repage -colorspace Gray -format '%[fx:minima]' info:
}
below() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a != "" && a + 0 < b + 0) }'; }

# GTK keeps a list of recent files under the home directory.
mkdir -p "$HOME/.local/share"
export VARNOKE_PREFIX="$work/prefix"
"$sim" --com 1 --log "$work/sim.log" </dev/null >"$work/sim.out" 2>&1 &
sim_pid=$!
wait_for 'grep -q "^serial: COM1 is " "$work/sim.out"' || fail "the simulator did not link COM1"

VARNOKE_UI_TRACE="$work/trace" "$program" </dev/null >"$work/out" 2>&1 &
pid=$!
find_window
[ "$WIDTH" -eq 570 ] && [ "$HEIGHT" -eq 419 ] || fail "client area ${WIDTH}x$HEIGHT at start"
wait_for 'grep -qx "log 0 Varnoke started" "$work/trace"' || fail "no \"Varnoke started\""
click 218 242 41 14 # "Connect"
wait_for '[ "$(caption)" = Disconnect ]' || fail "Connect did not end in Connected"

# Two typed requests, then Up twice brings back the first, sent again.
type_command v
click 307 193 67 14
wait_for '[ "$(requests v)" -eq 2 ]' || fail "the typed \"v\" did not reach the simulator"
type_command '?'
click 307 193 67 14
wait_for '[ "$(requests "?")" -eq 1 ]' || fail "the typed \"?\" did not reach the simulator"
type_command ""
xdotool key Up || fail "xdotool could not press Up"
wait_for '[ "$(command_field)" = "?" ]' || fail "Up did not bring back \"?\""
xdotool key Up
wait_for '[ "$(command_field)" = v ]' || fail "a second Up did not bring back \"v\""
click 307 193 67 14
wait_for '[ "$(requests v)" -eq 3 ]' || fail "the recalled \"v\" was not sent"
# Twice more, for a log longer than the grown window shows (the pointer is
# on the button still).
for round in 4 5; do
    xdotool click 1
    wait_for '[ "$(requests v)" -eq $round ]' || fail "\"v\" was not sent again ($round)"
done

# The log's menu, from the right button over the log.
windows_before=$(xdotool search --onlyvisible --name '' 2>/dev/null | tr '\n' ' ')
centre 100 30 10 10 # over the log
xdotool mousemove --sync $cx $cy click 3 || fail "xdotool could not press the right button"
wait_for new_window || fail "no menu opened over the log"
grep -qx "menu 6 Copy|Copy all|Show times|Save log as...|Save wire capture...|Clear" "$work/trace" ||
    fail "the menu does not hold the six items"
grep -q "^menu-at 6 [0-9]*,[0-9]*$" "$work/trace" || fail "where the menu opened was not traced"
import -window root "$artifacts/varnoke_log_menu.png" || fail "no screenshot"
eval "$(xdotool getwindowgeometry --shell "$popup")"
entries=$(log_lines)
xdotool mousemove --sync $((X + WIDTH / 2)) $((Y + HEIGHT * 7 / 12)) click 1 ||
    fail "xdotool could not click \"Save log as...\""
picker=$(timeout 10 xdotool search --sync --onlyvisible --name '^Save log as$' | head -n 1)
[ -n "$picker" ] || fail "no picker \"Save log as\""
# Keys go to the window under the pointer (there is no window manager).
eval "$(xdotool getwindowgeometry --shell "$picker")"
xdotool mousemove --sync $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) || fail "xdotool could not move"
xdotool key ctrl+a && xdotool type --delay 20 "$work/saved.log" && xdotool key Return ||
    fail "xdotool could not type into the picker"
wait_for 'grep -q "^log [0-9]* Log saved to \[$work/saved.log\]$" "$work/trace"' ||
    fail "the log was not saved"
grep -qx "picker 1 Save log as" "$work/trace" || fail "the picker's title was not traced"
grep -qx "picked 1 $work/saved.log" "$work/trace" || fail "the picked path was not traced"
stamp='[0-9]\{4\}-[0-9][0-9]-[0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9]\.[0-9]\{3\}  '
head -n 1 "$work/saved.log" | grep -q "^$(date +%Y-%m-%d) [0-9:.]\{12\}  Varnoke started$" ||
    fail "the saved log does not begin with today's \"Varnoke started\": $(head -n 1 "$work/saved.log")"
[ "$(grep -c "^$stamp" "$work/saved.log")" -eq "$entries" ] &&
    [ "$(wc -l <"$work/saved.log")" -eq "$entries" ] ||
    fail "the saved log does not hold the $entries entries, one a line, each with its time"
grep -q "^${stamp}Opened port COM1, 115200, Parity NONE, Data 8, Stop 1$" "$work/saved.log" ||
    fail "the saved log lacks \"Opened port COM1...\""

# The window grown to 1000x800: more of the log in view, the buttons at the
# right keep their distance to the bottom-right corner, the rest to the
# bottom-left.
xdotool windowmove --sync "$wid" 0 0 && xdotool windowsize --sync "$wid" 1000 800 ||
    fail "xdotool could not resize the window"
wait_for 'grep -q "^size 1000 800 " "$work/trace"' || fail "the window did not take 1000x800"
find_window
[ "$WIDTH" -eq 1000 ] && [ "$HEIGHT" -eq 800 ] || fail "client area ${WIDTH}x$HEIGHT after the resize"
shown=$(sed -n 's/^size 1000 800 log-lines-shown \([0-9]*\) .*/\1/p' "$work/trace" | tail -n 1)
[ "$shown" -ge 20 ] || fail "the grown log shows $shown lines, hardly more than the 9 it shows at start"
# Text is drawn where the log ended at start (its bottom was 182 pixels down).
wait_for 'below "$(darkest "300x40+$((WX + 10))+$((WY + 200))")" 0.5' ||
    fail "no log text below the log's old bottom"
import -window root "$artifacts/varnoke_resized.png" || fail "no screenshot"
dw=$((1000 - 570))
dh=$((800 - 419))
click_moved $dw $dh 307 193 67 14 # "Send command", from the bottom-right
wait_for '[ "$(requests v)" -eq 6 ]' || fail "\"Send command\" was not where it should be"
click_moved 0 $dh 4 111 10 10 # "X", from the bottom-left
wait_for 'grep -qx "log-count 1000 0" "$work/trace"' || fail "\"X\" was not where it should be"
click_moved 0 $dh 218 242 41 14 # "Disconnect"
wait_for '[ "$(caption)" = Connect ]' || fail "\"Disconnect\" was not where it should be"
WX=$((WX + dw)) # "Exit", from the bottom-right
WY=$((WY + dh))
press_exit
echo "PASS: recall sent \"v\" again, the menu saved the log, the grown window's controls answered"
