#!/usr/bin/env bash
# The installed program, never installed onto this machine:
#   installed-smoke.sh staged|package <build folder> <x11driver> <output folder>
# "staged": cmake --install into a staging prefix, the XDG variables unset. "package": cpack
# -G DEB, the package's fields and contents listed into the output folder (dpkg-deb -I, -c),
# its dependencies checked, lintian run (no error or warning allowed; lintian.txt keeps what it
# says), its control files listed (no maintainer scripts, no conffiles), installed and removed
# in a staged dpkg root (after the removal dpkg knows nothing of it, as after a purge: CPack's
# ldconfig scripts had left it in the "rc" state), then extracted (dpkg-deb -x), the XDG
# variables set. Then the desktop entry, the metainfo,
# the manual page and the RUNPATH are checked, and the program is started by the entry's Exec
# line under Xvfb as the user nobody, with a new home and a prefix it cannot write: the window
# opens, the settings go to the configuration folder, a run goes on the bundled simulated DSU
# found through RUNPATH and is kept in the data folder, and nothing is written into the prefix.
# The set-up is started by its own entry the same way and must find the bundled DSU too. The
# MIME type the viewer's entry opens is defined by the installed MIME package and names the
# recorded session's type (by its contents), and no other EDF file's.
set -euo pipefail
mode=$1
build=$2
driver=$3
output=$4
smoke_name="INSTALLED SMOKE ($mode)"
# shellcheck source-path=SCRIPTDIR source=../smoke/xvfb-session.sh
source "$(dirname "$0")/../smoke/xvfb-session.sh"

entry=share/applications/org.solvane.Solvane.desktop
nobody=65534
mkdir -p "$output"
work=$(mktemp -d /tmp/solvane-installed-XXXXXX)
chmod 755 "$work"
home=$work/home
mkdir -m 700 "$home" "$work/runtime"

if [ "$mode" = staged ]; then
    prefix=$work/prefix
    cmake --install "$build" --prefix "$prefix" >"$work/install.log" ||
        fail "$(cat "$work/install.log")"
    config=$home/.config/solvane state=$home/.local/state/solvane data=$home/.local/share/solvane
    xdg=()
