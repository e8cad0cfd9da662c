#!/usr/bin/env bash
# The scalp map in the real program: copies solvane and the simulated libkardemo.so into an
# empty folder (so that the settings file is new: position 1 alone is selected), starts it in
# its own Xvfb server, and checks screenshots of the window: before the run the designed map;
# during a run position 1 green and every other position greyed. Then stops the run and closes
# the window. Screenshots go to the output folder; the time from the DSU's initialisation to
# the first screenshot that shows the verdict is printed.
#
#   scalp-map-smoke.sh <solvane> <libkardemo.so> <x11driver> <scalp_map_screenshot_check>
#                      <output folder>
set -euo pipefail

program=$1
library=$2
driver=$3
checker=$4
output=$5

mkdir -p "$output"
work=$(mktemp -d /tmp/solvane-map-smoke-XXXXXX)
xvfb_pid=
solvane_pid=

cleanup() {
    [ -n "$solvane_pid" ] && kill "$solvane_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    cp "$work/solvane.log" "$output"/ 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "SCALP MAP SMOKE FAILED: $*" >&2
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

# shows <file> <checker arguments...>: takes a screenshot and checks it; the last problem
# found is kept in $work/problem.
shows() {
    local file=$1
    shift
    "$driver" screenshot "$window" "$file" 2>"$work/problem" &&
        QT_QPA_PLATFORM=offscreen "$checker" "$file" "$@" 2>"$work/problem"
}

mkdir "$work/bin"
cp "$program" "$work/bin/solvane"
cp "$library" "$work/bin/libkardemo.so"
folder=$work/bin

Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp 9>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
wait_for 20 "Xvfb to start" test -s "$work/display"
export DISPLAY=:$(head -n1 "$work/display")
export QT_QPA_PLATFORM=xcb
export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}strict_string_checks=0

(cd "$work" && exec "$folder/solvane") >"$work/solvane.log" 2>&1 &
solvane_pid=$!

window=$("$driver" find "Solvane by Kardemo v" 30) || fail "the main window did not appear"

# The first paint may follow the window's appearance by a moment.
wait_for 20 "the designed map ($(cat "$work/problem" 2>/dev/null))" \
    shows "$output/scalp-map-designed.png" designed

"$driver" key "$window" space || fail "could not press Space"
wait_for 20 "the run to start" grep -q InitialiseDSU "$folder/debug.txt"
started=$(date +%s.%N)
wait_for 30 "position 1 green and the others greyed ($(cat "$work/problem" 2>/dev/null))" \
    shows "$output/scalp-map-running.png" running 1
seen=$(date +%s.%N)
awk -v s="$started" -v e="$seen" \
    'BEGIN { printf "first verdict on screen %.2f s after InitialiseDSU\n", e - s }' |
    tee "$output/first-verdict.txt"

"$driver" key "$window" space || fail "could not press Space to stop"
wait_for 20 "the run to stop" grep -q TerminateDSU "$folder/debug.txt"
"$driver" close "$window" || fail "could not ask the window to close"
wait_for 20 "the program to end" ended "$solvane_pid"
status=0
wait "$solvane_pid" || status=$?
solvane_pid=
[ "$status" -eq 0 ] || fail "solvane ended with status $status"

echo "scalp map smoke test passed; screenshots in $output"
