#!/bin/sh
# Builds the Debian package from this build and checks it as an installer and a user would meet
# it: its contents and metadata, lintian, the desktop entries and the metainfo; then the program
# unpacked into a temporary root runs on a private desktop with a fresh HOME, reaches the tray,
# and ends itself, settings saved, when "uninstall.flag" appears in its program folder.
# Usage: package_test.sh BUILD_DIR
set -u
build_dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail()
{
    echo "FAIL: $*"
    exit 1
}

if [ "${2:-}" != "inside" ]; then
    cpack -G DEB -B "$work/out" --config "$build_dir/CPackConfig.cmake" >"$work/cpack.log" 2>&1 \
        || { cat "$work/cpack.log"; fail "cpack failed"; }
    deb=$(ls "$work"/out/tallyhour_*.deb 2>/dev/null | head -n 1)
    [ -n "$deb" ] || fail "no package was made"
    echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes"

    dpkg-deb -I "$deb" >"$work/info" || fail "dpkg-deb -I failed"
    grep -q '^ Package: tallyhour$' "$work/info" || fail "wrong package name"
    grep -q '^ Depends:.*at-spi2-core' "$work/info" || fail "the accessibility bus is not a dependency"
    grep -q '^ Depends:.*qt6-wayland' "$work/info" || fail "Qt's Wayland platform is not a dependency"
    grep -q '^ Depends:.*libqt6widgets6' "$work/info" || fail "the computed library dependencies are missing"
    grep -q '^ Installed-Size:' "$work/info" && echo "installed size: $(sed -n 's/^ Installed-Size: //p' "$work/info") KiB"
    dpkg-deb -c "$deb" >"$work/contents" || fail "dpkg-deb -c failed"
    for path in ./opt/tallyhour/tallyhour ./opt/tallyhour/settings.sqlite ./opt/tallyhour/actmondb.sqlite \
        ./opt/tallyhour/Skins/Blue.png ./usr/share/applications/tallyhour.desktop \
        ./etc/xdg/autostart/tallyhour.desktop ./usr/share/metainfo/org.example.tallyhour.metainfo.xml \
        ./usr/share/icons/hicolor/48x48/apps/tallyhour.png ./usr/share/icons/hicolor/256x256/apps/tallyhour.png \
        ./usr/share/doc/tallyhour/copyright ./usr/share/man/man1/tallyhour.1.gz \
        ./etc/chromium.d/tallyhour-accessibility \
        ./usr/share/gnome-shell/extensions/tallyhour@tallyhour.example.org/metadata.json \
        ./usr/share/gnome-shell/extensions/tallyhour@tallyhour.example.org/extension.js; do
        grep -q " $path\$" "$work/contents" || fail "$path is not in the package"
    done
    grep -q ' ./usr/bin/tallyhour -> /opt/tallyhour/tallyhour$' "$work/contents" || fail "no command in /usr/bin"
    dpkg-deb -e "$deb" "$work/control" || fail "dpkg-deb -e failed"
    for script in prerm postrm; do
        [ -x "$work/control/$script" ] || fail "no executable $script"
        sh -n "$work/control/$script" || fail "$script does not parse"
    done
    grep -q '^/etc/xdg/autostart/tallyhour.desktop$' "$work/control/conffiles" || fail "the autostart entry is no conffile"
    grep -q "^/etc/chromium.d/tallyhour-accessibility$" "$work/control/conffiles" || fail "the chromium flags file is no conffile"

    lintian --fail-on error --no-tag-display-limit "$deb" >"$work/lintian" 2>&1
    status=$?
    grep -v 'running with root privileges' "$work/lintian"
    [ $status -eq 0 ] || fail "lintian reported errors"

    dpkg-deb -x "$deb" "$work/root" || fail "dpkg-deb -x failed"
    desktop-file-validate "$work/root/usr/share/applications/tallyhour.desktop" \
        "$work/root/etc/xdg/autostart/tallyhour.desktop" || fail "a desktop entry does not validate"
    appstreamcli validate --no-net "$work/root/usr/share/metainfo/org.example.tallyhour.metainfo.xml" \
        || fail "the metainfo does not validate"
    # GNOME Shell takes an extension only from the folder named as its uuid, and only for the
    # versions its metadata names: those of the GNOME the package was built for.
    extension="$work/root/usr/share/gnome-shell/extensions/tallyhour@tallyhour.example.org"
    python3 -c 'import json, sys; m = json.load(open(sys.argv[1])); sys.exit(m["uuid"] != sys.argv[2])' \
        "$extension/metadata.json" tallyhour@tallyhour.example.org || fail "the extension's metadata names another uuid"
    if command -v gnome-shell >/dev/null 2>&1; then
        major=$(gnome-shell --version | grep -o '[0-9][0-9]*' | head -n 1)
        grep -q "\"$major\"" "$extension/metadata.json" || fail "the extension is not made for GNOME Shell $major"
    fi

    # The unpacked program on a private desktop; this script, as "inside", is the session.
    xvfb-run -a -s "-screen 0 1280x800x24" dbus-run-session -- sh "$0" "$work" inside || exit 1
    echo "package: all checks passed"
    exit 0
