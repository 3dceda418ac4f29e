#!/bin/bash
# The Windows program end to end: starts the cross-built .exe under Wine on a
# private X server, checks that the dialog shows with its first log line,
# presses "Exit" with real X input and checks that the process ends with 0;
# then the same with the window's close box.
#
# usage: wine_start_exit.sh EXE RC_FILE WORK_DIR
#   EXE       the x86_64 varnoke.exe
#   RC_FILE   the dialog template (control rectangles in dialog units)
#   WORK_DIR  Wine prefix, logs, trace and screenshots (kept as artifacts)
# Exits 77 (skipped) when Wine, Xvfb or xdotool is not installed.
set -u

exe=$1
rc_file=$2
work=$3
caption="Varnoke v2.24n"

skip() {
    echo "SKIPPED: $*"
    exit 77
}
fail() {
    echo "FAILED: $*"
    for log in app.log trace.txt; do
        [ -s "$work/$log" ] && { echo "--- $log"; cat "$work/$log"; }
    done
    exit 1
}

for tool in wine wineserver wineboot Xvfb xdotool; do
    command -v "$tool" >/dev/null ||
        skip "$tool is not installed (apt-get install wine wine64 xvfb xauth xdotool)"
done
[ -f "$exe" ] || fail "no program at $exe"

mkdir -p "$work"
rm -f "$work"/{trace.txt,app.log,display,*.png}
# winemenubuilder would write menu entries into the home directory.
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
mkdir -p "$WINEPREFIX"

xvfb_pid=
app_pid=
server_started=
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
    # Ends only the server of this test's own prefix.
    [ -n "$server_started" ] && wineserver -k 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    wait 2>/dev/null
}
trap cleanup EXIT

