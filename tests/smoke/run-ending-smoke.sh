#!/usr/bin/env bash
# Every way a run can end from outside the program: the real program with the simulated DSU,
# under its own Xvfb, starts a run and is then sent SIGTERM, SIGHUP or SIGINT, loses its X
# server, or has its window destroyed without a close request (as a failing window manager or
# a tool does; the program went on with no window, its output running). Each time the DSU's log must end with the silencing commands and the orderly
# shut-down, the settings must have been saved and the run kept in the sessions folder; the
# exit status tells why the program ended (128 + the signal's number, 1 from the toolkit
# when the display went away, 0 for the destroyed window). A signal while no run is active ends the program at once and
# leaves the settings file as it was.
#
#   run-ending-smoke.sh <solvane> <libkardemo.so> <x11driver> <output folder>
set -euo pipefail

program=$1
library=$2
driver=$3
output=$4

smoke_name="ENDING SMOKE"
# shellcheck source-path=SCRIPTDIR source=xvfb-session.sh
source "$(dirname "$0")/xvfb-session.sh"

# The program in the background must not inherit an ignored SIGINT from this shell. When the
# toolkit ends the program with exit() because its X server is gone, the toolkit's own objects
# are left behind on purpose; a sanitizer build is not to count them as leaks then.
start_solvane_with_signals() {
    local asan=${ASAN_OPTIONS:-}
    [ "$1" = display ] && asan=${asan:+$asan:}detect_leaks=0
    start_solvane env --default-signal=INT,HUP,TERM ASAN_OPTIONS="$asan"
}

# ends_orderly <status> <how>: the program ended with that status and the log ends orderly.
ends_orderly() {
    wait_for 20 "the program to end ($2)" ended "$solvane_pid"
    local status=0
    wait "$solvane_pid" || status=$?
    solvane_pid=
    [ "$status" -eq "$1" ] || fail "$2: solvane ended with status $status, not $1"
    # The last commands and calls, polls and the simulator's own notes left out.
    tail=$({ grep -E '^(SendCommandToDSU\(|ActiveComPort|TerminateDSU: [0-9]+ packets)' \
        "$folder/debug.txt" || true; } | tail -n 4 | sed -E 's/^(TerminateDSU|ActiveComPort).*/\1/' | tr '\n' ' ')
    [ "$tail" = "SendCommandToDSU(WB0000) SendCommandToDSU(WB0100) ActiveComPort TerminateDSU " ] ||
        fail "$2: the log ends with \"$tail\""
    # The file was removed during the run: only the save at the run's end can have made it.
    grep -qs '^ActiveComPort= 0' "$folder/solvane.ini" || fail "$2: the settings were not saved"
    ls "$folder"/sessions/*.edf >/dev/null 2>&1 || fail "$2: no session kept"
    echo "$2: status $1, the log ends orderly"
}

smoke_prepare "$program" "$library" "$output" solvane-ending
for signal in TERM HUP INT display destroyed; do
    rm -rf "$folder/sessions" "$folder/debug.txt" "$folder/solvane.ini" "$work/display"
    start_xvfb
    start_solvane_with_signals "$signal"
    "$driver" key "$window" space || fail "could not press Space"
    wait_for 20 "the run to start" grep -qs "recording into" "$folder/debug.txt"
    # The load wrote the settings file already; without it, what is found at the end is the
    # end's own save.
    rm "$folder/solvane.ini"
    sleep 0.5 # a few packets
    if [ "$signal" = display ]; then
        kill "$xvfb_pid"
        ends_orderly 1 "the X server ended"
    elif [ "$signal" = destroyed ]; then
        "$driver" destroy "$window" || fail "could not destroy the window"
        ends_orderly 0 "the window destroyed"
        kill "$xvfb_pid"
    else
        kill -s "$signal" "$solvane_pid"
        ends_orderly $((128 + $(kill -l "$signal"))) "SIG$signal"
        kill "$xvfb_pid"
    fi
    wait "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=
done

# Idle: the program ends at once, the settings file untouched.
rm -f "$work/display"
start_xvfb
start_solvane_with_signals idle
before=$(stat -c '%Y %s' "$folder/solvane.ini")
sum=$(md5sum <"$folder/solvane.ini")
kill -s TERM "$solvane_pid"
wait_for 20 "the program to end (idle)" ended "$solvane_pid"
status=0
wait "$solvane_pid" || status=$?
solvane_pid=
[ "$status" -eq 143 ] || fail "idle SIGTERM: solvane ended with status $status"
if [ "$(md5sum <"$folder/solvane.ini")" != "$sum" ] ||
    [ "$(stat -c '%Y %s' "$folder/solvane.ini")" != "$before" ]; then
    fail "idle SIGTERM: the settings file changed"
fi
echo "idle SIGTERM: status 143, settings untouched"
