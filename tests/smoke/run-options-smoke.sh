#!/usr/bin/env bash
# Smoke test of the options dialog in the real program: copies solvane and the simulated
# libkardemo.so into an empty folder with a settings file of its own, starts it in its own
# Xvfb server, opens the dialog by keyboard (Tab to Options, Space), saves a screenshot of it
# to the output folder, closes it with Esc and checks that the settings file was not touched,
# then closes the window and checks the exit status.
#
#   run-options-smoke.sh <solvane> <libkardemo.so> <x11driver> <output folder>
set -euo pipefail

program=$1
library=$2
driver=$3
output=$4

dialog_title="Solvane by Kardmo - Options"

mkdir -p "$output"
work=$(mktemp -d /tmp/solvane-options-smoke-XXXXXX)
xvfb_pid=
solvane_pid=

cleanup() {
    [ -n "$solvane_pid" ] && kill "$solvane_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    cp "$work"/solvane.log "$output"/ 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "OPTIONS SMOKE FAILED: $*" >&2
    [ -f "$work/solvane.log" ] && sed 's/^/  solvane: /' "$work/solvane.log" >&2
    exit 1
}

# wait_for <seconds> <description> <command...>: polls the command every 50 ms.
wait_for() {
    local seconds=$1 what=$2
    shift 2
    local tries=$((seconds * 20))
    until "$@"; do
        tries=$((tries - 1))
        [ "$tries" -gt 0 ] || fail "timed out waiting for $what"
        sleep 0.05
    done
}

ended() {
    local state
    state=$(awk '{ print $3 }' "/proc/$1/stat" 2>/dev/null) || return 0
    [ -z "$state" ] || [ "$state" = Z ]
}

dialog_gone() { ! "$driver" find "$dialog_title" 0 2>/dev/null >/dev/null; }

# Identity of the file: a write replaces it through a rename, which changes the inode.
file_state() { stat -c '%i %Y %s' "$1" && cksum <"$1"; }

# Width and height from a PNG's header.
png_size() { od -An -tu1 -j16 -N8 "$1" | awk '{ printf "%dx%d\n", $3 * 256 + $4, $7 * 256 + $8 }'; }

mkdir "$work/bin"
cp "$program" "$work/bin/solvane"
cp "$library" "$work/bin/libkardemo.so"
folder=$work/bin
# Values other than the defaults, so that the captions show that they come from the file.
printf '[Kardemo]\nDSUSampleRate= 256\nBMFFTBinSize= 0\nActiveComPort= 0\n[AVE]\nAVEVolume= 37\nAVEFrequency= 440\nAVEDesiredFrequency= 10\nAVEChannel1= 16\nAVEChannel2= 0\nAVEChannel3= 0\nAVEChannel4= 0\n' \
    >"$folder/solvane.ini"

Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp 9>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
wait_for 20 "Xvfb to start" test -s "$work/display"
export DISPLAY=:$(head -n1 "$work/display")
export QT_QPA_PLATFORM=xcb
# In a sanitizer build: the X keyboard library hands strndup a buffer without a final NUL,
# which is legal but what strict string checks report.
[ -z "${ASAN_OPTIONS:-}" ] || export ASAN_OPTIONS=$ASAN_OPTIONS:strict_string_checks=0

(cd "$work" && exec "$folder/solvane") >"$work/solvane.log" 2>&1 &
solvane_pid=$!

window=$("$driver" find "Solvane by Kardemo v" 30) || fail "the main window did not appear"
# Start has the focus when the window opens; Options is next in the tab order.
"$driver" key "$window" Tab || fail "could not press Tab"
"$driver" key "$window" space || fail "could not press Space"
dialog=$("$driver" find "$dialog_title" 20) || fail "the options dialog did not open"

"$driver" screenshot "$dialog" "$output/options-dialog.png" || fail "no screenshot"
size=$(png_size "$output/options-dialog.png")
[ "$size" = 274x348 ] || fail "the dialog's client area is $size, not 274x348"

before=$(file_state "$folder/solvane.ini")
"$driver" key "$dialog" Escape || fail "could not press Esc"
wait_for 20 "Esc to close the dialog" dialog_gone
[ "$(file_state "$folder/solvane.ini")" = "$before" ] || fail "Esc changed solvane.ini"

"$driver" close "$window" || fail "could not ask the window to close"
wait_for 20 "the program to end" ended "$solvane_pid"
status=0
wait "$solvane_pid" || status=$?
solvane_pid=
[ "$status" -eq 0 ] || fail "solvane ended with status $status"
[ "$(file_state "$folder/solvane.ini")" = "$before" ] || fail "closing changed solvane.ini"

echo "options smoke test passed; screenshot in $output/options-dialog.png"