# waits up to $1 tenths of a second for the command that follows to succeed
poll() {
    local tenths=$1
    shift
    for ((i = 0; i < tenths; i++)); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

# One X server for the whole run; it picks a free display number itself.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
poll 100 test -s "$work/display" || fail "Xvfb did not start (see $work/xvfb.log)"
DISPLAY=":$(cat "$work/display")"
export DISPLAY

# Started here so that its many lines at shutdown go to a file.
wineserver -p 2>"$work/wineserver.log" || fail "wineserver did not start"
server_started=1
if [ ! -f "$WINEPREFIX/.initialised" ]; then
    echo "Creating the Wine prefix $WINEPREFIX"
    wineboot -i >"$work/wineboot.log" 2>&1 || fail "wineboot -i failed (see $work/wineboot.log)"
    # There is no window manager: Wine draws the caption and frame itself, as
    # Windows would, so the screenshot shows them.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >>"$work/wineboot.log" 2>&1 ||
        fail "cannot configure the Wine prefix (see $work/wineboot.log)"
    touch "$WINEPREFIX/.initialised"
fi

muldiv() { echo $((($1 * $2 * 2 + $3) / ($3 * 2))); }
read -r dlg_w dlg_h < <(sed -n 's/^[A-Z]* DIALOG [0-9]*, [0-9]*, \([0-9]*\), \([0-9]*\)$/\1 \2/p' \
    "$rc_file")
[ -n "${dlg_h:-}" ] || fail "no dialog size in $rc_file"

# Starts the program and waits until its window shows "Varnoke started".
start_program() {
    rm -f "$work/trace.txt"
    VARNOKE_UI_TRACE="$work/trace.txt" wine "$exe" >>"$work/app.log" 2>&1 &
    app_pid=$!
    poll 600 started || fail "no \"Varnoke started\" in the log list within 60 s"
}
started() {
    kill -0 "$app_pid" 2>/dev/null || fail "the program ended before its window showed"
    grep -q '^list 1000 0 0 Varnoke started$' "$work/trace.txt" 2>/dev/null &&
        grep -q "^shown .* caption=$caption\$" "$work/trace.txt"
}

# Finds the X window by its caption and the dialog's client area in it:
# sets X, Y, WIDTH, HEIGHT, frame, client_x, client_y, base_x, base_y.
measure_window() {
    local window
    window=$(timeout 20 xdotool search --sync --onlyvisible --name "^$caption\$" | head -n 1)
    [ -n "$window" ] || fail "no visible X window named \"$caption\""
    eval "$(xdotool getwindowgeometry --shell "$window")"
    # Dialog units to pixels as the dialog manager converts them, with the
    # base units the program measured (MapDialogRect of 4 x 8 units).
    read -r base_x base_y < <(sed -n 's/^shown .* base=\([0-9]*\),\([0-9]*\) .*/\1 \2/p' \
        "$work/trace.txt")
    [ -n "${base_y:-}" ] || fail "no base units in the trace"
    local client_w client_h
    client_w=$(muldiv "$dlg_w" "$base_x" 4)
    client_h=$(muldiv "$dlg_h" "$base_y" 8)
    # The X window is the whole window: a frame of equal width on the left,
    # right and bottom, and the frame and caption on top.
    frame=$(((WIDTH - client_w) / 2))
    client_x=$((X + frame))
    client_y=$((Y + HEIGHT - client_h - frame))
    grep -q "^shown window=$X,$Y,$((X + WIDTH)),$((Y + HEIGHT)) client=$client_x,$client_y,$client_w,$client_h " \
        "$work/trace.txt" ||
        fail "the X window (${WIDTH}x$HEIGHT at $X,$Y) does not frame a client area of" \
            "$dlg_w x $dlg_h units at base $base_x,$base_y as the program measured it"
}

# The centre of a control, in screen pixels, from its template rectangle:
# sets px, py.
control_centre() {
    local cx cy cw ch
    read -r cx cy cw ch < <(sed -n "s/^ *CONTROL \"$1\", [0-9]*, \"[A-Za-z]*\", [^,]*, \([0-9]*\), \([0-9]*\), \([0-9]*\), \([0-9]*\)\$/\1 \2 \3 \4/p" \
        "$rc_file")
    [ -n "${ch:-}" ] || fail "no control \"$1\" in $rc_file"
    px=$((client_x + $(muldiv "$cx" "$base_x" 4) + $(muldiv "$cw" "$base_x" 4) / 2))
    py=$((client_y + $(muldiv "$cy" "$base_y" 8) + $(muldiv "$ch" "$base_y" 8) / 2))
}

screenshot() {
    if ! command -v import >/dev/null || ! command -v convert >/dev/null; then
        echo "no screenshot: ImageMagick is not installed"
        return
    fi
    import -display "$DISPLAY" -window root "$work/$1" || fail "screenshot failed"
    local colours
    colours=$(convert "$work/$1" -crop "${WIDTH}x$HEIGHT+$X+$Y" -format '%k' info:)
    [ "$colours" -gt 4 ] || fail "the window area of $1 is blank ($colours colours)"
    echo "screenshot: $work/$1"
}

# Clicks at $2,$3 and expects the program to end with 0.
exited() { ! kill -0 "$app_pid" 2>/dev/null; }
click_to_end() {
    xdotool mousemove --sync "$2" "$3" click 1
    poll 200 exited || fail "the program did not end within 20 s of a click on $1 at $2,$3"
    wait "$app_pid"
    local code=$?
    app_pid=
    [ "$code" -eq 0 ] || fail "exit code $code after a click on $1"
    echo "window shown with \"Varnoke started\"; $1 at $2,$3 ended the program with 0"
}

start_program
measure_window
screenshot started.png
control_centre Exit
click_to_end '"Exit"' "$px" "$py"

# The close box, at the right end of the caption that Wine draws.
start_program
measure_window
caption_h=$((HEIGHT - 2 * frame - $(muldiv "$dlg_h" "$base_y" 8)))
click_to_end "the close box" $((X + WIDTH - frame - caption_h / 2 - 1)) \
    $((Y + frame + caption_h / 2))
