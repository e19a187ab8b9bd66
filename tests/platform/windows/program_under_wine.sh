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
TEST_NAME=program_under_wine
TEMPLATES=$(dirname "$PROGRAM")
. "$(dirname "$0")/wine_desktop.sh"

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
wait_for 30 ended || fail "the program did not end with the session"
[ "$(setting IsNotFirstRun)" = 1 ] || fail "the end of the session did not save the settings"
[ -f "$DATA/Tallyhour.lock" ] && fail "the lock file stayed after the end"

say "2. notepad over its limit"
sqlite3 "$DATA/actmondb.sqlite" "INSERT INTO applications(date_created, app_name, browser_url, app_type, duration, origin) VALUES ('$(date -d '-1 minute' '+%Y-%m-%d %H:%M:%S')', '$NOTEPAD', '', 'Desktop Application', 50, 1)" ||
    fail "could not prepare the day's use"
"$RUN" notepad.exe >/dev/null 2>&1 &
wait_for 60 sh -c "xdotool search --onlyvisible --name 'Notepad\$'" || fail "notepad did not start"
NOTEPAD_WINDOW=$(xdotool search --onlyvisible --name 'Notepad$' | head -n 1)
"$RUN" "$PROGRAM" >"$WORK/run2.out" 2>&1 &
# Read from a copy: the Windows SQLite's locks are Wine's own, which a Linux sqlite3 beside it
# would not see.
charged() {
    rm -f "$WORK"/copy.sqlite*
    for part in "" -wal -shm; do
        [ -f "$DATA/actmondb.sqlite$part" ] && cp "$DATA/actmondb.sqlite$part" "$WORK/copy.sqlite$part"
    done
    [ "$(sqlite3 "$WORK/copy.sqlite" "SELECT COALESCE(SUM(duration), 0) > 50 FROM applications WHERE app_name = '$NOTEPAD' AND app_type = 'Desktop Application'" 2>/dev/null)" = 1 ]
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
wait_for 30 ended || fail "the program did not end with the session"

report
exit $FAILED
