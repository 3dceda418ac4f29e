#!/bin/bash
# The Windows program under Wine against the device simulator over COM1,
# driven with real X input: a batch file of three lines is run, then a
# document of two blocks (one TEXT, one Base64) is signed. The simulator's
# byte log must hold the exact request frames, in order, and the signature
# it computed must be the document's SHA-1.
#
# usage: wine_signing_batch.sh EXE RC_FILE SIMULATOR BASE_DIR
#   EXE        the x86_64 varnoke.exe
#   RC_FILE    the dialog template (control rectangles in dialog units)
#   SIMULATOR  varnoke-sim
#   BASE_DIR   Wine prefix, and logs, trace and screenshots under signing_batch/
set -u
exe=$1
rc_file=$2
sim=$3
source "$(dirname "$0")/wine_lib.sh"
wine_setup "$4" signing_batch

log_wait=300 # the signing's lines come slower under Wine
answered() { grep -q " serial  \"$1\" -> \"$2" "$work/sim.log"; }

# The request frame of a text as the simulator's byte log shows it: STX, the
# text, "/", the two checksum digits (byte sum with the "/" modulo 100), ETX.
frame_hex() {
    local hex sum=0 b
    hex=$(printf '%s/' "$1" | od -An -tx1 -v)
    for b in $hex; do sum=$(((sum + 0x$b) % 256)); done
    hex="02 $hex $(printf '%02d' $((sum % 100)) | od -An -tx1) 03"
    printf '%s ' $hex | tr 'a-f' 'A-F'
}
sha1_upper() { printf '%s' "$1" | sha1sum | cut -c1-40 | tr 'a-f' 'A-F'; }

# Files in the program's current folder, so that short names can be typed.
cd "$work" || fail "no $work"
printf 'v\r\n{/0\r\n@/HELLO WINE\r\n' >batch.txt
block1=$(printf 'abcdefghijklmnopqrstuvwxyz%.0s' {1..29} | head -c 750)
block2="$(printf '0123456789%.0s' {1..25} | head -c 249)"$'\n'
printf '%s' "$block1$block2" >doc.txt
[ "$(wc -c <doc.txt)" -eq 1000 ] || fail "doc.txt is not 1000 bytes"

start_simulator "$sim"
start_program
measure_window
click_control 1007 # Connect, COM1 at 115200 preselected
expect_logged 'Device info: \[ESD-SIM/.*\]'

# Types $2 into the edit field $1.
type_into() {
    click_control "$1"
    xdotool key ctrl+a BackSpace && xdotool type --delay 50 "$2" ||
        fail "xdotool could not type \"$2\""
}

type_into 1031 batch.txt
click_control 1033 # Run batch
expect_logged 'L00003> @/HELLO WINE'
poll 200 answered '@/HELLO WINE' '00/' || fail "the simulator did not answer line 3"
bytes=$(received_bytes serial)
want="$(frame_hex v)"*"$(frame_hex '{/0')"*"$(frame_hex '@/HELLO WINE')"
[[ "$bytes" == *$want* ]] || fail "the simulator did not receive the three lines' frames: $bytes"
echo "batch: the simulator received the frames of v, {/0 and @/HELLO WINE"
screenshot batch.png

# The batch left its block open: finish it, as an operator would.
click_control 1001
xdotool key ctrl+a BackSpace && xdotool type --delay 50 '}' || fail "xdotool could not type }"
click_control 1002
poll 200 answered '}' "00/00/0[0-9]/$(sha1_upper 'HELLO WINE')" ||
    fail "the simulator did not sign \"HELLO WINE\" (see $work/sim.log)"

type_into 1008 doc.txt
click_control 1003 # Sign File
expect_logged 'Done\. (2 blocks, 1000 bytes, [0-9]* milliseconds)'
expect_logged 'Transfer rate: [0-9.]* bytes/sec'
poll 200 answered '}' "00/00/0[0-9]/$(sha1_upper "$block1$block2")" ||
    fail "the simulator's signature is not the SHA-1 of doc.txt (see $work/sim.log)"
bytes=$(received_bytes serial)
want="$(frame_hex '{/0')"*"$(frame_hex "@/$block1")"*"$(frame_hex "&/$(printf '%s' "$block2" | base64 -w0)")"*"$(frame_hex '}')"
[[ "$bytes" == *$want* ]] || fail "the simulator did not receive the signing frames in order"
echo "signing: the simulator received {/0, a TEXT block of 750 bytes, a Base64 block of 250, }"
screenshot signed.png

click_control 1007 # Disconnect
expect_logged 'Closed port COM1'
control_rect 1004
click_to_end '"Exit"' "$px" "$py"
