# The harness of the Wine tests, sourced by each of them: a Wine prefix shared
# by the tests (CTest runs them one at a time), a private X server, the
# device simulator on COM1, and the geometry of the dialog for real X input.
#
# wine_setup BASE NAME, with the program to run in $exe: logs, trace and
# screenshots go to BASE/NAME (kept as artifacts), the prefix is BASE/prefix.
# Exits 77 (skipped) when Wine, Xvfb or xdotool is not installed. The X
# screen is 1024x768 unless $wine_screen names another size.

caption="Varnoke v2.24n"
# Raised when what the prefix needs changes, so that an older one is made anew.
prefix_version=2

skip() {
    echo "SKIPPED: $*"
    exit 77
}
fail() {
    echo "FAILED: $*"
    for log in app.log trace.txt sim.log sim.out; do
        [ -s "$work/$log" ] && { echo "--- $log"; cat "$work/$log"; }
    done
    exit 1
}

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

xvfb_pid=
app_pid=
sim_pid=
server_started=
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
    [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null
    # Ends only the server of this test's own prefix.
    [ -n "$server_started" ] && wineserver -k 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    wait 2>/dev/null
}

wine_setup() {
    local base=$1
    work=$base/$2
    for tool in wine wineserver wineboot Xvfb xdotool; do
        command -v "$tool" >/dev/null ||
            skip "$tool is not installed (apt-get install wine wine64 xvfb xauth xdotool)"
    done
    rm -rf "$work"
    mkdir -p "$work" "$base/prefix"
    [ -f "$exe" ] || fail "no program at $exe"
    # winemenubuilder would write menu entries into the home directory.
    export WINEPREFIX="$base/prefix" WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    # The simulator links COM1 here; the prefix's COM1 points at that link,
    # which stays while Wine rewrites its own device links at each start.
    export VARNOKE_PREFIX="$base/com"
    com1_link=$VARNOKE_PREFIX/dosdevices/com1
    trap cleanup EXIT

    # One X server for the whole run; it picks a free display number itself.
    Xvfb -displayfd 3 -screen 0 "${wine_screen:-1024x768x24}" -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
    xvfb_pid=$!
    poll 100 test -s "$work/display" || fail "Xvfb did not start (see $work/xvfb.log)"
    DISPLAY=":$(cat "$work/display")"
    export DISPLAY

    # Started here so that its many lines at shutdown go to a file.
    wineserver -p 2>"$work/wineserver.log" || fail "wineserver did not start"
    server_started=1
    [ "$(cat "$WINEPREFIX/.initialised" 2>/dev/null)" = "$prefix_version" ] && return
    echo "Creating the Wine prefix $WINEPREFIX"
    wineboot -i >"$work/wineboot.log" 2>&1 || fail "wineboot -i failed (see $work/wineboot.log)"
    # There is no window manager: Wine draws the caption and frame itself, as
    # Windows would, so the screenshot shows them.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >>"$work/wineboot.log" 2>&1 &&
        wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /d "$com1_link" /f \
            >>"$work/wineboot.log" 2>&1 ||
        fail "cannot configure the Wine prefix (see $work/wineboot.log)"
    # The device links are made from the registry when the server starts.
    wineserver -k
    wineserver -w
    wineserver -p 2>>"$work/wineserver.log" || fail "wineserver did not start again"
    echo "$prefix_version" >"$WINEPREFIX/.initialised"
}

# Starts the device simulator with COM1 linked to it; its log records every
# byte it receives. Arguments go to the simulator.
start_simulator() {
    local sim=$1
    shift
    "$sim" --com 1 --log "$work/sim.log" --log-bytes "$@" >"$work/sim.out" 2>&1 &
    sim_pid=$!
    poll 100 grep -q '^serial: COM1 is ' "$work/sim.out" ||
        fail "the simulator did not link COM1 (see $work/sim.out)"
}

# Runs a probe program under Wine and shows what it printed; fails unless
# every check passed.
run_probe() {
    timeout 120 wine "$exe" >"$work/app.log" 2>&1
    local status=$?
    cat "$work/app.log"
    [ "$status" -eq 0 ] || fail "the probe ended with $status"
}

# The bytes the simulator received on a side, joined into one line.
received_bytes() {
    sed -n "s/^ *[0-9.]* $1 *< //p" "$work/sim.log" | tr '\n' ' '
}

# Starts the program and waits until its window shows "Varnoke started".
start_program() {
    rm -f "$work/trace.txt"
    VARNOKE_UI_TRACE="$work/trace.txt" wine "$exe" >>"$work/app.log" 2>&1 &
    app_pid=$!
    poll 600 started || fail "no \"Varnoke started\" in the log list within 60 s"
}
started() {
    kill -0 "$app_pid" 2>/dev/null || fail "the program ended before its window showed"
    grep -q '^log 0 Varnoke started$' "$work/trace.txt" 2>/dev/null &&
        grep -q "^shown .* caption=$caption\$" "$work/trace.txt"
}

