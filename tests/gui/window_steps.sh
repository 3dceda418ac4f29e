# shellcheck shell=sh
# window_steps.sh: steps shared by the tests that drive the real window with
# xdotool. Sourced by them, it makes $work (a scratch folder holding the
# window's trace) and, however the test ends, stops the program ($pid) and
# the simulator ($sim_pid) and removes the folder.

work=$(mktemp -d)
pid=""
sim_pid=""
trap '[ -n "$pid" ] && kill $pid 2>/dev/null
      [ -n "$sim_pid" ] && kill $sim_pid 2>/dev/null && wait $sim_pid
      rm -rf "$work"' EXIT INT TERM

# fail message: ends the test with what the window showed (its trace) and
# the files named in $also_show.
fail() {
    echo "FAIL: $*" >&2
    for file in "$work/trace" ${also_show:-}; do
        [ -f "$file" ] && { echo "--- $file:" >&2; cat "$file" >&2; }
    done
    exit 1
}

# requests text: how many requests the simulator answered with that text.
requests() { grep -c " serial  \"$1\" -> " "$work/sim.log"; }
# caption: the last caption that Connect/Disconnect was given.
caption() { sed -n 's/^text 1007 //p' "$work/trace" | tail -n 1; }

# wait_for condition: polls for up to 10 s until the shell condition holds.
wait_for() {
    i=0
    until eval "$1"; do
        i=$((i + 1))
        [ $i -gt 100 ] && return 1
        sleep 0.1
    done
}

# find_window: waits for the window "Varnoke v2.24n"; sets wid, WX and WY
# (the client area's origin) and WIDTH and HEIGHT.
find_window() {
    wid=$(timeout 10 xdotool search --sync --name '^Varnoke v2\.24n$' | head -n 1)
    [ -n "$wid" ] || fail "no window \"Varnoke v2.24n\" within 10 s"
    eval "$(xdotool getwindowgeometry --shell "$wid")"
    WX=$X
    WY=$Y
}

# centre x y w h: the pixel centre (cx, cy) of a control, from its rectangle
# in dialog units: a dialog unit is 6/4 pixel across and 13/8 pixel down.
centre() {
    left=$((($1 * 6 + 2) / 4)); right=$(((($1 + $3) * 6 + 2) / 4))
    top=$((($2 * 13 + 4) / 8)); bottom=$(((($2 + $4) * 13 + 4) / 8))
    cx=$((WX + (left + right) / 2)); cy=$((WY + (top + bottom) / 2))
}

# click x y w h: moves the pointer to the control and presses button 1.
click() {
    centre "$@"
    xdotool mousemove --sync $cx $cy click 1 || fail "xdotool could not click at $cx,$cy"
}

# press_exit: clicks "Exit" and checks that the program started as $pid
# ends within 10 s with status 0; clears pid.
press_exit() {
    click 307 242 67 14
    wait_for '! kill -0 $pid 2>/dev/null' || fail "the program did not end within 10 s of \"Exit\""
    wait $pid
    status=$?
    pid=""
    [ $status -eq 0 ] || fail "exit status $status"
}

# new_window: sets popup to a visible window that was not in $windows_before.
new_window() {
    popup=""
    for w in $(xdotool search --onlyvisible --name '' 2>/dev/null); do
        case " $windows_before " in *" $w "*) ;; *) popup=$w ;; esac
    done
    [ -n "$popup" ]
}

# pick x y w h index count: opens the drop-down list of count items whose
# closed box is at the rectangle (dialog units) and clicks item index (from
# 0) in the menu window that opens (whose geometry X, Y, WIDTH and HEIGHT
# are left set).
pick() {
    windows_before=$(xdotool search --onlyvisible --name '' 2>/dev/null | tr '\n' ' ')
    click "$1" "$2" "$3" "$4"
    wait_for new_window || fail "no list opened at $cx,$cy"
    eval "$(xdotool getwindowgeometry --shell "$popup")"
    xdotool mousemove --sync $((X + WIDTH / 2)) $((Y + HEIGHT * (2 * $5 + 1) / (2 * $6))) click 1 ||
        fail "xdotool could not click item $5 of the list"
}
