#!/usr/bin/env bash
# The installed program, as a user has it: its files where installing puts them, and its own
# files in the user's XDG base directories. Two ways to install, neither onto this machine:
#   installed-smoke.sh staged  <build folder> <x11driver> <output folder>
#       cmake --install into a staging prefix; the XDG variables left unset (their defaults)
#   installed-smoke.sh package <build folder> <x11driver> <output folder>
#       cpack -G DEB; the package's fields and contents listed (dpkg-deb -I, -c) into the output
#       folder, its dependencies checked, lintian run on it (no error allowed; what it says is
#       kept in lintian.txt); then extracted with dpkg-deb -x; the XDG variables set
# Either way the desktop entry, the metainfo, the manual page and the RUNPATH are checked, and
# the program is started by its desktop entry's Exec line under its own Xvfb as the user
# nobody, with a new home folder and a prefix it cannot write. The window must open, the
# settings land in the configuration folder, a run goes on the bundled simulated DSU found
# through RUNPATH and is kept in the data folder, the debug log in the state folder, and
# nothing is written into the prefix.
set -euo pipefail

mode=$1
build=$2
driver=$3
output=$4

smoke_name="INSTALLED SMOKE ($mode)"
# shellcheck source-path=SCRIPTDIR source=../smoke/xvfb-session.sh
source "$(dirname "$0")/../smoke/xvfb-session.sh"

app_id=org.solvane.Solvane
nobody=65534
as_nobody() { setpriv --reuid=$nobody --regid=$nobody --clear-groups "$@"; }

mkdir -p "$output"
work=$(mktemp -d /tmp/solvane-installed-XXXXXX)
chmod 755 "$work"
# The sanitizers' suppressions where the user nobody can read them.
cp "$(dirname "$0")/../lsan.supp" "$work/"
mkdir -m 700 "$work/home" "$work/runtime"
chown $nobody:$nobody "$work/home" "$work/runtime"
home=$work/home

case $mode in
staged)
    prefix=$work/prefix
    cmake --install "$build" --prefix "$prefix" >"$work/install.log" ||
        fail "cmake --install: $(cat "$work/install.log")"
    config=$home/.config/solvane
    state=$home/.local/state/solvane
    data=$home/.local/share/solvane
    xdg=()
    ;;
package)
    (cd "$build" && cpack -G DEB -B "$work/package") >"$work/cpack.log" 2>&1 ||
        fail "cpack: $(cat "$work/cpack.log")"
    deb=$(echo "$work"/package/solvane_*.deb)
    [ -f "$deb" ] || fail "no package made: $(cat "$work/cpack.log")"
    dpkg-deb -I "$deb" >"$output/package-info.txt"
    dpkg-deb -c "$deb" >"$output/package-contents.txt"
    # Found by dpkg-shlibdeps: the toolkit for the program, the recording and resampling
    # libraries for the simulated DSU.
    depends=$(dpkg-deb -f "$deb" Depends)
    for package in libqt6widgets6 libfftw3-double3 libedf1 libsamplerate0 libc6; do
        grep -q "\b$package\b" <<<"$depends" || fail "Depends lacks $package: $depends"
    done
    [ "$(dpkg-deb -f "$deb" Section)" = science ] || fail "the section is not science"
    [ "$(dpkg-deb -f "$deb" Description | wc -l)" -gt 3 ] || fail "no extended description"
    grep -q '<.*@.*>' <<<"$(dpkg-deb -f "$deb" Maintainer)" || fail "no maintainer's address"
    lintian --fail-on error --display-info "$deb" >"$output/lintian.txt" 2>"$work/lintian.log" ||
        fail "lintian finds errors: $(cat "$output/lintian.txt" "$work/lintian.log")"
    echo "package $(basename "$deb"): $(stat -c %s "$deb") bytes," \
        "installed size $(dpkg-deb -f "$deb" Installed-Size) KiB" | tee "$output/package-size.txt"
    echo "lintian: $(grep -c '^W:' "$output/lintian.txt" || true) warnings, see $output/lintian.txt"
    dpkg-deb -x "$deb" "$work/root"
    prefix=$work/root/usr
    config=$work/xdg-config/solvane
    state=$work/xdg-state/solvane
    data=$work/xdg-data/solvane
    xdg=(XDG_CONFIG_HOME="$work/xdg-config" XDG_STATE_HOME="$work/xdg-state"
        XDG_DATA_HOME="$work/xdg-data")
    # The simulated DSU reads its configuration from the configuration folder.
    mkdir -p "$config"
    printf '[Simulator]\nSpeed = 2\n' >"$config/dsu-simulator.ini"
    chown -R $nobody:$nobody "$work/xdg-config"
    mkdir -m 755 "$work/xdg-state" "$work/xdg-data"
    chown $nobody:$nobody "$work/xdg-state" "$work/xdg-data"
    ;;
