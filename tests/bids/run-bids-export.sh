#!/usr/bin/env bash
# Sessions recorded by the real program on the bundled DSU under Xvfb (scripts/record-session)
# are exported by solvane-view --export-bids under a decimal comma (de_DE.UTF-8, built with
# localedef into <build folder>/locale), and the BIDS validator, run without a network, finds
# no error in the dataset. A second export adds nothing and leaves every file byte for byte.
# A session that the exporting user (nobody, through setpriv) may not read is left out and
# reported, and the other one is exported. The validator's full report is printed.
#
#   run-bids-export.sh <build folder> <output folder> <bids-validator>
set -euo pipefail
build=$1
output=$2
validator=$3
here=$(cd "$(dirname "$0")/../.." && pwd)

fail() {
    echo "BIDS EXPORT FAILED: $*" >&2
    exit 1
}

rm -rf "$output"
mkdir -p "$output"
locales=$build/locale
if [ ! -d "$locales/de_DE.UTF-8" ]; then
    mkdir -p "$locales"
    localedef -i de_DE -f UTF-8 "$locales/de_DE.UTF-8" ||
        fail "the locale de_DE.UTF-8 cannot be built (the package locales: scripts/install-deps)"
fi
comma=(env LOCPATH="$locales" LC_ALL=de_DE.UTF-8)
[ "$("${comma[@]}" locale decimal_point)" = "," ] || fail "de_DE.UTF-8 has no decimal comma"

"$here/scripts/record-session" -s 3 -r 2 "$build" "$output/sessions" >"$output/kept.txt" ||
    fail "the runs could not be recorded"
[ "$(wc -l <"$output/kept.txt")" -eq 2 ] || fail "2 sessions expected: $(cat "$output/kept.txt")"

dataset=$output/dataset
"${comma[@]}" "$build/bin/solvane-view" --export-bids "$dataset" --folder "$output/sessions" \
    >"$output/export.txt" 2>&1 || fail "the export failed: $(cat "$output/export.txt")"
cat "$output/export.txt"
grep -q '^2 exported, 0 already in the dataset, 0 left out' "$output/export.txt" ||
    fail "both sessions should be exported"

"$here/tests/bids/validate.sh" "$validator" "$dataset" "$output/validator.json" \
    "$output/validator.txt" || fail "the validator did not run"
echo "--- the validator's report ---"
cat "$output/validator.txt"
echo "---"
node -e '
    const issues = JSON.parse(require("fs").readFileSync(process.argv[1], "utf8")).issues;
    console.log("errors: " + issues.errors.length + ", warnings: " +
                (issues.warnings.map(w => w.key).join(", ") || "none"));
    process.exit(issues.errors.length === 0 ? 0 : 1);
' "$output/validator.json" || fail "the validator found errors in $dataset"

checksums() { (cd "$dataset" && find . -type f -print0 | sort -z | xargs -0 sha256sum); }
checksums >"$output/first.sha256"
"${comma[@]}" "$build/bin/solvane-view" --export-bids "$dataset" --folder "$output/sessions" \
    >"$output/again.txt" 2>&1 || fail "the second export failed: $(cat "$output/again.txt")"
grep -q '^0 exported, 2 already in the dataset, 0 left out' "$output/again.txt" ||
    fail "the second export should find both sessions there: $(cat "$output/again.txt")"
checksums | diff "$output/first.sha256" - >&2 || fail "the second export changed the dataset"

nobody=$(id -u nobody)
unreadable=$output/unreadable
mkdir -p "$unreadable/sessions" "$unreadable/dataset"
cp "$output/sessions"/* "$unreadable/sessions/"
locked=$unreadable/sessions/$(basename "$(head -n 1 "$output/kept.txt")")
chown -R "$nobody:$nobody" "$unreadable"
chmod 000 "$locked"
status=0
setpriv --reuid="$nobody" --regid="$nobody" --clear-groups "$build/bin/solvane-view" \
    --export-bids "$unreadable/dataset" --folder "$unreadable/sessions" \
    >"$output/unreadable.txt" 2>&1 || status=$?
cat "$output/unreadable.txt"
[ "$status" -eq 1 ] || fail "an export that left a session out should end with status 1, not $status"
grep -q "$(basename "$locked") is left out: it cannot be read: .*Permission denied" \
    "$output/unreadable.txt" || fail "the unreadable session should be reported"
grep -q '^1 exported, 0 already in the dataset, 1 left out' "$output/unreadable.txt" ||
    fail "the readable session should be exported"
echo "BIDS export passed"
