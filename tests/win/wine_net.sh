#!/bin/bash
# The network links on WinSock under Wine: the probe program talks to the
# device simulator's TCP side and an RMLX device on loopback addresses of
# their own; the simulator must have received the bare request texts and the
# RMLX frames.
#
# usage: wine_net.sh PROBE_EXE SIMULATOR BASE_DIR
set -u
exe=$1
sim=$2
source "$(dirname "$0")/wine_lib.sh"
wine_setup "$3" net

# The first TCP request goes unanswered.
"$sim" --tcp 127.0.0.9 --rmlx 127.0.0.8 --net-silent 1 --log "$work/sim.log" --log-bytes \
    >"$work/sim.out" 2>&1 &
sim_pid=$!
poll 100 grep -q '^tcp: 127.0.0.9:9101$' "$work/sim.out" ||
    fail "the simulator's network sides did not start (see $work/sim.out)"

run_probe

tcp=$(received_bytes tcp)
[ "$tcp" = "3F 76 " ] || fail "the TCP side received \"$tcp\", not \"3F 76 \""
# The request frame of "v": the console's id, then after the rest of the
# header the bare text.
grep -q ' rmlx    < 8F E1 .* 76$' "$work/sim.log" || fail "no RMLX request frame of \"v\" arrived"
grep -q ' rmlx    "v" -> "00/00/00/ESD-SIM/' "$work/sim.log" || fail "the RMLX device did not answer \"v\""
echo "the TCP side received: $tcp"
