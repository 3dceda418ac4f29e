#!/bin/sh
# varnoke_connect_test.sh varnoke varnoke-sim artifact-dir: the real program
# on $DISPLAY against the device simulator on COM1 (a pseudo-terminal in a
# private prefix). With real pointer and key events it picks COM1 in the kind
# list, connects, sends a typed "v" and checks at the simulator's end of the
# line that both request frames arrived; then Disconnect and Exit. The
# Connected window is kept as a screenshot in the artifact directory.
set -u
program=$1
sim=$2
artifacts=$3
mkdir -p "$artifacts"
. "$(dirname "$0")/window_steps.sh"
also_show="$work/out $work/sim.out $work/sim.log"

# frames hex: how often the byte sequence came in on the line, however the
# reads split it.
frames() {
    sed -n 's/.* serial  < //p' "$work/sim.log" | tr '\n' ' ' | awk -v f="$1" '
        { n = 0; s = " " $0; while ((i = index(s, " " f " ")) > 0) { n++; s = substr(s, i + 1) } }
        END { print n + 0 }'
}

export VARNOKE_PREFIX="$work/prefix"
link="$VARNOKE_PREFIX/dosdevices/com1"
"$sim" --com 1 --log "$work/sim.log" --log-bytes </dev/null >"$work/sim.out" 2>&1 &
sim_pid=$!
wait_for 'grep -qx "serial: COM1 is $link" "$work/sim.out"' || fail "the simulator did not link COM1"

VARNOKE_UI_TRACE="$work/trace" "$program" </dev/null >"$work/out" 2>&1 &
pid=$!
find_window
wait_for 'grep -qx "log 0 Varnoke started" "$work/trace"' || fail "the window never got \"Varnoke started\""

# COM1 is preselected: picking COM2 first shows that the clicks reach the
# items they aim at.
pick 76 242 50 13 1 15
wait_for 'grep -qx "pick 1035 COM2" "$work/trace"' || fail "picking COM2 did not reach the program"
pick 76 242 50 13 0 15
wait_for 'grep -qx "pick 1035 COM1" "$work/trace"' || fail "picking COM1 did not reach the program"

click 218 242 41 14 # "Connect"
wait_for '[ "$(caption)" = Disconnect ]' || fail "Connect did not end in Connected"
grep -q "^log [0-9]* Opened port COM1, 115200, Parity NONE, Data 8, Stop 1$" "$work/trace" ||
    fail "COM1 was not opened at the preselected rate"
grep -q '^log [0-9]* Device info: \[ESD-SIM/' "$work/trace" || fail "no device information"
[ "$(requests v)" -eq 1 ] || fail "the simulator did not answer exactly one \"v\" on Connect"

click 4 193 282 13 # the command field
xdotool type --delay 30 v || fail "xdotool could not type"
click 307 193 67 14 # "Send command"
wait_for '[ "$(requests v)" -eq 2 ]' || fail "the typed \"v\" did not reach the simulator"
[ "$(frames "02 76 2F 36 35 03")" -eq 2 ] || fail "the line did not carry STX v/65 ETX twice"
wait_for '[ "$(grep -c "^log [0-9]* Replied frame \[ESD-SIM/" "$work/trace")" -eq 2 ]' ||
    fail "the reply to the typed \"v\" was not shown"
import -window root "$artifacts/varnoke_connected.png" || fail "no screenshot"

click 218 242 41 14 # "Disconnect"
wait_for '[ "$(caption)" = Connect ]' || fail "Disconnect did not end in Disconnected"
grep -q "^log [0-9]* Closed port COM1$" "$work/trace" || fail "no \"Closed port COM1\""

press_exit

kill $sim_pid
wait $sim_pid
status=$?
sim_pid=""
[ $status -eq 0 ] || fail "the simulator ended with status $status"
[ -L "$link" ] && fail "the simulator left its COM1 link behind"
echo "PASS: COM1 picked, connected, typed \"v\" sent and seen on the line, disconnected, exit 0"
