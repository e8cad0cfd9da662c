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

smoke_name="SCALP MAP SMOKE"
# shellcheck source-path=SCRIPTDIR source=xvfb-session.sh
source "$(dirname "$0")/xvfb-session.sh"

# shows <file> <checker arguments...>: takes a screenshot and checks it; the last problem
# found is kept in $work/problem.
shows() {
    local file=$1
    shift
    "$driver" screenshot "$window" "$file" 2>"$work/problem" &&
        QT_QPA_PLATFORM=offscreen "$checker" "$file" "$@" 2>"$work/problem"
}

smoke_prepare "$program" "$library" "$output" solvane-map-smoke
start_xvfb
start_solvane

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
end_solvane

echo "scalp map smoke test passed; screenshots in $output"