fi

# Inside the private desktop: $1 is the outer work folder.
root=$1/root
openbox >"$1/openbox.log" 2>&1 &
# The desktop a user logs into is up before their autostart entries run: on a loaded machine a
# program started first would find no window manager to activate its window, or no tray.
for _ in $(seq 1 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.1
done
trayer --edge top --align right --widthtype pixel --width 100 --heighttype pixel --height 24 >"$1/trayer.log" 2>&1 &
trayer_pid=$!
for _ in $(seq 1 100); do
    [ -n "$(xdotool search --all --onlyvisible --pid $trayer_pid '' 2>/dev/null)" ] && break
    sleep 0.1
done
home=$1/home
mkdir -p "$home"
HOME=$home XDG_DATA_HOME="" XDG_CONFIG_HOME="" "$root/opt/tallyhour/tallyhour" >"$1/program.log" 2>&1 &
pid=$!
data="$home/.local/share/Tallyhour"
# A first start opens the settings wizard before anything else; the user closes it.
wizard=""
for _ in $(seq 1 150); do
    wizard=$(xdotool search --all --onlyvisible --pid $pid --name '^Settings$' 2>/dev/null | head -n 1)
    [ -n "$wizard" ] && break
    kill -0 $pid 2>/dev/null || break
    sleep 0.2
done
[ -n "$wizard" ] || { kill $pid; cat "$1/program.log"; fail "the first start showed no settings wizard"; }
# The key goes to the window that has the focus; a press that came before the window took it is
# pressed again, as a user would, and the log says so.
closed=0
for attempt in 1 2 3 4 5; do
    xdotool windowactivate --sync "$wizard" key --clearmodifiers Escape >/dev/null 2>&1
    for _ in $(seq 1 25); do
        xdotool search --all --onlyvisible --pid $pid --name '^Settings$' 2>/dev/null | grep -qx "$wizard" \
            || { closed=1; break; }
        sleep 0.2
    done
    [ $closed -eq 1 ] && break
    echo "note: the settings wizard was still open after Escape number $attempt"
done
windows_tell()
{
    echo "the program's windows:"
    for w in $(xdotool search --all --pid $pid '' 2>/dev/null); do
        echo "  $w \"$(xdotool getwindowname "$w" 2>/dev/null)\" $(xwininfo -id "$w" 2>/dev/null | awk '/Map State:/{print $3}') \
$(xwininfo -id "$w" 2>/dev/null | awk '/Width:/{w=$2} /Height:/{print w "x" $2}')"
    done
    echo "program log:"
    cat "$1/program.log"
    echo "trayer log:"
    cat "$1/trayer.log"
}
[ $closed -eq 1 ] || { windows_tell "$1"; kill $pid; fail "Escape did not close the settings wizard"; }
tray=0
# Generous waits: the package test shares the machine with browser tests under load.
for _ in $(seq 1 300); do
    kill -0 $pid 2>/dev/null || break
    # Reachable: a small window of the program's own is mapped inside the tray.
    for w in $(xdotool search --all --onlyvisible --pid $pid '' 2>/dev/null); do
        width=$(xwininfo -id "$w" 2>/dev/null | awk '/Width:/{print $2}')
        [ -n "$width" ] && [ "$width" -le 64 ] && tray=1
    done
    [ $tray -eq 1 ] && break
    sleep 0.2
done
kill -0 $pid 2>/dev/null || { cat "$1/program.log"; fail "the unpacked program ended by itself"; }
[ $tray -eq 1 ] || { windows_tell "$1"; kill $pid; fail "no tray icon of the program"; }
[ -f "$data/settings.sqlite" ] || fail "the first start did not install the databases"
touch "$root/opt/tallyhour/uninstall.flag"
ended=0
for _ in $(seq 1 100); do
    kill -0 $pid 2>/dev/null || { ended=1; break; }
    sleep 0.2
done
[ $ended -eq 1 ] || { kill -9 $pid; fail "uninstall.flag did not end the program within 20 s"; }
wait $pid
rc=$?
[ $rc -eq 0 ] || fail "the program ended with status $rc"
[ ! -e "$data/Tallyhour.lock" ] || fail "the lock file was left behind"
[ "$(sqlite3 "$data/settings.sqlite" "SELECT COUNT(*) FROM settings" 2>/dev/null)" -gt 0 ] \
    || fail "no settings were saved on the way out"
echo "program: reached the tray, ended by uninstall.flag with its settings saved"
