#!/bin/bash
# The Windows program under Wine with real X input against the device
# simulator on COM1: a command brought back with Up is sent again; the log's
# context menu opens on the right button and "Save log as..." writes the log
# through the save dialog; the window, grown by its corner and then
# maximised, shows more of the log and its controls answer where they moved.
# "Exit" ends the process with 0.
#
# usage: wine_record.sh EXE RC_FILE SIMULATOR BASE_DIR
#   EXE        the x86_64 varnoke.exe
#   RC_FILE    the dialog template (control rectangles in dialog units)
#   SIMULATOR  varnoke-sim
#   BASE_DIR   Wine prefix, and logs, trace and screenshots under record/
set -u
exe=$1
rc_file=$2
sim=$3
source "$(dirname "$0")/wine_lib.sh"
wine_setup "$4" record

answered() { grep -c " serial *\"$1\" -> " "$work/sim.log"; }
answered_times() { [ "$(answered "$1")" -eq "$2" ]; }
expect_answered() {
    poll 200 answered_times "$1" "$2" ||
        fail "the simulator answered \"$1\" $(answered "$1") times, not $2"
}
new_window() {
    local w
    popup=
    for w in $(xdotool search --onlyvisible --name '' 2>/dev/null); do
        case " $windows_before " in *" $w "*) ;; *) popup=$w ;; esac
    done
    [ -n "$popup" ]
}
# The last size the program traced: sets client_x, client_y (screen), grown_w,
# grown_h, rows (log lines in view), dw and dh (growth from the start).
read_size() {
    local line
    line=$(grep '^size ' "$work/trace.txt" | tail -n 1)
    read -r grown_w grown_h client_x client_y rows < <(sed -n \
        's/^size \([0-9]*\) \([0-9]*\) log-lines-shown \([0-9]*\) at \(-\{0,1\}[0-9]*\),\(-\{0,1\}[0-9]*\)$/\1 \2 \4 \5 \3/p' \
        <<<"$line")
    [ -n "${rows:-}" ] || fail "no size in the trace: $line"
    dw=$((grown_w - start_w))
    dh=$((grown_h - start_h))
}
traced_size() { read_size && [ "$grown_w" -eq "$1" ] && [ "$grown_h" -eq "$2" ]; }
traced_size_over() { read_size && [ "$grown_w" -gt "$1" ]; }
# Clicks control $1 where its anchor ($2: left or right) takes it.
click_moved() {
    control_rect "$1"
    [ "$2" = right ] && px=$((px + dw))
    py=$((py + dh))
    click_at "$px" "$py"
}

start_simulator "$sim"
start_program
measure_window
start_w=$(muldiv 380 "$base_x" 4)
start_h=$(muldiv 258 "$base_y" 8)
read_size
[ "$dw" -eq 0 ] && [ "$dh" -eq 0 ] || fail "the window starts at ${grown_w}x$grown_h, not the template's size"
start_rows=$rows
click_control 1007 # Connect
expect_logged 'Device info: \[ESD-SIM/.*\]'

# A typed command, then Up in the emptied field brings it back for Send.
click_control 1001
xdotool type --delay 50 v || fail "xdotool could not type"
click_control 1002
expect_answered v 2
click_control 1001
xdotool key ctrl+a BackSpace Up || fail "xdotool could not press Up"
click_control 1002
expect_answered v 3
[ "$(answered "")" -eq 0 ] || fail "the emptied field was sent: Up did not bring back \"v\""
echo "Up brought back \"v\", sent again"

# The log's menu on the right button, then "Save log as...".
entries=$(($(sed -n 's/^log \([0-9]*\) .*/\1/p' "$work/trace.txt" | sort -n | tail -n 1) + 1))
windows_before=$(xdotool search --onlyvisible --name '' 2>/dev/null | tr '\n' ' ')
control_rect 1000
xdotool mousemove --sync "$px" "$py" click 3 || fail "xdotool could not press the right button"
poll 50 new_window || fail "no menu opened on the log"
grep -q '^menu-at 6 ' "$work/trace.txt" || fail "the program did not open its menu"
screenshot menu.png
eval "$(xdotool getwindowgeometry --shell "$popup")"
click_at $((X + WIDTH / 2)) $((Y + HEIGHT * 7 / 12)) # the fourth of six items
dialog=$(timeout 20 xdotool search --sync --onlyvisible --name '^Save log as$' | head -n 1)
[ -n "$dialog" ] || fail "no dialog \"Save log as\""
eval "$(xdotool getwindowgeometry --shell "$dialog")"
xdotool mousemove --sync $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) || fail "xdotool could not move"
saved="Z:$(tr / '\\' <<<"$work/saved.log")"
xdotool key ctrl+a && xdotool type --delay 20 "$saved" && xdotool key Return ||
    fail "xdotool could not type into the save dialog"