else
    (cd "$build" && cpack -G DEB -B "$work/package") >"$work/cpack.log" 2>&1 ||
        fail "$(cat "$work/cpack.log")"
    deb=$(echo "$work"/package/solvane_*.deb)
    dpkg-deb -I "$deb" >"$output/package-info.txt"
    dpkg-deb -c "$deb" >"$output/package-contents.txt"
    for field in "Depends: .*libqt6widgets6.*libsamplerate0" "Section: science" \
        "Maintainer: .*<.*@.*>"; do
        grep -q "^ $field" "$output/package-info.txt" || fail "the package lacks \"$field\""
    done
    lintian --fail-on error,warning --display-info "$deb" >"$output/lintian.txt" \
        2>"$work/lintian.log" || fail "lintian: $(cat "$output/lintian.txt" "$work/lintian.log")"
    dpkg-deb -e "$deb" "$work/control"
    for script in preinst postinst prerm postrm config conffiles triggers; do
        [ ! -e "$work/control/$script" ] || fail "the package has a $script"
    done
    dpkg_root=$work/dpkg-root
    mkdir -p "$dpkg_root/var/lib/dpkg/info" "$dpkg_root/var/lib/dpkg/updates"
    touch "$dpkg_root/var/lib/dpkg/status" "$dpkg_root/var/lib/dpkg/available"
    dpkg --root="$dpkg_root" --log=/dev/null --force-depends --force-script-chrootless \
        -i "$deb" >"$work/dpkg.log" 2>&1 || fail "dpkg -i: $(cat "$work/dpkg.log")"
    dpkg --root="$dpkg_root" --log=/dev/null -r solvane >>"$work/dpkg.log" 2>&1 ||
        fail "dpkg -r: $(cat "$work/dpkg.log")"
    left=$(dpkg-query --admindir="$dpkg_root/var/lib/dpkg" -W -f='${db:Status-Abbrev}' solvane \
        2>/dev/null || true)
    # "rn" (not installed) is what a purge leaves; "rc" would be configuration left behind.
    case $left in "" | ?n*) ;; *) fail "after the removal the package is in the state \"$left\"" ;; esac
    [ -z "$(find "$dpkg_root" -path "$dpkg_root/var" -prune -o ! -type d -print)" ] ||
        fail "the removal left files: $(find "$dpkg_root" -path "$dpkg_root/var" -prune -o \
            ! -type d -print)"
    echo "$(basename "$deb"): $(stat -c %s "$deb") bytes;" \
        "lintian: $(grep -c '^W:' "$output/lintian.txt") warnings"
    dpkg-deb -x "$deb" "$work/root"
    prefix=$work/root/usr
    config=$work/config/solvane state=$work/state/solvane data=$work/data/solvane
    xdg=(XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state" XDG_DATA_HOME="$work/data")
    mkdir -p "$config" "$work/state" "$work/data"
    printf '[Simulator]\nSpeed = 2\n' >"$config/dsu-simulator.ini"
    chown -R $nobody:$nobody "$work/config" "$work/state" "$work/data"
fi
chown $nobody:$nobody "$home" "$work/runtime"
folder=$state # where fail() finds debug.txt
touch "$work/installed"

setup_entry=share/applications/org.solvane.SolvaneSetup.desktop
entries=("$entry" share/applications/org.solvane.SolvaneView.desktop "$setup_entry")
for file in "${entries[@]}" share/icons/hicolor/{32x32/apps/solvane.png,scalable/apps/solvane.svg} \
    share/doc/solvane/{README.md,copyright} share/mime/packages/solvane-session.xml; do
    [ -f "$prefix/$file" ] || fail "$file is not installed"
done
for file in "${entries[@]}"; do
    desktop-file-validate "$prefix/$file" || fail "desktop-file-validate $file"
done
appstreamcli validate --no-net "$prefix/share/metainfo/org.solvane.Solvane.metainfo.xml" \
    >"$work/appstream.log" || fail "$(cat "$work/appstream.log")"
warnings=$(LC_ALL=C.UTF-8 man --warnings -l -Tutf8 -Z "$prefix/share/man/man1/solvane.1.gz" \
    2>&1 >/dev/null)
[ -z "$warnings" ] || fail "the manual page: $warnings"
# shellcheck disable=SC2016 # $ORIGIN is the loader's
readelf -d "$prefix/bin/solvane" | grep -qE 'runpath: \[\$ORIGIN/\.\./lib/([^/]+/)?solvane\]' ||
    fail "no RUNPATH"
setpriv --reuid=$nobody --regid=$nobody --clear-groups test ! -w "$prefix/bin" ||
    fail "the prefix is writable"

start_xvfb
read -r -a command <<<"$(sed -n 's/^Exec=//p' "$prefix/$entry")"
(cd "$home" && exec setpriv --reuid=$nobody --regid=$nobody --clear-groups env -i HOME="$home" \
    PATH="$prefix/bin:/usr/bin:/bin" DISPLAY="$DISPLAY" XDG_RUNTIME_DIR="$work/runtime" \
    "${xdg[@]}" "${command[@]}") >"$work/solvane.log" 2>&1 &
solvane_pid=$!
window=$("$driver" find "Solvane by Kardemo v" 30) || fail "the main window did not appear"
[ "$(readlink "/proc/$solvane_pid/exe")" = "$prefix/bin/solvane" ] ||
    fail "the entry started another program"
wait_for 20 "the settings in $config" test -s "$config/solvane.ini"
"$driver" key "$window" space || fail "could not press Space"
wait_for 20 "the run to start" grep -qs "recording into $data/sessions/" "$state/debug.txt"
grep -qE " $prefix/lib/([^/]+/)?solvane/libkardemo.so\$" "/proc/$solvane_pid/maps" ||
    fail "not the bundled library"
"$driver" key "$window" space || fail "could not press Space to stop"
wait_for 20 "the run to stop" grep -q "TerminateDSU: session written" "$state/debug.txt"
"$driver" close "$window" || fail "could not ask the window to close"
end_solvane

# The set-up, by its own entry: it finds the bundled library through RUNPATH as the program
# does, and the settings the program left in the configuration folder.
read -r -a command <<<"$(sed -n 's/^Exec=//p' "$prefix/$setup_entry")"
(cd "$home" && exec setpriv --reuid=$nobody --regid=$nobody --clear-groups env -i HOME="$home" \
    PATH="$prefix/bin:/usr/bin:/bin" DISPLAY="$DISPLAY" XDG_RUNTIME_DIR="$work/runtime" \
    "${xdg[@]}" "${command[@]}") >"$work/setup.log" 2>&1 &
setup_pid=$!
setup_window=$("$driver" find "Solvane set-up" 30) || fail "the set-up window did not appear"
[ "$(readlink "/proc/$setup_pid/exe")" = "$prefix/bin/solvane-view" ] ||
    fail "the set-up entry started another program"
wait_for 20 "the set-up to load the bundled library" grep -qE \
    " $prefix/lib/([^/]+/)?solvane/libkardemo.so\$" "/proc/$setup_pid/maps"
"$driver" close "$setup_window" || fail "could not ask the set-up window to close"
wait_for 20 "the set-up to end" ended "$setup_pid"
setup_status=0
wait "$setup_pid" || setup_status=$?
[ "$setup_status" -eq 0 ] || fail "the set-up ended with status $setup_status: $(cat "$work/setup.log")"

ls "$data"/sessions/*.edf >/dev/null || fail "no recording in $data/sessions"
[ -s "$data/sessions/kardemo.SES" ] || fail "no kardemo.SES in $data/sessions"
session_type=$(sed -n 's/^MimeType=\([^;]*\);$/\1/p' "$prefix/share/applications/org.solvane.SolvaneView.desktop")
[ -n "$session_type" ] || fail "the viewer's entry declares no MIME type"
mkdir -p "$work/mime-db/mime/packages"
cp "$prefix/share/mime/packages/solvane-session.xml" "$work/mime-db/mime/packages/"
update-mime-database "$work/mime-db/mime" >"$work/mime.log" 2>&1 || fail "$(cat "$work/mime.log")"
content_type() {
    XDG_DATA_HOME="$work/mime-db" XDG_DATA_DIRS=/usr/share gio info \
        --attributes=standard::content-type "$1" | sed -n 's/^ *standard::content-type: //p'
}
recordings=("$data"/sessions/*.edf)
recorded=${recordings[0]}
[ "$(content_type "$recorded")" = "$session_type" ] ||
    fail "$recorded is $(content_type "$recorded"), not $session_type"
other=$(dirname "$0")/../../data/eeg/eegmat_Subject00_1.edf
[ "$(content_type "$other")" != "$session_type" ] || fail "any EDF file is taken for a session"
if [ "$mode" = staged ]; then
    for made in "$config" "$state" "$data/sessions" "$home/.local"; do
        [ "$(stat -c '%a %u' "$made")" = "700 $nobody" ] ||
            fail "$made made as $(stat -c '%a %U' "$made")"
    done
else
    grep -q "speed 2," "$state/debug.txt" || fail "$config/dsu-simulator.ini was not read"
fi
[ -z "$(find "$prefix" -newer "$work/installed")" ] || fail "written into the prefix"
echo "installed program ($mode): settings in $config, log in $state, sessions in $data/sessions"
