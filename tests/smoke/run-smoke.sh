#!/usr/bin/env bash
# Smoke test of the real program: copies solvane and the simulated libkardemo.so into an
# empty folder, starts it in its own Xvfb server, presses Space to start a run, lets it run,
# presses Space to stop, closes the window, and checks the exit status, the settings file, the
# lock on the settings folder while the program is open, and the simulator's debug log. Saves a screenshot of the running window to the output folder
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

smoke_name=SMOKE
smoke_keep="solvane.log bin/debug.txt bin/solvane.ini"
# shellcheck source-path=SCRIPTDIR source=xvfb-session.sh
source "$(dirname "$0")/xvfb-session.sh"

cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }

smoke_prepare "$program" "$library" "$output" solvane-smoke
start_xvfb
start_solvane
[ -f "$folder/solvane.ini" ] || fail "solvane.ini was not created at start-up"
# The set-up tells from the lock on the settings folder that the program would undo its changes.
if flock -n -x "$folder" true; then fail "the program does not hold its settings folder"; fi

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
end_solvane
flock -n -x "$folder" true || fail "the settings folder is still locked after the program ended"

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
