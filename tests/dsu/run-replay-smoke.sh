#!/usr/bin/env bash
# The real program on a replayed recording: copies solvane, the simulated libkardemo.so, a
# resting recording and a dsu-simulator.ini that replays it as fast as polled (no
# loop) into an empty folder, selects the replayed positions in solvane.ini, starts a run
# under its own Xvfb and waits until the whole recording has been delivered. With no data
# coming any more, the program must stop the run by itself after 5 seconds and say so; the
# message is closed with Enter, a screenshot checks that the scalp map shows good contact
# (green circles, no red), and the window is closed and the session file checked.
#
#   run-replay-smoke.sh <solvane> <libkardemo.so> <x11driver> <recording> <output folder>
set -euo pipefail

program=$1
library=$2
driver=$3
recording=$4
output=$5

if [ ! -f "$recording" ]; then
    echo "REPLAY SMOKE FAILED: the recording $recording is missing" >&2
    exit 1
fi

smoke_name="REPLAY SMOKE"
smoke_keep="solvane.log bin/debug.txt bin/dsu-simulator.ini"
# shellcheck source-path=SCRIPTDIR source=../smoke/xvfb-session.sh
source "$(dirname "$0")/../smoke/xvfb-session.sh"

# Pixels of exactly one colour in a binary PPM (P6) image: count_colour <file> <r> <g> <b>
count_colour() {
    local header_bytes
    header_bytes=$(head -c 64 "$1" | awk 'NR <= 3 { n += length($0) + 1 } END { print n }')
    tail -c +"$((header_bytes + 1))" "$1" | od -An -v -tu1 -w3 |
        awk -v r="$2" -v g="$3" -v b="$4" '$1 == r && $2 == g && $3 == b { n++ } END { print n + 0 }'
}

smoke_prepare "$program" "$library" "$output" solvane-replay
cp "$recording" "$folder/"
name=$(basename "$recording")
cat >"$folder/dsu-simulator.ini" <<INI
[Simulator]
Source = $name
Channels = O1, O2, P3, P4
Speed = 0
Loop = 0
INI
# Slots 0..3 at the replayed positions: O1 19, O2 21, P3 15, P4 17.
write_four_channels 12 210 15

start_xvfb
start_solvane
"$driver" key "$window" space || fail "could not press Space"
wait_for 20 "the run to start" grep -q "^InitialiseDSU: replay" "$folder/debug.txt"
started=$(date +%s.%N)
wait_for 600 "the recording to end" grep -q "the recording has ended" "$folder/debug.txt"
finished=$(date +%s.%N)
packets=$(sed -n 's/.*the recording has ended after \([0-9]*\) packets.*/\1/p' "$folder/debug.txt")
awk -v p="$packets" -v s="$started" -v e="$finished" \
    'BEGIN { printf "replayed %d packets through the program in %.1f s (%.0f packets/s)\n", p, e - s, p / (e - s) }' |
    tee "$output/replay.txt"

# The simulated DSU has nothing more to give: the run must end on its own, the orderly way,
# within 5 seconds (plus slack for a slow build), with a message that says why.
wait_for 30 "the run to stop by itself" grep -q "session written" "$folder/debug.txt"
box=$("$driver" find "=Solvane" 20) || fail "no message after the run stopped itself"
"$driver" screenshot "$box" "$output/solvane-replay-stalled.png" || true
"$driver" key "$box" Return || fail "could not press Enter on the message"
wait_for 20 "the message to close" sh -c "! '$driver' find =Solvane 0 2>/dev/null"
after_end=$(sed -n '/the recording has ended/,$p' "$folder/debug.txt" | sed -n '2,5p' | sed 's/[: ].*//')
[ "$after_end" = "$(printf 'SendCommandToDSU(WB0000)\nSendCommandToDSU(WB0100)\nActiveComPort\nTerminateDSU')" ] ||
    fail "the run did not end silenced and terminated: $after_end"

"$driver" screenshot "$window" "$work/map.ppm" || fail "no screenshot"
"$driver" screenshot "$window" "$output/solvane-replay.png" || true
green=$(count_colour "$work/map.ppm" 0 255 0)
red=$(count_colour "$work/map.ppm" 255 0 0)
echo "scalp map: $green green pixels, $red red pixels" | tee -a "$output/replay.txt"
[ "$red" -eq 0 ] || fail "the scalp map shows poor contact (red)"
[ "$green" -gt 400 ] || fail "the scalp map shows no good contact (green)"

"$driver" close "$window" || fail "could not ask the window to close"
end_solvane

[ "$packets" -ge $((182 * 256 - 2)) ] || fail "only $packets packets were replayed"
grep -q "session written to $folder/kardemo.SES ($packets packets" "$folder/debug.txt" ||
    fail "the session file does not hold the replayed packets"
[ -s "$folder/kardemo.SES" ] || fail "no session file"
echo "replay smoke test passed; screenshot in $output/solvane-replay.png"
