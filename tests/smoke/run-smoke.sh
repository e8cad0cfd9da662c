#!/usr/bin/env bash
# Smoke test of the real program: copies solvane and the simulated libkardemo.so into an
# empty folder, starts it in its own Xvfb server, presses Space to start a run, lets it run,
# presses Space to stop, closes the window, and checks the exit status, the settings file and
# the simulator's debug log. Saves a screenshot of the running window to the output folder
# and prints the processor time the program used while running. With "close-during-run" as
# the last argument the window is closed while the run goes on, without Space to stop it:
# the run must still end the orderly way.
#
#   run-smoke.sh <solvane> <libkardemo.so> <x11driver> <golden solvane.ini> <output folder>
#                [stop-then-close | close-during-run]
#
# SOLVANE_SMOKE_RUN_SECONDS (default 1) sets how long the run lasts.
set -euo pipefail

program=$1
library=$2
driver=$3
golden=$4
output=$5
mode=${6:-stop-then-close}
run_seconds=${SOLVANE_SMOKE_RUN_SECONDS:-1}

mkdir -p "$output"
work=$(mktemp -d /tmp/solvane-smoke-XXXXXX)
xvfb_pid=
solvane_pid=

cleanup() {
    [ -n "$solvane_pid" ] && kill "$solvane_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    cp "$work/solvane.log" "$work/bin/debug.txt" "$work/bin/solvane.ini" "$output"/ 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "SMOKE FAILED: $*" >&2
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

cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }

# Ended: gone, or a zombie that waits for us to collect its status.
ended() {
    local state
    state=$(awk '{ print $3 }' "/proc/$1/stat" 2>/dev/null) || return 0
    [ -z "$state" ] || [ "$state" = Z ]
}

mkdir "$work/bin"
cp "$program" "$work/bin/solvane"
cp "$library" "$work/bin/libkardemo.so"
folder=$work/bin

# Our own X server on a free display; it writes the display number once it accepts clients.
Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp 9>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
wait_for 20 "Xvfb to start" test -s "$work/display"
export DISPLAY=:$(head -n1 "$work/display")
export QT_QPA_PLATFORM=xcb
# In a sanitizer build: libxkbcommon-x11 hands strndup counted names that are not
# NUL-terminated, which strict string checks take for an overflow inside that library.
export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}strict_string_checks=0

(cd "$work" && exec "$folder/solvane") >"$work/solvane.log" 2>&1 &
solvane_pid=$!

window=$("$driver" find "Solvane by Kardemo v" 30) || fail "the main window did not appear"
[ -f "$folder/solvane.ini" ] || fail "solvane.ini was not created at start-up"

"$driver" key "$window" space || fail "could not press Space"
wait_for 20 "the run to start" grep -q InitialiseDSU "$folder/debug.txt"

before=$(cpu_ticks "$solvane_pid")
started=$(date +%s.%N)
sleep "$run_seconds"
after=$(cpu_ticks "$solvane_pid")
ended=$(date +%s.%N)
"$driver" screenshot "$window" "$output/solvane-window.png" || fail "no screenshot"
awk -v t="$((after - before))" -v hz="$(getconf CLK_TCK)" -v s="$started" -v e="$ended" \
    'BEGIN { printf "CPU use while running: %.1f%% of one core (%.2f s of processor time in %.2f s)\n", 100 * t / hz / (e - s), t / hz, e - s }' |
    tee "$output/cpu.txt"

if [ "$mode" = stop-then-close ]; then
    "$driver" key "$window" space || fail "could not press Space to stop"
    wait_for 20 "the run to stop" grep -q TerminateDSU "$folder/debug.txt"
fi

"$driver" close "$window" || fail "could not ask the window to close"
wait_for 20 "the program to end" ended "$solvane_pid"
status=0
wait "$solvane_pid" || status=$?
solvane_pid=
[ "$status" -eq 0 ] || fail "solvane ended with status $status"

cmp -s "$golden" "$folder/solvane.ini" || {
    diff "$golden" "$folder/solvane.ini" >&2 || true
    fail "solvane.ini does not hold the ten keys in their order and format"
}

# The simulator's log: set-up, the silencing commands of Stop, then the shut-down.
expected=("SetDebugMode(1)" "SetRecordingLength(90)" "ReadDelay(100)" "SetDataTransferMode(0)"
    "SetDSUBaudRate(9)" "SetDSUPacketLength(14)" "SetComPorts(1, 100, 0)" "SetScanWaitTime(1500)"
    "InitialiseDSU" "SendCommandToDSU(WB0000)" "SendCommandToDSU(WB0100)" "TerminateDSU")
line=0
for entry in "${expected[@]}"; do
    found=$(awk -v from="$line" -v text="$entry" 'NR > from && index($0, text) == 1 { print NR; exit }' \
        "$folder/debug.txt")
    [ -n "$found" ] || fail "debug.txt lacks \"$entry\" after line $line: $(cat "$folder/debug.txt")"
    line=$found
done

echo "smoke test passed; screenshot in $output/solvane-window.png"
