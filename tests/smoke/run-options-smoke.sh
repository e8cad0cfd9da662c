#!/usr/bin/env bash
# Smoke test of the options dialog in the real program: copies solvane and the simulated
# libkardemo.so into an empty folder with a settings file of its own, starts it in its own
# Xvfb server with a window manager, checks that the main window, frame included, is centred
# on the screen, opens the dialog by keyboard (Tab to Options, Space), checks that it is a
# transient tool window kept off the task bar, saves a screenshot of it to the output folder,
# closes it with Esc and checks that the settings file was not touched, then closes the
# window and checks the exit status.
#
#   run-options-smoke.sh <solvane> <libkardemo.so> <x11driver> <output folder>
set -euo pipefail

program=$1
library=$2
driver=$3
output=$4

dialog_title="Solvane by Kardmo - Options"

smoke_name="OPTIONS SMOKE"
# shellcheck source-path=SCRIPTDIR source=xvfb-session.sh
source "$(dirname "$0")/xvfb-session.sh"

dialog_gone() { ! "$driver" find "$dialog_title" 0 2>/dev/null >/dev/null; }

# Identity of the file: a write replaces it through a rename, which changes the inode.
file_state() { stat -c '%i %Y %s' "$1" && cksum <"$1"; }

# Width and height from a PNG's header.
png_size() { od -An -tu1 -j16 -N8 "$1" | awk '{ printf "%dx%d\n", $3 * 256 + $4, $7 * 256 + $8 }'; }

# centred <window>: the window with the frame its window manager reports lies in the middle of
# the 1024 x 768 screen, to a pixel.
centred() {
    local frame
    frame=$(xprop -id "$1" _NET_FRAME_EXTENTS | sed -n 's/.* = //p' | tr -d ,)
    [ -n "$frame" ] && xwininfo -id "$1" | awk -v f="$frame" 'BEGIN { split(f, e, " ") }
        /Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { y = $NF }
        /Width:/ { w = $NF } /Height:/ { h = $NF }
        END { exit (2*x + w - e[1] + e[2] - 1024)^2 > 4 || (2*y + h - e[3] + e[4] - 768)^2 > 4 }'
}

smoke_prepare "$program" "$library" "$output" solvane-options-smoke
# Values other than the defaults, so that the captions show that they come from the file.
printf '[Kardemo]\nDSUSampleRate= 256\nBMFFTBinSize= 0\nActiveComPort= 0\n[AVE]\nAVEVolume= 37\nAVEFrequency= 440\nAVEDesiredFrequency= 10\nAVEChannel1= 16\nAVEChannel2= 0\nAVEChannel3= 0\nAVEChannel4= 0\n' \
    >"$folder/solvane.ini"

start_xvfb
start_window_manager
start_solvane
wait_for 20 "the main window to be centred with its frame" centred "$window"
# Start has the focus when the window opens; Options is next in the tab order.
"$driver" key "$window" Tab || fail "could not press Tab"
"$driver" key "$window" space || fail "could not press Space"
dialog=$("$driver" find "$dialog_title" 20) || fail "the options dialog did not open"
hints=$(xprop -id "$dialog" _NET_WM_STATE _NET_WM_WINDOW_TYPE WM_TRANSIENT_FOR)
for hint in _NET_WM_STATE_SKIP_TASKBAR _NET_WM_WINDOW_TYPE_UTILITY "WM_TRANSIENT_FOR(WINDOW)"; do
    grep -qF "$hint" <<<"$hints" || fail "the dialog lacks $hint: $hints"
done

"$driver" screenshot "$dialog" "$output/options-dialog.png" || fail "no screenshot"
size=$(png_size "$output/options-dialog.png")
[ "$size" = 274x348 ] || fail "the dialog's client area is $size, not 274x348"

before=$(file_state "$folder/solvane.ini")
"$driver" key "$dialog" Escape || fail "could not press Esc"
wait_for 20 "Esc to close the dialog" dialog_gone
[ "$(file_state "$folder/solvane.ini")" = "$before" ] || fail "Esc changed solvane.ini"

"$driver" close "$window" || fail "could not ask the window to close"
end_solvane
[ "$(file_state "$folder/solvane.ini")" = "$before" ] || fail "closing changed solvane.ini"

echo "options smoke test passed; screenshot in $output/options-dialog.png"