# The window's trace (the lines window_trace.h lists), as the tests read it.
traced() { grep -q "$1" "$work/trace.txt"; }
traced_times() { [ "$(grep -c "$1" "$work/trace.txt")" -ge "$2" ]; }
expect_traced() { poll 200 traced "$1" || fail "no \"$1\" in the trace within 20 s"; }
# A log line the window shows, as the trace reads it back from the list.
logged() { grep -q "^log [0-9]* $1\$" "$work/trace.txt"; }
# Waits for a log line: 20 s, or log_wait tenths of a second.
expect_logged() {
    local tenths=${log_wait:-200}
    poll "$tenths" logged "$1" || fail "the window did not log \"$1\" within $((tenths / 10)) s"
}
# The next message box: expects its text to match $1, answers it with
# Return and expects the answer $2.
answer_box() {
    local n=$(($(grep -c '^box-answer ' "$work/trace.txt") + 1))
    poll 200 traced_times '^box [0-9]* caption=' $n || fail "no message box within 20 s"
    grep '^box [0-9]* caption=' "$work/trace.txt" | sed -n "${n}p" | grep -q "text=$1" ||
        fail "the message box is not \"$1\""
    # Until the box is drawn and has the focus, Return goes nowhere (the
    # window under it is disabled).
    for ((try = 0; try < 20; try++)); do
        xdotool key Return
        poll 10 traced_times '^box-answer ' $n && break
    done
    traced_times '^box-answer ' $n || fail "the message box was not answered"
    [ "$(grep '^box-answer ' "$work/trace.txt" | sed -n "${n}p" | cut -d ' ' -f 2)" = "$2" ] ||
        fail "the message box was not answered with $2"
}

muldiv() { echo $((($1 * $2 * 2 + $3) / ($3 * 2))); }

# Finds the X window by its caption and the dialog's client area in it:
# sets X, Y, WIDTH, HEIGHT, frame, client_x, client_y, base_x, base_y,
# dlg_h.
measure_window() {
    local dlg_w window
    read -r dlg_w dlg_h < <(sed -n 's/^[A-Z]* DIALOG [0-9]*, [0-9]*, \([0-9]*\), \([0-9]*\)$/\1 \2/p' \
        "$rc_file")
    [ -n "${dlg_h:-}" ] || fail "no dialog size in $rc_file"
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
    grep -q "^shown 0 window=$X,$Y,$((X + WIDTH)),$((Y + HEIGHT)) client=$client_x,$client_y,$client_w,$client_h " \
        "$work/trace.txt" ||
        fail "the X window (${WIDTH}x$HEIGHT at $X,$Y) does not frame a client area of" \
            "$dlg_w x $dlg_h units at base $base_x,$base_y as the program measured it"
}

# The rectangle of the control with dialog id $1, in screen pixels, from its
# template rectangle: sets left, top, width, height, px, py (its centre).
control_rect() {
    local cx cy cw ch
    read -r cx cy cw ch < <(sed -n "s/^ *CONTROL \"[^\"]*\", $1, \"[A-Za-z0-9]*\", [^,]*, \([0-9]*\), \([0-9]*\), \([0-9]*\), \([0-9]*\)\$/\1 \2 \3 \4/p" \
        "$rc_file")
    [ -n "${ch:-}" ] || fail "no control $1 in $rc_file"
    left=$((client_x + $(muldiv "$cx" "$base_x" 4)))
    top=$((client_y + $(muldiv "$cy" "$base_y" 8)))
    width=$(muldiv "$cw" "$base_x" 4)
    height=$(muldiv "$ch" "$base_y" 8)
    px=$((left + width / 2))
    py=$((top + height / 2))
}

click_at() {
    xdotool mousemove --sync "$1" "$2" click 1 || fail "xdotool could not click at $1,$2"
}

# Clicks the centre of the control with dialog id $1.
click_control() {
    control_rect "$1"
    click_at "$px" "$py"
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
    click_at "$2" "$3"
    poll 200 exited || fail "the program did not end within 20 s of a click on $1 at $2,$3"
    wait "$app_pid"
    local code=$?
    app_pid=
    [ "$code" -eq 0 ] || fail "exit code $code after a click on $1"
    echo "$1 at $2,$3 ended the program with 0"
}

# Runs the Windows program $exe with the arguments given: its output (line
# ends as on Linux) in out.txt and err.txt, its exit status in $status.
run_cli() {
    timeout 120 wine "$exe" "$@" >"$work/out.raw" 2>"$work/err.raw"
    status=$?
    tr -d '\r' <"$work/out.raw" >"$work/out.txt"
    tr -d '\r' <"$work/err.raw" >"$work/err.txt"
    echo "--- varnoke-cli.exe $* ended with $status"
    cat "$work/out.txt" "$work/err.txt"
}
