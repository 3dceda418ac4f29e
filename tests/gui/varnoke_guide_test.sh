#!/bin/sh
# varnoke_guide_test.sh varnoke varnoke-sim examples-dir picture-dir: the
# user guide's walk through the real program on $DISPLAY against the device
# simulator, with real pointer and key events, each step checked in the
# window's trace and at the simulator; the window as each section of the
# guide shows it is written to the picture directory (the target
# update_guide_images writes them into docs/images). A COM port without a
# device, COM1, typed commands and the status panel, a batch, a signing, a
# logo upload, a Z-report check answered Yes, a device error, the log's menu
# with the times and a saved wire capture; then, in a network namespace of
# its own (where the discovery's broadcast reaches the simulated devices and
# nothing else), Network with three devices found, and TCP. There, with a
# mount namespace too, the operator's home is /home/operator, so that the
# pictures show the paths an operator would see.
set -u
program=$1
sim=$2
examples=$3
pictures=$4

# The namespaces: this script again, inside them.
if [ -z "${VARNOKE_GUIDE_NETNS:-}" ] && unshare -rnm true 2>/dev/null; then
    VARNOKE_GUIDE_NETNS=1 exec unshare -rnm "$0" "$@"
fi

mkdir -p "$pictures"
. "$(dirname "$0")/window_steps.sh"
also_show="$work/out $work/sim.out $work/sim.log"

network=""
HOME=$work/home
if [ -n "${VARNOKE_GUIDE_NETNS:-}" ]; then
    ip link set lo up && ip route add default dev lo || fail "no loopback route in the namespace"
    network="--rmlx 127.0.0.1 --rmlx 127.0.0.2 --rmlx 127.0.0.3 --discovery --tcp 127.0.0.1"
    mount -t tmpfs tmpfs /home || fail "no /home of the namespace's own"
    HOME=/home/operator
else
    echo "no network namespace to be had (unshare -rnm): Network and TCP are left out"
fi
# The operator's files; COM1's link and C:\out\ under ~/.varnoke. GTK keeps
# a list of recent files under ~/.local/share.
export HOME
unset VARNOKE_PREFIX
mkdir -p "$HOME/.varnoke/drive_c/out" "$HOME/.local/share" &&
    cp -R "$examples" "$HOME/examples" || fail "cannot make the operator's home $HOME"

traced() { grep -q "$1" "$work/trace"; }
# answered side text: how many requests with that text the side answered.
answered() { grep -c " $1 *\"$2\" -> " "$work/sim.log"; }
last_reply() { sed -n "s|.* serial  \"$1\" -> \"\(.*\)\"\$|\1|p" "$work/sim.log" | tail -n 1; }

# shot name [window]: the main window, and the menu or box given over it,
# cut from the screen into name.png once it has been drawn.
shot() {
    sleep 0.5
    eval "$(xdotool getwindowgeometry --shell "$wid" | sed 's/^/M/')"
    x0=$MX y0=$MY x1=$((MX + MWIDTH)) y1=$((MY + MHEIGHT))
    if [ -n "${2:-}" ]; then
        eval "$(xdotool getwindowgeometry --shell "$2" | sed 's/^/P/')"
        [ "$PX" -lt $x0 ] && x0=$PX
        [ "$PY" -lt $y0 ] && y0=$PY
        [ $((PX + PWIDTH)) -gt $x1 ] && x1=$((PX + PWIDTH))
        [ $((PY + PHEIGHT)) -gt $y1 ] && y1=$((PY + PHEIGHT))
    fi
    import -window root "$work/screen.png" &&
        convert "$work/screen.png" -crop $((x1 - x0))x$((y1 - y0))+$x0+$y0 +repage -strip \
            "$pictures/$1.png" || fail "no picture $1.png"
}

# type_into x y w h text: replaces the text of an edit field by typing.
type_into() {
    click "$1" "$2" "$3" "$4"
    xdotool key ctrl+a BackSpace && xdotool type --delay 20 "$5" || fail "xdotool could not type"
}
send() {
    type_into 4 193 282 13 "$1"
    click 307 193 67 14
}

