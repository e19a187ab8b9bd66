#!/bin/sh
# The whole tallyhour.exe under Wine, on a desktop of its own (Xvfb, openbox, trayer), with a
# data folder prepared in Wine's %APPDATA%\Tallyhour as a user's would be:
#   1. a first run: the settings wizard, Esc, the tray icon; a second copy says "Application is
#      already running"; the end of the Windows session (WM_QUERYENDSESSION, WM_ENDSESSION, as
#      wineboot --end-session sends them) ends the program with its settings saved;
#   2. notepad listed and in front, 50 of its 60 s used with "Close Browser/App.": its time is
#      charged under its Windows path, the "Reminder" window counts down, then notepad is closed.
# Usage: program_under_wine.sh <tallyhour.exe> <wine-run.sh>
PROGRAM=$1
RUN=$2
FAILED=0
fail() { echo "FAILED: $*"; FAILED=1; }
say() { echo "program_under_wine: $*"; }
for tool in Xvfb openbox trayer xdotool xwininfo sqlite3; do
    command -v $tool >/dev/null 2>&1 || { echo "SKIPPED: $tool is not installed"; exit 77; }
done

# Every Wine program of the prefix shares one server, and its desktop process keeps the display it
# started on: a fresh server here puts the tray and the windows on this desktop.
"$RUN" wineserver -k >/dev/null 2>&1
DISPLAY_NUMBER=70
while [ -e /tmp/.X11-unix/X$DISPLAY_NUMBER ] || [ -e /tmp/.X$DISPLAY_NUMBER-lock ]; do
    DISPLAY_NUMBER=$((DISPLAY_NUMBER + 1))
done
export DISPLAY=:$DISPLAY_NUMBER
WORK=$(mktemp -d)
Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >"$WORK/xvfb.log" 2>&1 &
XVFB=$!
PIDS=""
cleanup() {
    "$RUN" wineserver -k >/dev/null 2>&1
    # shellcheck disable=SC2086
    kill $PIDS 2>/dev/null
    kill $XVFB 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT
wait_for() { # seconds, command...: until the command succeeds
    LIMIT=$(($(date +%s) + $1))
    shift
    until "$@" >/dev/null 2>&1; do
        [ "$(date +%s)" -ge "$LIMIT" ] && return 1
        sleep 0.2
    done
}
wait_for 10 xwininfo -root || { echo "Xvfb did not start"; exit 1; }
openbox >"$WORK/openbox.log" 2>&1 &
PIDS="$PIDS $!"
wait_for 10 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' || { echo "no window manager"; exit 1; }
trayer --edge bottom --align right --widthtype request >"$WORK/trayer.log" 2>&1 &
PIDS="$PIDS $!"
wait_for 10 xdotool search --class trayer || { echo "no tray"; exit 1; }

# The user's folders as Wine's profile has them.
APPDATA=$("$RUN" cmd /c echo %APPDATA% 2>/dev/null | tr -d '\r')
DATA=$("$RUN" winepath -u "$APPDATA\\Tallyhour" 2>/dev/null | tr -d '\r')
[ -n "$DATA" ] && [ "$DATA" != "/" ] || { echo "no application-data folder in Wine's profile"; exit 1; }
rm -rf "$DATA"
mkdir -p "$DATA"
BIN=$(dirname "$PROGRAM")
cp "$BIN/settings.sqlite" "$BIN/actmondb.sqlite" "$DATA/"
NOTEPAD='C:\windows\system32\notepad.exe'
# The program's day starts at 04:00.
TODAY=$(date -d '-4 hours' +%Y-%m-%d)
sqlite3 "$DATA/settings.sqlite" <<SQL || { echo "could not prepare the settings"; exit 1; }
DELETE FROM settings;
INSERT INTO settings(name, value) VALUES ('IsNotFirstRun', '0'), ('ResetDateTime', '$TODAY'),
  ('ScanPeriodSeconds', '2'), ('TimeLimitSeconds', '60'), ('ExpirationAction', 'Close Browser/App.'),
  ('AllowUserToChangeSettings', '1');
DELETE FROM applications_list;
INSERT INTO applications_list(name, caption, active) VALUES ('$NOTEPAD', 'Notepad', 1);
SQL
LOG="$DATA/tallyhour.log"
setting() { sqlite3 "$DATA/settings.sqlite" "SELECT value FROM settings WHERE name = '$1'"; }
# The program's windows by title (Wine names its X windows after the Windows ones).
window_of() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1; }
# Wine's processes are named by the program's path (this script's own arguments name it too).
running() { pgrep -f '^[^ ]*tallyhour\.exe( |$)' >/dev/null; }

