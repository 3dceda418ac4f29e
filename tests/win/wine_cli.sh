#!/bin/bash
# varnoke-cli.exe under Wine against the device simulator on COM1: "--com 1
# --send v" connects as the window does, prints the device's answer and
# ends with 0; a request the device refuses ends with 1, a bad option with
# 64 before anything is opened; --zreport checks the report and sends x/2;
# with --reconnect a batch outlives the simulator killed (its pty gone) and
# started again on COM1. --check passes every check of the serial line.
#
# usage: wine_cli.sh CLI_EXE SIMULATOR BASE_DIR
set -u
exe=$1
sim=$2
source "$(dirname "$0")/wine_lib.sh"
wine_setup "$3" cli

start_simulator "$sim"

run_cli --com 1 --send v
[ "$status" -eq 0 ] || fail "--send v ended with $status"
# The simulator's answers to the two requests "v": Connect's and the one sent.
replies=$(sed -n 's/^ *[0-9.]* serial  "v" -> "\(.*\)"$/\1/p' "$work/sim.log")
[ "$(echo "$replies" | wc -l)" -eq 2 ] || fail "the simulator did not answer \"v\" twice: $replies"
reply=$(echo "$replies" | tail -n 1)
printf '%s\n' "Opened port COM1, 115200, Parity NONE, Data 8, Stop 1" "Reading device info" \
    "Device info: [${reply:9}]" "Reply: $reply" "Closed port COM1" >"$work/expected.txt"
diff -u "$work/expected.txt" "$work/out.txt" || fail "the output is not the device's answer"
[ -s "$work/err.txt" ] && fail "it wrote to standard error"

# The device check over Wine's COM port: every check passes, and only "v"
# and "?" reached the device.
before=$(wc -l <"$work/sim.log")
run_cli --com 1 --check
[ "$status" -eq 0 ] || fail "--check ended with $status: $(cat "$work/out.txt" "$work/err.txt")"
grep -qx '8 passed, 0 failed, 0 skipped in .*' "$work/out.txt" || fail "no count: $(cat "$work/out.txt")"
grep -q '^FAIL' "$work/out.txt" && fail "a check failed: $(cat "$work/out.txt")"
tail -n +$((before + 1)) "$work/sim.log" |
    grep -v -e 'serial  "v" -> ' -e 'serial  "?" -> ' -e 'serial  < ' -e 'bad request frame refused' |
    grep -q . && fail "--check sent more than \"v\" and \"?\": $(cat "$work/sim.log")"

run_cli --com 1 --send Zz
[ "$status" -eq 1 ] || fail "a refused request ended with $status, not 1"
grep -qx 'varnoke-cli: --send Zz: request 1 (Zz) was refused by the device: error 0x06 BADREQ' \
    "$work/err.txt" || fail "no message about the refused request"

run_cli --com 1 --baud 300
[ "$status" -eq 64 ] || fail "a bad rate ended with $status, not 64"
[ -s "$work/out.txt" ] && fail "a bad option still wrote the log"
grep -q "^varnoke-cli: --baud wants one of " "$work/err.txt" || fail "no message about the rate"
# The Z-report check from the report itself, after a signing (the device
# issues no Z without one); every request timed in microseconds.
mkdir -p "$WINEPREFIX/drive_c/out"
printf 'one signed line\n' >"$work/doc.txt"
run_cli --com 1 --json --sign "Z:$(tr / '\\' <<<"$work/doc.txt")" --zreport
[ "$status" -eq 0 ] || fail "--zreport ended with $status, not 0"
summary=$(tail -n 1 "$work/out.txt")
case "$summary" in
*'"action":"zreport"'*'"verdict":"match"'*) ;;
*) fail "no matching verdict in: $summary" ;;
esac
grep -q '"us":[0-9]' "$work/out.txt" || fail "no request timed in microseconds"
grep -q 'serial  "x/2" -> ' "$work/sim.log" || fail "x/2 was not sent after the check"

# An unplug in the middle of a batch: the loss is noticed, not waited out
# through the enquiry's time-outs, and the port reopened by its name.
for ((i = 0; i < 2000; i++)); do echo v; done >"$work/long.txt"
wine "$exe" --com 1 --reconnect --quiet --batch "Z:$(tr / '\\' <<<"$work/long.txt")" \
    >"$work/out.raw" 2>"$work/err.raw" &
cli_pid=$!
poll 600 grep -q 'L00005> v' "$work/out.raw" || fail "the batch did not start"
kill -KILL "$sim_pid"
wait "$sim_pid" 2>/dev/null
sleep 3
start_simulator "$sim"
timeout 120 tail --pid="$cli_pid" -f /dev/null
wait "$cli_pid"
status=$?
tr -d '\r' <"$work/out.raw" >"$work/out.txt"
[ "$status" -eq 0 ] || fail "the batch across an unplug ended with $status: $(tr -d '\r' <"$work/err.raw")"
grep -qx 'COM1: the device has gone (the adapter was unplugged?)' "$work/out.txt" ||
    fail "the loss of the device was not noticed"
grep -q 'timedout' "$work/out.txt" && fail "the loss was waited out: $(grep timedout "$work/out.txt")"
grep -qx 'Reopened port COM1' "$work/out.txt" || fail "COM1 was not reopened"
missing=$(seq -f 'L%05g> v' 1 2000 | grep -vxFf "$work/out.txt" | head -n 3)
[ -z "$missing" ] || fail "lines not sent after the unplug: $missing"
echo "PASS: the device's answer, a refusal, a usage error, the Z-report check and an unplug, each with its status"
