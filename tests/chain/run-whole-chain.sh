#!/usr/bin/env bash
# The whole chain from outside: the real solvane on the bundled DSU records under Xvfb
# (scripts/record-session), then solvane-view --report makes a PDF of every session it kept.
# Each session must stand alone and be read as written:
#   - its events file has a point in every number and holds the commands;
#   - its sound lasts as long as its EEG, to within a second;
#   - with two runs in one program, the second one's sound is not silent and its events file
#     holds the tones in force (kept from the run before, at onset 0).
#
#   run-whole-chain.sh <build folder> <output folder> c | comma | two-runs
#
# "comma" runs the program under de_DE.UTF-8, whose decimal separator is a comma, built with
# localedef into <build folder>/locale (LOCPATH), so that nothing of the system is changed.
set -euo pipefail

build=$1
output=$2
mode=$3
here=$(cd "$(dirname "$0")/../.." && pwd)

fail() {
    echo "WHOLE CHAIN ($mode) FAILED: $*" >&2
    for log in "$output"/sessions.log/debug-*.txt; do
        [ -f "$log" ] && sed "s|^|  $(basename "$log"): |" "$log" >&2
    done
    exit 1
}

rm -rf "$output"
mkdir -p "$output"
runs=1
# The environment the program and the viewer run in (this shell keeps its own locale).
locale=(env LC_ALL=C)
case $mode in
c) ;;
comma)
    locales=$build/locale
    if [ ! -d "$locales/de_DE.UTF-8" ]; then
        mkdir -p "$locales"
        localedef -i de_DE -f UTF-8 "$locales/de_DE.UTF-8" ||
            fail "the locale de_DE.UTF-8 cannot be built (the package locales: scripts/install-deps)"
    fi
    locale=(env LOCPATH="$locales" LC_ALL=de_DE.UTF-8)
    [ "$("${locale[@]}" locale decimal_point)" = "," ] ||
        fail "de_DE.UTF-8 from $locales has no decimal comma"
    ;;
two-runs) runs=2 ;;
*) fail "no such mode" ;;
esac
command -v soxi >/dev/null || fail "soxi is missing (the package sox: scripts/install-deps)"

kept=$("${locale[@]}" "$here/scripts/record-session" -s 3 -r "$runs" "$build" "$output/sessions") ||
    fail "the runs could not be recorded"
[ "$(echo "$kept" | wc -l)" -eq "$runs" ] || fail "$runs sessions expected, kept: $kept"

number='[0-9]+\.[0-9][0-9][0-9][0-9]'
n=0
while read -r edf; do
    n=$((n + 1))
    stamp=${edf%.edf}
    events=${stamp}_events.tsv
    [ -f "$events" ] || fail "$events is missing"
    bad=$(awk -F '\t' -v n="^$number\$" 'NR > 1 && ($1 !~ n || ($2 != "n/a" && $2 !~ n)) { print; exit }' "$events")
    [ -z "$bad" ] || fail "$events has a number the BIDS way cannot read: \"$bad\""
    grep -q $'\tave_command\tWB0' "$events" || fail "$events holds no volume command: $(cat "$events")"

    records=$(dd if="$edf" bs=1 skip=236 count=8 2>/dev/null | tr -d ' ')
    sound=$(soxi -D "$stamp.flac") || fail "$stamp.flac cannot be read"
    awk -v s="$sound" -v r="$records" 'BEGIN { exit (s - r > 1 || r - s > 1) }' ||
        fail "the sound of $edf lasts $sound s, its EEG $records s"

    echo "session $n: $records s of EEG, $sound s of sound, $(($(wc -l <"$events") - 1)) events"
done <<<"$kept"

if [ "$runs" -eq 2 ]; then
    second=$(echo "$kept" | tail -n 1)
    stamp=${second%.edf}
    for tone in WE WF; do
        grep -qE "^0\.0000"$'\tn/a\tave_state\t'"$tone" "${stamp}_events.tsv" ||
            fail "the second session's events file lacks the tone $tone in force: $(cat "${stamp}_events.tsv")"
    done
    peak=$(sox "$stamp.flac" -n stat 2>&1 | awk '/^Maximum amplitude/ { print $3 }')
    awk -v p="$peak" 'BEGIN { exit !(p > 0.001) }' ||
        fail "the second session's sound is silent (peak $peak)"
    echo "second session: the tones at onset 0, its sound peaks at $peak"
fi

n=0
while read -r edf; do
    n=$((n + 1))
    "${locale[@]}" "$build/bin/solvane-view" --report "$edf" -o "$output/report-$n.pdf" \
        2>"$output/view-$n.log" || fail "solvane-view --report $edf failed: $(cat "$output/view-$n.log")"
    [ "$(head -c 5 "$output/report-$n.pdf")" = "%PDF-" ] || fail "report-$n.pdf is no PDF"
    echo "session $n: report-$n.pdf"
done <<<"$kept"
echo "whole chain ($mode) passed"