say "1. first run"
"$RUN" "$PROGRAM" >"$WORK/first.out" 2>&1 &
wait_for 60 sh -c "xdotool search --onlyvisible --name '^Settings\$'" || fail "no settings wizard at the first run"
WIZARD=$(window_of Settings)
for attempt in 1 2 3 4 5; do
    [ -z "$(window_of Settings)" ] && break
    xdotool windowactivate --sync "$WIZARD" key Escape 2>/dev/null
    sleep 1
done
[ -z "$(window_of Settings)" ] || fail "Esc did not close the settings wizard"
# Wine docks the program's notification icon into the desktop's tray (XEmbed), as a small window
# of its own inside trayer's.
TRAY_ICON=""
tray_icon() {
    PANEL=$(xdotool search --class trayer | tail -n 1)
    TRAY_ICON=$(xwininfo -children -id "$PANEL" 2>/dev/null | grep -c '^ *0x')
    [ "$TRAY_ICON" -gt 0 ]
}
wait_for 30 tray_icon || fail "no icon in the tray"
[ -f "$DATA/Tallyhour.lock" ] || fail "no lock file while the program runs"

say "   a second copy"
"$RUN" "$PROGRAM" >"$WORK/second.out" 2>&1 &
SECOND=$!
if wait_for 30 sh -c "xdotool search --onlyvisible --name '^Please Note\$'"; then
    NOTE=$(window_of "Please Note")
    xdotool windowactivate --sync "$NOTE" key Return 2>/dev/null
    wait_for 20 sh -c "! kill -0 $SECOND 2>/dev/null" || fail "the second copy did not end after its message"
else
    fail "the second copy showed no \"Please Note\" (Application is already running)"
fi
running || fail "the first copy ended with the second"

say "   the end of the session"
[ "$(setting IsNotFirstRun)" = 0 ] || fail "the first run was saved before the end"
"$RUN" wineboot --end-session >"$WORK/endsession.out" 2>&1
wait_for 30 sh -c "! pgrep -f '^[^ ]*tallyhour\.exe( |\$)'" || fail "the program did not end with the session"
[ "$(setting IsNotFirstRun)" = 1 ] || fail "the end of the session did not save the settings"
[ -f "$DATA/Tallyhour.lock" ] && fail "the lock file stayed after the end"

say "2. notepad over its limit"
sqlite3 "$DATA/actmondb.sqlite" "INSERT INTO applications(date_created, app_name, browser_url, app_type, duration, origin) VALUES ('$(date -d '-1 minute' '+%Y-%m-%d %H:%M:%S')', '$NOTEPAD', '', 'Desktop Application', 50, 1)" ||
    fail "could not prepare the day's use"
"$RUN" notepad.exe >/dev/null 2>&1 &
wait_for 60 sh -c "xdotool search --onlyvisible --name 'Notepad\$'" || fail "notepad did not start"
NOTEPAD_WINDOW=$(xdotool search --onlyvisible --name 'Notepad$' | head -n 1)
"$RUN" "$PROGRAM" >"$WORK/run2.out" 2>&1 &
charged() {
    [ "$(sqlite3 "$DATA/actmondb.sqlite" "SELECT COALESCE(SUM(duration), 0) > 50 FROM applications WHERE app_name = '$NOTEPAD' AND app_type = 'Desktop Application'" 2>/dev/null)" = 1 ]
}
# The program starts to the tray, and the user clicks into notepad. Wine's tray gives its own
# hidden window the Windows foreground as an icon arrives, while the X focus stays on notepad,
# so the click is repeated until the time counts.
click_and_charged() {
    xdotool windowactivate --sync "$NOTEPAD_WINDOW" mousemove --window "$NOTEPAD_WINDOW" 200 200 click 1
    sleep 3
    charged
}
wait_for 60 click_and_charged || fail "notepad's time was not charged under its Windows path"
wait_for 60 sh -c "xdotool search --onlyvisible --name '^Reminder\$'" || fail "no \"Reminder\" window at the limit"
SHOWN=$(date +%s)
sleep 5
xdotool search --onlyvisible --name 'Notepad$' >/dev/null || fail "notepad was closed before the countdown ended"
wait_for 80 sh -c "! xdotool search --onlyvisible --name 'Notepad\$'" || fail "notepad stayed open after the countdown"
say "   notepad closed $(($(date +%s) - SHOWN)) s after the Reminder window showed"
[ $(($(date +%s) - SHOWN)) -ge 50 ] || fail "notepad was closed before the minute's countdown"
"$RUN" wineboot --end-session >/dev/null 2>&1
wait_for 30 sh -c "! pgrep -f '^[^ ]*tallyhour\.exe( |\$)'" || fail "the program did not end with the session"

if [ "$FAILED" -ne 0 ]; then
    echo "--- the program's log"; cat "$LOG" 2>/dev/null
    echo "--- windows"; xwininfo -root -tree | grep -v 'has no name' | head -n 60
fi
exit $FAILED
