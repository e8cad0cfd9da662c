# shellcheck shell=bash disable=SC2154 # smoke_name and driver come from the sourcing script
# The common part of the tests that drive the real program under Xvfb; sourced, not run.
#
# The sourcing script sets
#   smoke_name   how fail() names the test, e.g. "SCALP MAP SMOKE"
#   smoke_keep   files below $work to copy into the output folder at the end (optional)
# and calls, in this order:
#   smoke_prepare <solvane> <libkardemo.so> <output folder> <scratch name>
#                   a scratch folder $work with the program and the simulated library in
#                   $folder (= $work/bin); cleaned up when the script ends
#   start_xvfb      our own X server on a free display; sets DISPLAY
#   start_window_manager (optional) a window manager that frames the windows, without a
#                   tray, so that the whole 1024 x 768 screen is left to the windows
#   start_solvane   starts the copied program in $work; sets $solvane_pid and $window
#   end_solvane     waits for the program to end and requires exit status 0
# Helpers: fail, wait_for, ended.

work=
folder=
xvfb_pid=
wm_pid=
solvane_pid=
smoke_keep=${smoke_keep:-solvane.log}

smoke_cleanup() {
    if [ -n "$solvane_pid" ]; then kill "$solvane_pid" 2>/dev/null || true; fi
    if [ -n "$wm_pid" ]; then kill "$wm_pid" 2>/dev/null || true; fi
    if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
    if [ -n "$work" ]; then
        local file
        for file in $smoke_keep; do
            cp "$work/$file" "$output"/ 2>/dev/null || true
        done
        rm -rf "$work"
    fi
}
trap smoke_cleanup EXIT

# fail <reason>: the reason, the program's output and the simulated DSU's log; exit 1.
fail() {
    echo "$smoke_name FAILED: $*" >&2
    [ -f "$work/solvane.log" ] && sed 's/^/  solvane: /' "$work/solvane.log" >&2
    [ -f "$folder/debug.txt" ] && sed 's/^/  debug.txt: /' "$folder/debug.txt" >&2
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

# ended <pid>: gone, or a zombie that waits for us to collect its status.
ended() {
    local state
    state=$(awk '{ print $3 }' "/proc/$1/stat" 2>/dev/null) || return 0
    [ -z "$state" ] || [ "$state" = Z ]
}

smoke_prepare() {
    output=$3
    mkdir -p "$output"
    work=$(mktemp -d "/tmp/$4-XXXXXX")
    folder=$work/bin
    mkdir "$folder"
    cp "$1" "$folder/solvane"
    cp "$2" "$folder/libkardemo.so"
}

start_xvfb() {
    # Xvfb writes the display number once it accepts clients.
    Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp 9>"$work/display" 2>"$work/xvfb.log" &
    xvfb_pid=$!
    wait_for 20 "Xvfb to start" test -s "$work/display"
    DISPLAY=:$(head -n1 "$work/display")
    export DISPLAY
    export QT_QPA_PLATFORM=xcb
    # In a sanitizer build: libxkbcommon-x11 hands strndup counted names that are not
    # NUL-terminated, which strict string checks take for an overflow inside that library.
    # Qt's D-Bus thread may still hold what it allocated when the program exits; the stacks
    # of those allocations pass through frames without frame pointers, so they are taken the
    # slow way, whole, for the suppression of libQt6DBus to see them.
    export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}strict_string_checks=0:fast_unwind_on_malloc=0
}

start_window_manager() {
    command -v jwm >/dev/null || fail "the window manager jwm is missing (scripts/install-deps)"
    printf '<?xml version="1.0"?>\n<JWM></JWM>\n' >"$work/jwmrc"
    jwm -f "$work/jwmrc" >"$work/jwm.log" 2>&1 &
    wm_pid=$!
    wait_for 20 "the window manager to start" sh -c \
        'xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"'
}

# start_solvane [command...]: through the command (env with its settings, say) when one is given.
# shellcheck disable=SC2034 # window is for the sourcing script
start_solvane() {
    (cd "$work" && exec "$@" "$folder/solvane") >"$work/solvane.log" 2>&1 &
    solvane_pid=$!
    window=$("$driver" find "Solvane by Kardemo v" 30) || fail "the main window did not appear"
}

end_solvane() {
    wait_for 20 "the program to end" ended "$solvane_pid"
    local status=0
    wait "$solvane_pid" || status=$?
    solvane_pid=
    [ "$status" -eq 0 ] || fail "solvane ended with status $status"
}

# write_four_channels <volume> <base Hz> <desired Hz>: a solvane.ini in $folder whose slots 0..3
# are O1, O2, P3 and P4 (19, 21, 15, 17), so that both groups have channels and the program
# balances two volumes.
write_four_channels() {
    cat >"$folder/solvane.ini" <<INI
[Kardemo]
DSUSampleRate= 256
BMFFTBinSize= 0
ActiveComPort= 0
[AVE]
AVEVolume= $1
AVEFrequency= $2
AVEDesiredFrequency= $3
AVEChannel1= 19
AVEChannel2= 21
AVEChannel3= 15
AVEChannel4= 17
INI
}
