#!/usr/bin/env bash
# The real program on an emulated Cyton board: the board streams its known signal on a
# pseudo-terminal for 8 seconds, the program reads it through the simulated libkardemo.so
# (SerialDevice names the pseudo-terminal), then the board hangs up as an unplugged dongle
# would. The program must stop the run by itself 5 seconds later and say so, and the session
# file must hold what was delivered.
#
#   run-cyton-smoke.sh <solvane> <libkardemo.so> <x11driver> <cyton_board> <output folder>
set -euo pipefail

program=$1
library=$2
driver=$3
board=$4
output=$5

smoke_name="CYTON SMOKE"
smoke_keep="solvane.log bin/debug.txt bin/dsu-simulator.ini"
# shellcheck source-path=SCRIPTDIR source=../smoke/xvfb-session.sh
source "$(dirname "$0")/../smoke/xvfb-session.sh"

smoke_prepare "$program" "$library" "$output" solvane-cyton
"$board" 8 >"$work/board.txt" &
board_pid=$!
trap 'kill "$board_pid" 2>/dev/null || true; smoke_cleanup' EXIT
wait_for 10 "the board's device" test -s "$work/board.txt"
device=$(head -n 1 "$work/board.txt")
cat >"$folder/dsu-simulator.ini" <<INI
[Simulator]
Source = cyton
SerialDevice = $device
Positions = O1, O2, P3, P4
INI
write_four_channels 12 210 15

start_xvfb
start_solvane
"$driver" key "$window" space || fail "could not press Space"
wait_for 20 "the run to start" grep -q "^InitialiseDSU: OpenBCI Cyton on $device" "$folder/debug.txt"
wait_for 30 "the board to hang up" grep -q "the board was unplugged" "$folder/debug.txt"
wait "$board_pid" || fail "the board was never started"
wait_for 30 "the run to stop by itself" grep -q "session written" "$folder/debug.txt"
box=$("$driver" find "=Solvane" 20) || fail "no message after the run stopped itself"
"$driver" key "$box" Return || fail "could not press Enter on the message"
wait_for 20 "the message to close" sh -c "! '$driver' find =Solvane 0 2>/dev/null"
"$driver" close "$window" || fail "could not ask the window to close"
end_solvane

packets=$(sed -n 's/.*session written to .* (\([0-9]*\) packets.*/\1/p' "$folder/debug.txt")
echo "the program received $packets packets from the board" | tee "$output/cyton.txt"
# 8 s at 256 packets/s, less the resampler's delay and the start.
[ "${packets:-0}" -ge $((7 * 256)) ] || fail "only ${packets:-no} packets were delivered"
grep -q "had gone after" "$folder/debug.txt" || fail "the board's end is not logged"
[ -s "$folder/kardemo.SES" ] || fail "no session file"
echo "cyton smoke test passed"
