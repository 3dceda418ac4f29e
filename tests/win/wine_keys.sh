#!/bin/bash
# The Windows program under Wine with real X input against the device
# simulator on COM1, from the keyboard: COM4, which has no device, shows
# "Cannot open port COM4..." and then the ports the system lists, COM1
# among them; Return in the address/rate box connects, Return in the
# command field sends; Return in the box while Connected presses nothing.
# Then the window grown by its corner to 1000x800: the command field and
# the two path fields reach to within 12 pixels of their buttons, the Reply
# field is as much wider, and a request typed at the far end of the command
# field goes out with Return. "Exit" ends the process with 0.
#
# usage: wine_keys.sh EXE RC_FILE SIMULATOR BASE_DIR
set -u
exe=$1
rc_file=$2
sim=$3
wine_screen=1600x1280x24 # room for the centred window grown to 1000x800
source "$(dirname "$0")/wine_lib.sh"
wine_setup "$4" keys

answered() { grep -c " serial *\"$1\" -> " "$work/sim.log"; }
answered_times() { [ "$(answered "$1")" -eq "$2" ]; }
expect_answered() {
    poll 200 answered_times "$1" "$2" ||
        fail "the simulator answered \"$1\" $(answered "$1") times, not $2"
}
# The last size the program traced: sets grown_w, grown_h, client_x,
# client_y (screen), dw and dh (growth from the start).
read_size() {
    read -r grown_w grown_h client_x client_y < <(grep '^size ' "$work/trace.txt" | tail -n 1 |
        sed -n 's/^size \([0-9]*\) \([0-9]*\) log-lines-shown [0-9]* at \(-\{0,1\}[0-9]*\),\(-\{0,1\}[0-9]*\)$/\1 \2 \3 \4/p')
    [ -n "${client_y:-}" ] || fail "no size in the trace"
    dw=$((grown_w - start_w))
    dh=$((grown_h - start_h))
}
traced_size() { read_size && [ "$grown_w" -eq "$1" ] && [ "$grown_h" -eq "$2" ]; }
# The last place traced for control $1: sets cx, cy, cw, ch (client pixels).
place_of() {
    read -r cx cy cw ch < <(grep "^place $1 " "$work/trace.txt" | tail -n 1 |
        sed 's/^place [0-9]* \(-\{0,1\}[0-9]*\),\(-\{0,1\}[0-9]*\),\([0-9]*\),\([0-9]*\)$/\1 \2 \3 \4/')
    [ -n "${ch:-}" ] || fail "no place of control $1 in the trace"
}
# The connection kind list, dropped down: a window of its own right under
# the box.
dropped_list() {
    local w
    for w in $(xdotool search --onlyvisible --name '^$' 2>/dev/null); do
        eval "$(xdotool getwindowgeometry --shell "$w" | sed 's/^/L/')"
        [ "$LX" -eq "$left" ] && [ "$LY" -ge "$top" ] && [ "$LHEIGHT" -gt "$base_y" ] && return 0
    done
    return 1
}
dropped_list_gone() { ! dropped_list; }
# Picks a line of the connection kind list with the keys given once the
# list is down.
pick_kind() {
    control_rect 1035
    click_at "$px" $((top + base_y / 2))
    poll 50 dropped_list || fail "the connection kind list did not drop down"
    xdotool key "$@" || fail "xdotool could not press $*"
    poll 50 dropped_list_gone || fail "the connection kind list stayed open"
}
# Clicks into the address/rate box's field and presses Return.
return_in_address() {
    control_rect 1034
    click_at $((left + base_x * 2)) $((top + base_y / 2))
    xdotool key Return || fail "xdotool could not press Return"
}
# Types $1 into the command field and presses Return.
return_in_command() {
    click_control 1001
    xdotool key ctrl+a BackSpace && xdotool type --delay 50 "$1" && xdotool key Return ||
        fail "xdotool could not type \"$1\" and Return"
}

start_simulator "$sim"
start_program
measure_window
start_w=$(muldiv 380 "$base_x" 4)
start_h=$(muldiv 258 "$base_y" 8)
place_of 1028
reply_start_w=$cw

# COM4 has no device: the box, then the ports the system lists.
pick_kind Down Down Down Return
return_in_address
answer_box 'Cannot open port COM4\.\.\.' 1
expect_logged 'Failed opening COM4 port\.\.\.'
expect_logged 'Serial port found: COM1 (.*)'
grep '^log [0-9]* Serial port found: ' "$work/trace.txt"

# Back to COM1: Return in the address/rate box connects.
pick_kind Home Return
return_in_address
expect_logged 'Opened port COM1, 115200, Parity NONE, Data 8, Stop 1'
expect_logged 'Device info: \[ESD-SIM/.*\]'
return_in_command '?'
expect_answered '?' 1
# Connected, the box is disabled and cannot take the key (a click there
# leaves the focus where it was); the headless window test covers the rule.
return_in_command v
expect_answered v 2
logged 'Closed port COM1' && fail "Return closed the port"
screenshot keys.png

# Grown to 1000x800 by its corner.
read_size
xdotool mousemove --sync $((X + WIDTH - 2)) $((Y + HEIGHT - 2)) mousedown 1 &&
    xdotool mousemove --sync $((X + WIDTH - 2 + (1000 - start_w) / 2)) \
        $((Y + HEIGHT - 2 + (800 - start_h) / 2)) &&
    xdotool mousemove --sync $((X + WIDTH - 2 + 1000 - start_w)) \
        $((Y + HEIGHT - 2 + 800 - start_h)) mouseup 1 ||
    fail "xdotool could not drag the window's corner"
poll 50 traced_size 1000 800 || fail "the window is ${grown_w}x$grown_h after the drag, not 1000x800"
for pair in "1001 1002" "1008 1009" "1031 1032"; do
    read -r field button <<<"$pair"
    place_of "$field"
    fx=$cx fy=$cy fw=$cw
    place_of "$button"
    gap=$((cx - fx - fw))
    [ "$gap" -ge 0 ] && [ "$gap" -le 12 ] || fail "control $button is $gap pixels from field $field"
    [ $((cy - fy)) -le 12 ] && [ $((fy - cy)) -le 12 ] ||
        fail "control $button is not on the row of field $field"
    echo "field $field ends $gap pixels before control $button"
done
place_of 1028
[ "$cw" -eq $((reply_start_w + dw)) ] ||
    fail "the Reply field is $cw pixels wide, not $dw more than the $reply_start_w at start"
place_of 1001
click_at $((client_x + cx + cw - 6)) $((client_y + cy + ch / 2))
xdotool key ctrl+a BackSpace && xdotool type --delay 50 '?' && xdotool key Return ||
    fail "xdotool could not type into the grown command field"
expect_answered '?' 2
screenshot grown.png

control_rect 1004
click_to_end '"Exit" of the grown window' $((px + dw)) $((py + dh))
echo "PASS: the ports after COM4's box, Return connected and sent, the grown fields reach their buttons"
