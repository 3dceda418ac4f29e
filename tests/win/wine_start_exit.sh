#!/bin/bash
# The Windows program under Wine on a private X server: the dialog shows with
# its first log line, "Exit" pressed with real X input ends the process with
# 0; then the same with the window's close box.
#
# usage: wine_start_exit.sh EXE RC_FILE BASE_DIR
#   EXE       the x86_64 varnoke.exe
#   RC_FILE   the dialog template (control rectangles in dialog units)
#   BASE_DIR  Wine prefix, and logs, trace and screenshots under start_exit/
set -u
exe=$1
rc_file=$2
source "$(dirname "$0")/wine_lib.sh"
wine_setup "$3" start_exit

start_program
measure_window
screenshot started.png
control_rect 1004
click_to_end '"Exit"' "$px" "$py"

# The close box, at the right end of the caption that Wine draws.
start_program
measure_window
caption_h=$((HEIGHT - 2 * frame - $(muldiv "$dlg_h" "$base_y" 8)))
click_to_end "the close box" $((X + WIDTH - frame - caption_h / 2 - 1)) \
    $((Y + frame + caption_h / 2))
