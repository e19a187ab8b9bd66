#!/bin/sh
# The program started in a session whose display servers have ended (a compositor that crashed
# leaves WAYLAND_DISPLAY and its socket's file behind): one clear line and status 2 each time,
# never Qt's abort. $1: the tallyhour binary. With --xwayland as $2: only the compositor has
# ended and XWayland (an Xvfb here) is still there, so the program runs through it.
program="$1"
mode="$2"
runtime=$(mktemp -d)
home=$(mktemp -d)
chmod 700 "$runtime"
touch "$runtime/wayland-gone"
failed=0
check() {
    description="$1"
    shift
    out=$(env -u DISPLAY -u QT_QPA_PLATFORM HOME="$home" XDG_RUNTIME_DIR="$runtime" WAYLAND_DISPLAY=wayland-gone \
        XDG_SESSION_TYPE=wayland "$@" "$program" 2>&1)
    rc=$?
    if [ $rc -ne 2 ] || [ "$(echo "$out" | wc -l)" -ne 1 ] || ! echo "$out" | grep -q 'wayland-gone" does not answer'; then
        echo "FAILED ($description): status $rc"
        echo "$out"
        failed=1
    else
        echo "ok ($description): $out"
    fi
}
if [ "$mode" != --xwayland ]; then
    check "no X display"
    check "an X display that ended too" DISPLAY=:1999
    check "the user's own choice of Wayland" QT_QPA_PLATFORM=wayland
    check "the user's own list" "QT_QPA_PLATFORM=wayland;xcb" DISPLAY=:1999
elif command -v Xvfb >/dev/null 2>&1; then
    # The windows take XWayland and the program runs.
    Xvfb -displayfd 3 -nolisten tcp 3>"$runtime/display" >/dev/null 2>&1 &
    xvfb=$!
    for i in $(seq 50); do [ -s "$runtime/display" ] && break; sleep 0.1; done
    # No bus: nothing of the machine's own session is touched.
    env -u QT_QPA_PLATFORM HOME="$home" XDG_RUNTIME_DIR="$runtime" WAYLAND_DISPLAY=wayland-gone XDG_SESSION_TYPE=wayland \
        DISPLAY=":$(cat "$runtime/display")" DBUS_SESSION_BUS_ADDRESS="unix:path=$runtime/no-bus" \
        DBUS_SYSTEM_BUS_ADDRESS="unix:path=$runtime/no-system-bus" "$program" >"$runtime/out" 2>&1 &
    started=$!
    sleep 3
    kill -TERM $started
    wait $started
    rc=$?
    kill $xvfb
    if [ $rc -ne 0 ] || ! grep -q "Qt's \"xcb\" platform" "$home/.local/share/Tallyhour/tallyhour.log"; then
        echo "FAILED (XWayland still there): status $rc"
        cat "$runtime/out" "$home/.local/share/Tallyhour/tallyhour.log"
        failed=1
    else
        echo "ok (XWayland still there): the windows run through it"
    fi
fi
rm -rf "$runtime" "$home"
exit $failed
