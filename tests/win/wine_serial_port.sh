#!/bin/bash
# The COM port layer on Wine's communications functions: the probe program
# talks to the device simulator on COM1 byte by byte and through the serial
# protocol; the simulator must have received the exact frames.
#
# usage: wine_serial_port.sh PROBE_EXE SIMULATOR BASE_DIR
set -u
exe=$1
sim=$2
source "$(dirname "$0")/wine_lib.sh"
wine_setup "$3" serial_port

start_simulator "$sim"
run_probe

# The enquiry and the frame of "v" sent by hand, and the same again by the
# serial protocol. The CANs before each enquiry, and the ACK of a reply just
# before them, may be missing: Wine's purge also drops what the
# pseudo-terminal's other end has not read yet.
bytes=$(received_bytes serial)
frames="05 02 76 2F 36 35 03 "
[[ "$bytes" == *"$frames"*"$frames"* ]] ||
    fail "the simulator received \"$bytes\", not twice \"$frames\""
[ "$(grep -c ' serial  "v" -> "00/00/00/' "$work/sim.log")" -eq 2 ] ||
    fail "the simulator did not answer \"v\" twice"
echo "the simulator received: $bytes"
