#!/usr/bin/env bash
# Runs the BIDS validator on a dataset in a network namespace of its own, which holds nothing
# but a loopback interface (checked before it starts), and writes its findings as JSON:
#
#   validate.sh <bids-validator> <dataset> <output.json> [<output.txt>]
#
# With a fourth argument its readable report goes there too. The validator's own exit status
# is not taken: its JSON says what it found. Fails when it cannot run or writes no JSON.
set -euo pipefail
[ $# -ge 3 ] || { echo "usage: $0 <bids-validator> <dataset> <output.json> [<output.txt>]" >&2; exit 2; }
validator=$1
dataset=$2
json=$3
text=${4:-}
[ -x "$validator" ] || { echo "no validator at $validator (scripts/install-bids-validator)" >&2; exit 2; }

isolated() {
    # shellcheck disable=SC2016 # expanded by the shell inside the namespace
    unshare -n bash -c '
        interfaces=$(awk -F: "NR > 2 { gsub(/ /, \"\", \$1); print \$1 }" /proc/net/dev)
        if [ "$interfaces" != lo ]; then
            echo "the validator would have a network: $interfaces" >&2
            exit 3
        fi
        exec "$@"' validate "$@"
}

isolated "$validator" "$dataset" --json >"$json" || true
if [ -n "$text" ]; then
    isolated "$validator" "$dataset" --no-color >"$text" 2>&1 || true
fi
node -e 'JSON.parse(require("fs").readFileSync(process.argv[1], "utf8")).issues.errors' "$json" ||
    { echo "the validator wrote no findings: $(head -c 2000 "$json")" >&2; exit 1; }
