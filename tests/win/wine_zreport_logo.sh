#!/bin/bash
# The Windows program under Wine, with real X input, against the device
# simulator on COM1: the sample picture chosen with "BMP" goes to the device
# row by row; then a Z report read with "A" and "Q" is checked with x/2
# answered Yes, and the digest lands in C:\out\ of the Wine prefix.
#
# usage: wine_zreport_logo.sh EXE RC_FILE SIMULATOR PICTURE BASE_DIR
#   PICTURE    a 1-bit BMP file
#   BASE_DIR   Wine prefix, and logs, trace and screenshots under zreport_logo/
set -u
exe=$1
rc_file=$2
sim=$3
picture=$4
source "$(dirname "$0")/wine_lib.sh"
wine_setup "$5" zreport_logo

# The replies the simulator gave to the requests that match $1, one a line.
replies() { sed -n "s#^ *[0-9.]* serial *\"$1\" -> \"\(.*\)\"\$#\1#p" "$work/sim.log"; }
replied_times() { [ "$(replies "$1" | wc -l)" -eq "$2" ]; }
send_typed() {
    click_control 1001
    xdotool key ctrl+a BackSpace && xdotool type --delay 50 "$1" ||
        fail "xdotool could not type \"$1\""
    click_control 1002
}

out=$WINEPREFIX/drive_c/out
rm -rf "$out"
mkdir -p "$out"
cp "$picture" "$WINEPREFIX/drive_c/logo.bmp"
start_simulator "$sim" --serial
start_program
measure_window
click_control 1007
expect_traced 'Device info: \[ESD-SIM/'

# The picker takes the typed name of the picture.
click_control 1036
expect_traced '^picker 0 Select file$'
sleep 1 # the picker takes the focus once it is drawn
xdotool key ctrl+a BackSpace && xdotool type --delay 50 'C:\logo.bmp' && xdotool key Return
expect_traced '^picked 1 C:\\logo.bmp$'
read -r width height < <(od -An -tu4 -j18 -N8 "$picture")
poll 300 replied_times "\\\$/1/$width/$height/$height/[0-9A-F]*/" 1 ||
    fail "the simulator did not receive the last of the $height rows"
rows=$(replies "\\\$/1/$width/$height/[0-9]*/[0-9A-F]*/")
[ "$(grep -c '^00/' <<<"$rows")" -eq "$height" ] ||
    fail "the simulator did not take $height rows: $rows"
echo "BMP: the simulator took $height rows of $width pixels"
screenshot logo.png

send_typed A
answer_box 'C:\\out\\VK[0-9]*_0001_a.txt$' 1
id=$(sed -n 's/^box [0-9]* caption= text=C:\\out\\\(.*\)_a.txt$/\1/p' "$work/trace.txt")
for ((q = 1; q <= 20; q++)); do
    send_typed Q
    poll 100 replied_times Q "$q" || fail "the simulator did not answer Q number $q"
    replies Q | tail -n 1 | grep -q '^00/00/00/3/' && break
done
signature=$(replies Q | sed -n 's|^00/00/00/2/||p')
[ -f "$out/${id}_a.txt" ] || fail "no C:\\out\\${id}_a.txt"

send_typed x/2
answer_box "Calculated signature: $signature " 6
poll 100 replied_times x/2 1 || fail "x/2 did not reach the simulator after Yes"
expect_traced 'Replied frame \[0002\]$'
digest=$(sha1sum "$out/${id}_a.txt" | cut -d' ' -f1 | tr a-f A-F)
[ "$digest" = "$signature" ] || fail "the capture's digest $digest is not the report's $signature"
[ "$(cat "$out/${id}_b.txt")" = "$signature" ] ||
    fail "C:\\out\\${id}_b.txt holds \"$(cat "$out/${id}_b.txt")\", not $signature"
echo "Z report: C:\\out\\${id}_b.txt holds $signature"
screenshot zreport.png

control_rect 1004
click_to_end '"Exit"' "$px" "$py"