*) fail "no such mode: $mode" ;;
esac
folder=$state # where fail() finds debug.txt
touch "$work/installed"

for file in bin/solvane lib/solvane/libkardemo.so "share/applications/$app_id.desktop" \
    "share/metainfo/$app_id.metainfo.xml" share/icons/hicolor/32x32/apps/solvane.png \
    share/icons/hicolor/scalable/apps/solvane.svg share/man/man1/solvane.1.gz \
    share/doc/solvane/README.md share/doc/solvane/copyright; do
    [ -f "$prefix/$file" ] || fail "$file is not installed"
done
desktop-file-validate "$prefix/share/applications/$app_id.desktop" >"$work/desktop.log" 2>&1 ||
    fail "desktop-file-validate: $(cat "$work/desktop.log")"
appstreamcli validate --no-net "$prefix/share/metainfo/$app_id.metainfo.xml" >"$work/appstream.log" 2>&1 ||
    fail "appstreamcli validate: $(cat "$work/appstream.log")"
man_warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z \
    "$prefix/share/man/man1/solvane.1.gz" 2>&1 >/dev/null)
[ -z "$man_warnings" ] || fail "the manual page: $man_warnings"
# shellcheck disable=SC2016 # $ORIGIN is the loader's
readelf -d "$prefix/bin/solvane" | grep -q 'RUNPATH.*\[\$ORIGIN/\.\./lib/solvane\]' ||
    fail "the program's RUNPATH does not name \$ORIGIN/../lib/solvane"
as_nobody test ! -w "$prefix/bin" || fail "the user may write the prefix"

start_xvfb
# As the desktop starts it: the entry's Exec line, with the installed programs on the PATH.
read -r -a command <<<"$(sed -n 's/^Exec=//p' "$prefix/share/applications/$app_id.desktop")"
(cd "$home" && exec setpriv --reuid=$nobody --regid=$nobody --clear-groups env -i \
    HOME="$home" PATH="$prefix/bin:/usr/bin:/bin" DISPLAY="$DISPLAY" QT_QPA_PLATFORM=xcb \
    XDG_RUNTIME_DIR="$work/runtime" "${xdg[@]}" ASAN_OPTIONS="$ASAN_OPTIONS" \
    UBSAN_OPTIONS="${UBSAN_OPTIONS:-}" LSAN_OPTIONS="suppressions=$work/lsan.supp" \
    "${command[@]}") >"$work/solvane.log" 2>&1 &
solvane_pid=$!
window=$("$driver" find "Solvane by Kardemo v" 30) || fail "the main window did not appear"
[ "$(readlink "/proc/$solvane_pid/exe")" = "$prefix/bin/solvane" ] ||
    fail "the entry started $(readlink "/proc/$solvane_pid/exe")"
wait_for 20 "the settings in $config" test -s "$config/solvane.ini"

"$driver" key "$window" space || fail "could not press Space"
wait_for 20 "the run to start" grep -qs "recording into $data/sessions/" "$state/debug.txt"
grep -q " $prefix/lib/solvane/libkardemo.so\$" "/proc/$solvane_pid/maps" ||
    fail "the bundled simulated DSU is not the library loaded"
"$driver" key "$window" space || fail "could not press Space to stop"
wait_for 20 "the run to stop" grep -q "TerminateDSU: session written" "$state/debug.txt"
"$driver" close "$window" || fail "could not ask the window to close"
end_solvane

ls "$data"/sessions/*.edf >/dev/null 2>&1 || fail "no recording kept in $data/sessions"
[ -s "$data/sessions/kardemo.SES" ] || fail "no kardemo.SES in $data/sessions"
if [ "$mode" = staged ]; then
    for made in "$config" "$state" "$data/sessions" "$home/.local"; do
        [ "$(stat -c '%a %u' "$made")" = "700 $nobody" ] ||
            fail "$made was made as $(stat -c '%a %U' "$made"), not 700 nobody"
    done
else
    grep -q "speed 2," "$state/debug.txt" || fail "dsu-simulator.ini in $config was not read"
fi
written=$(find "$prefix" -newer "$work/installed" -print)
[ -z "$written" ] || fail "written into the prefix: $written"

echo "installed program ($mode) passed: settings in $config, log in $state, session in $data/sessions"
