#!/bin/sh
# Runs a command in a network namespace of its own, which has the loopback interface only,
# and refuses to run it when the namespace has any other interface.
set -eu
exec unshare -n sh -c '
    interfaces=$(tail -n +3 /proc/net/dev | cut -d: -f1 | tr -d " " | tr "\n" " ")
    if [ "$interfaces" != "lo " ]; then
        echo "not isolated: the namespace has the interfaces $interfaces" >&2
        exit 1
    fi
    exec "$@"' sh "$@"