# box_opens: waits for a message box, menu or picker over the window; sets
# popup and moves the pointer over it (without a window manager the keys go
# to the window under the pointer).
box_opens() {
    wait_for new_window || fail "no $1 opened"
    eval "$(xdotool getwindowgeometry --shell "$popup" | sed 's/^/P/')"
    xdotool mousemove --sync $((PX + PWIDTH / 2)) $((PY + 4)) || fail "xdotool could not move"
}
# box_return: answers the box under the pointer with its default button.
box_return() {
    xdotool key Return
    wait_for '! xdotool search --onlyvisible --name "" | grep -qx "$popup"' ||
        fail "the box did not close on Return"
}
before_popup() { windows_before=$(xdotool search --onlyvisible --name '' 2>/dev/null | tr '\n' ' '); }
# choose title path: types the path into the picker of that title.
choose() {
    picker=$(timeout 10 xdotool search --sync --onlyvisible --name "^$1\$" | head -n 1)
    [ -n "$picker" ] || fail "no picker \"$1\""
    eval "$(xdotool getwindowgeometry --shell "$picker" | sed 's/^/P/')"
    xdotool mousemove --sync $((PX + PWIDTH / 2)) $((PY + PHEIGHT / 2)) &&
        xdotool key ctrl+a && xdotool type --delay 20 "$2" && xdotool key Return ||
        fail "xdotool could not type into the picker \"$1\""
}

# shellcheck disable=SC2086
"$sim" --serial --com 1 $network --log "$work/sim.log" </dev/null >"$work/sim.out" 2>&1 &
sim_pid=$!
wait_for 'grep -q "^serial: COM1 is " "$work/sim.out"' || fail "the simulator did not link COM1"
[ -z "$network" ] || wait_for 'grep -q "^tcp: " "$work/sim.out"' || fail "no TCP side"

cd "$HOME" || fail "no folder $HOME"
VARNOKE_UI_TRACE="$work/trace" "$program" </dev/null >"$work/out" 2>&1 &
pid=$!
find_window
wait_for 'traced "^log 0 Varnoke started$"' || fail "no \"Varnoke started\""
shot guide_window

# A port without a device behind it.
pick 76 242 50 13 4 15
wait_for 'traced "^pick 1035 COM5$"' || fail "COM5 was not picked"
before_popup
click 218 242 41 14
box_opens "error box"
shot guide_com_error "$popup"
box_return
wait_for 'traced "^log [0-9]* Failed opening COM5 port...$"' || fail "no \"Failed opening COM5\""
traced "^box [0-9]* caption=.* text=Cannot open port COM5\.\.\." || fail "the error box was not traced"
traced "^box-answer 1 " || fail "the error box's OK was not traced"

pick 76 242 50 13 0 15
wait_for 'traced "^pick 1035 COM1$"' || fail "COM1 was not picked"
click 218 242 41 14
wait_for '[ "$(caption)" = Disconnect ]' || fail "Connect on COM1 did not end in Connected"
traced '^log [0-9]* Device info: \[ESD-SIM/' || fail "no device information"
shot guide_connect_serial

type_into 4 225 282 13 examples/sample_batch.txt
click 307 225 41 14
wait_for '[ "$(answered serial "}")" -eq 1 ]' || fail "the batch did not reach its last line"
wait_for 'traced "^log [0-9]* L00005> }$"' || fail "the batch's fifth line was not logged"
traced "Batch aborted" && fail "the batch was aborted"
shot guide_batch

# A block left open and the status asked for: "sip" (signature in progress)
# and "day" (the day's signatures) read 1.
send '{/0'
wait_for '[ "$(answered serial "{/0")" -eq 2 ]' || fail "the typed \"{/0\" was not sent"
click 262 242 42 14 # "Refresh"
wait_for '[ "$(answered serial "?")" -eq 2 ]' || fail "Refresh did not ask for the status"
wait_for 'traced "^text 1023 1$" && traced "^text 1024 1$"' || fail "sip and day do not read 1"
shot guide_status
send '}'
wait_for '[ "$(answered serial "}")" -eq 2 ]' || fail "the typed \"}\" was not sent"

type_into 4 209 282 13 examples/sample_document.txt
click 307 209 67 14
wait_for 'traced "^log [0-9]* 1K transfer requires "' || fail "the signing did not end with its rate"
traced "^log [0-9]* Signing 'examples/sample_document.txt', $(wc -c <examples/sample_document.txt) byte(s)$" ||
    fail "no \"Signing ...\" line"
shot guide_signing

click 351 225 22 14 # "BMP"
choose "Select file" "$HOME/examples/logo.bmp"
# Rows of 64 pixels (8 bytes) of a picture 16 high.
rows() { grep -c ' serial  "\$/1/64/16/[0-9]*/[0-9A-F]\{16\}/" -> "00/' "$work/sim.log"; }
wait_for '[ "$(rows)" -eq 16 ]' || fail "the simulator did not take the 16 rows of the logo"
grep -q ' serial  "\$/1/64/16/16/' "$work/sim.log" || fail "no row 16 of the logo"
shot guide_logo