expect_logged "Log saved to \[$(sed 's/[\\.]/\\&/g' <<<"$saved")\]"
[ "$(grep -c $'\r$' "$work/saved.log")" -eq "$entries" ] && [ "$(wc -l <"$work/saved.log")" -eq "$entries" ] ||
    fail "the saved log does not hold the $entries entries in lines ended by CR LF"
stamp='[0-9]\{4\}-[0-9][0-9]-[0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9]\.[0-9]\{3\}  '
head -n 1 "$work/saved.log" | grep -q "^$(date +%Y-%m-%d) [0-9:.]\{12\}  Varnoke started"$'\r$' ||
    fail "the saved log does not begin with today's \"Varnoke started\""
grep -q "^${stamp}Opened port COM1, 115200, Parity NONE, Data 8, Stop 1"$'\r$' "$work/saved.log" ||
    fail "the saved log lacks \"Opened port COM1...\""
echo "the menu saved $entries entries to $saved"

# From the keyboard while the log has the focus: at the log's corner.
menus() { grep -c '^menu-at 6 ' "$work/trace.txt"; }
menus_opened() { [ "$(menus)" -eq "$1" ]; }
control_rect 1000
click_at "$px" "$py"
xdotool key shift+F10 || fail "xdotool could not press Shift+F10"
poll 50 menus_opened 2 || fail "Shift+F10 on the log opened no menu"
grep -q "^menu-at 6 $((left + 8)),$((top + 8))\$" "$work/trace.txt" ||
    fail "the menu from the keyboard did not open at the log's corner"
xdotool key Escape
poll 50 grep -q '^menu-pick -1 $' "$work/trace.txt" || fail "Escape did not dismiss the menu"

# "Show times" (the third item), then "Copy all" (the second), each from
# a right click a little lower (a move to where the pointer is waits long).
pick_from_menu() {
    control_rect 1000
    windows_before=$(xdotool search --onlyvisible --name '' 2>/dev/null | tr '\n' ' ')
    xdotool mousemove --sync "$px" $((py + $1)) click 3 || fail "xdotool could not right-click"
    poll 50 new_window || fail "no menu opened on the log"
    eval "$(xdotool getwindowgeometry --shell "$popup")"
    click_at $((X + WIDTH / 2)) $((Y + HEIGHT * (2 * $2 + 1) / 12))
    poll 50 grep -q "^menu-pick $2 " "$work/trace.txt" || fail "item $2 was not picked"
}
pick_from_menu 10 2
grep -q '^time-column 1000 1$' "$work/trace.txt" || fail "\"Show times\" showed no time column"
screenshot times.png
pick_from_menu 20 1
grep -q '^clipboard [1-9][0-9]* ' "$work/trace.txt" || fail "\"Copy all\" put nothing on the clipboard"

# Grown by 200 x 150 from its bottom-right corner, in steps as a hand does.
measure_window
xdotool mousemove --sync $((X + WIDTH - 2)) $((Y + HEIGHT - 2)) mousedown 1 &&
    xdotool mousemove --sync $((X + WIDTH + 98)) $((Y + HEIGHT + 73)) &&
    xdotool mousemove --sync $((X + WIDTH + 198)) $((Y + HEIGHT + 148)) mouseup 1 ||
    fail "xdotool could not drag the window's corner"
poll 50 traced_size $((start_w + 200)) $((start_h + 150)) ||
    fail "the window is ${grown_w}x$grown_h after the drag, not $((start_w + 200))x$((start_h + 150))"
[ "$rows" -gt "$start_rows" ] || fail "the grown log shows $rows lines, as at start"
screenshot grown.png
click_moved 1002 right # Send command
expect_answered v 4
click_moved 1030 left # "X"
poll 50 grep -q '^log-count 1000 0$' "$work/trace.txt" || fail "\"X\" was not where it should be"
echo "grown to ${grown_w}x$grown_h: $rows log lines in view (at start $start_rows); Send command and \"X\" answered"
grown_rows=$rows

# Maximised with a double click on the caption.
click_at $((X + WIDTH / 3)) $((Y + frame + 5))
xdotool click 1
poll 50 traced_size_over 900 || fail "a double click on the caption did not maximise the window"
[ "$rows" -gt "$grown_rows" ] || fail "the maximised log shows $rows lines, no more than before"
echo "maximised to ${grown_w}x$grown_h: $rows log lines in view"
screenshot maximised.png
click_moved 1007 left # Disconnect
expect_logged 'Closed port COM1'
control_rect 1004
click_to_end '"Exit" of the maximised window' $((px + dw)) $((py + dh))
