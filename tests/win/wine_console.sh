#!/bin/bash
# The Windows program under Wine driven as an operator drives it, with real X
# input, against the device simulator: COM1 is chosen in the kind list,
# Connect pressed and a typed request sent; the simulator must have received
# the exact frames. Then the same over TCP on loopback. "Exit" ends the
# process with 0.
#
# usage: wine_console.sh EXE RC_FILE SIMULATOR BASE_DIR
#   EXE        the x86_64 varnoke.exe
#   RC_FILE    the dialog template (control rectangles in dialog units)
#   SIMULATOR  varnoke-sim
#   BASE_DIR   Wine prefix, and logs, trace and screenshots under console/
set -u
exe=$1
rc_file=$2
sim=$3
source "$(dirname "$0")/wine_lib.sh"
wine_setup "$4" console

# How often the simulator has answered the request $2 on side $1.
answered() { grep -c " $1 *\"$2\" -> " "$work/sim.log"; }
answered_times() { [ "$(answered "$1" "$2")" -eq "$3" ]; }

# Opens the connection kind list (a window of its own, right under the box,
# one line per item, its first line the selected item or the first item):
# sets list_x, list_y.
open_kind_list() {
    control_rect 1035
    click_at "$px" $((top + base_y / 2))
    poll 50 dropped_list || fail "the connection kind list did not drop down"
}
# Clicks line $1 of the open list.
click_list_line() {
    click_at $((list_x + width / 2)) $((list_y + 1 + base_y * $1 + base_y / 2))
    poll 50 dropped_list_gone || fail "the connection kind list stayed open"
}
dropped_list() {
    local w
    for w in $(xdotool search --onlyvisible --name '^$' 2>/dev/null); do
        eval "$(xdotool getwindowgeometry --shell "$w" | sed 's/^/L/')"
        if [ "$LX" -eq "$left" ] && [ "$LY" -ge "$top" ] && [ "$LHEIGHT" -gt "$base_y" ]; then
            list_x=$LX
            list_y=$LY
            return 0
        fi
    done
    return 1
}
dropped_list_gone() { ! dropped_list >/dev/null; }

# Types $1 into the command field and presses "Send command".
send_typed() {
    click_control 1001
    xdotool key ctrl+a BackSpace && xdotool type --delay 50 "$1" ||
        fail "xdotool could not type \"$1\""
    click_control 1002
}

# The TCP side on a loopback address of its own, away from anything else
# that might listen on port 9101.
tcp_address=127.0.0.9
start_simulator "$sim" --serial --tcp $tcp_address
poll 100 grep -q "^tcp: $tcp_address:9101\$" "$work/sim.out" ||
    fail "the simulator's TCP side did not start (see $work/sim.out)"
start_program
measure_window
screenshot started.png

# COM2 first, so that choosing COM1 is a change of selection. With COM1
# selected the list begins with it; with COM2, Home brings it back to the top.
open_kind_list
click_list_line 1
open_kind_list
xdotool key Home
screenshot kind_list.png
click_list_line 0
click_control 1007
expect_logged 'Opened port COM1, 115200, Parity NONE, Data 8, Stop 1'
expect_logged 'Device info: \[ESD-SIM/.*\]'
send_typed v
poll 200 answered_times serial v 2 ||
    fail "the simulator did not answer the typed \"v\" (answered $(answered serial v) times)"
# The enquiry and the request frame, twice; the ACK of the last reply may
# still be on its way.
frame="02 76 2F 36 35 03 "
bytes=$(received_bytes serial)
[[ "$bytes" == *"05 $frame"*"05 $frame"* ]] ||
    fail "the simulator received \"$bytes\", not twice the enquiry and \"$frame\""
echo "COM1: the simulator received $bytes"
screenshot com1.png
click_control 1007 # Disconnect
expect_logged 'Closed port COM1'

# TCP: the kind picked by typing its first letter into the open list, the
# device's address typed into the address box.
open_kind_list
xdotool key t Return
poll 50 dropped_list_gone || fail "the connection kind list stayed open"
expect_logged 'Init TCP OK:'
control_rect 1034
click_at $((left + base_x * 2)) $((top + base_y / 2))
xdotool type --delay 50 $tcp_address || fail "xdotool could not type the address"
click_control 1007
expect_logged "init connection with $tcp_address"
expect_logged 'Device info: \[ESD-SIM/.*\]'
send_typed v
poll 200 answered_times tcp v 2 ||
    fail "the simulator did not answer the typed \"v\" over TCP (answered $(answered tcp v) times)"
# The bare request text, nothing around it.
bytes=$(received_bytes tcp)
[ "$bytes" = "76 76 " ] || fail "the simulator received \"$bytes\" over TCP, not \"76 76 \""
echo "TCP: the simulator received $bytes"
screenshot tcp.png
click_control 1007 # Disconnect
expect_logged 'Closed network services'

control_rect 1004
click_to_end '"Exit"' "$px" "$py"