# The Z report: "A" names the capture, "Q" reads it line by line, x/2 asks.
before_popup
send A
box_opens "box naming the capture"
box_return
for q in 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20; do
    send Q
    wait_for '[ "$(answered serial Q)" -eq $q ]' || fail "Q number $q was not answered"
    last_reply Q | grep -q '^00/../../3/' && break
done
signature=$(sed -n 's|.* serial  "Q" -> "00/../../2/\(.*\)"$|\1|p' "$work/sim.log")
[ -n "$signature" ] || fail "the report carried no signature line"
before_popup
send x/2
box_opens "question"
shot guide_zreport "$popup"
box_return
wait_for '[ "$(answered serial x/2)" -eq 1 ]' || fail "x/2 was not sent after Yes"
[ "$(cat "$HOME"/.varnoke/drive_c/out/*_b.txt)" = "$signature" ] ||
    fail "C:\\out\\..._b.txt does not hold the report's signature $signature"

# A device error: a block closed when none is open, in a window grown wide
# enough for the whole line.
click 4 111 10 10 # "X"
wait_for 'traced "^log-count 1000 0$"' || fail "\"X\" did not empty the log"
send '}'
wait_for 'traced "^log [0-9]* Error 0x11: NOTOPEN (A signature block must be open to execute) -- "' ||
    fail "no NOTOPEN error logged"
resize() {
    size="$1 $2"
    xdotool windowsize --sync "$wid" "$1" "$2" || fail "xdotool could not resize the window"
    wait_for 'traced "^size $size "' || fail "the window did not take $1x$2"
    find_window
}
xdotool windowmove --sync "$wid" 0 0 || fail "xdotool could not move the window"
resize 900 419
shot guide_device_error
resize 570 419

# The log's menu: the times shown, then the wire capture saved.
log_menu() {
    before_popup
    centre 100 30 10 10
    xdotool mousemove --sync $cx $cy click 3 || fail "xdotool could not press the right button"
    box_opens "log menu"
}
menu_item() {
    xdotool mousemove --sync $((PX + PWIDTH / 2)) $((PY + PHEIGHT * (2 * $1 + 1) / 12)) click 1 ||
        fail "xdotool could not click item $1 of the menu"
}
log_menu
menu_item 2 # "Show times"
wait_for 'traced "^time-column 1000 1$"' || fail "the times were not shown"
log_menu
shot guide_log_menu "$popup"
menu_item 4 # "Save wire capture..."
choose "Save wire capture" "$HOME/varnoke.pcapng"
wait_for 'traced "^log [0-9]* Wire capture saved to $HOME/varnoke.pcapng: "' ||
    fail "the wire capture was not saved"
[ "$(od -An -tx1 -N4 "$HOME/varnoke.pcapng" | tr -d ' ')" = 0a0d0d0a ] ||
    fail "the saved capture is not a pcapng file"

click 218 242 41 14 # "Disconnect"
wait_for '[ "$(caption)" = Connect ]' || fail "Disconnect did not end in Disconnected"

if [ -n "$network" ]; then
    pick 76 242 50 13 12 15 # "Network": the discovery takes about 4 s
    wait_for 'traced "^log [0-9]* 3 devices responded$"' ||
        wait_for 'traced "^log [0-9]* 3 devices responded$"' || fail "the discovery did not find 3"
    before_popup
    click 200 242 14 13 # the address list's button
    box_opens "address list"
    shot guide_connect_network "$popup"
    xdotool key Escape
    click 218 242 41 14
    wait_for '[ "$(answered rmlx v)" -eq 1 ]' || fail "Connect on Network did not ask 127.0.0.1"
    wait_for '[ "$(caption)" = Disconnect ]' || fail "Connect on Network did not end in Connected"
    xdotool click 1 # "Disconnect", where the pointer is (a move there would wait)
    wait_for '[ "$(caption)" = Connect ]' || fail "no Disconnect from Network"

    pick 76 242 50 13 13 15 # "TCP"
    wait_for 'traced "^log [0-9]* Init TCP OK:$"' || fail "TCP was not chosen"
    type_into 130 242 70 13 127.0.0.1
    click 218 242 41 14
    wait_for '[ "$(answered tcp v)" -eq 1 ]' || fail "Connect on TCP did not ask 127.0.0.1"
    wait_for '[ "$(caption)" = Disconnect ]' || fail "Connect on TCP did not end in Connected"
    xdotool click 1 # "Disconnect"
    wait_for '[ "$(caption)" = Connect ]' || fail "no Disconnect from TCP"
fi

press_exit
echo "PASS: every step of the guide done in the window; pictures in $pictures"
