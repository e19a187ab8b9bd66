# Sourced by the whole-program tests under Wine: a desktop of their own (Xvfb, openbox, trayer)
# with a fresh Wine server on it, and a data folder in Wine's %APPDATA%\Tallyhour prepared as a
# user's would be. Expects RUN (cmake/wine-run.sh), TEST_NAME and TEMPLATES (the folder with the
# two database templates); gives DATA, LOG, WORK and the helpers below.
FAILED=0
fail() { echo "FAILED: $*"; FAILED=1; }
say() { echo "$TEST_NAME: $*"; }
for tool in Xvfb openbox trayer xdotool xwininfo sqlite3; do
    command -v $tool >/dev/null 2>&1 || { echo "SKIPPED: $tool is not installed"; exit 77; }
done

# Every Wine program of the prefix shares one server, and its desktop process keeps the display it
# started on: a fresh server here puts the tray and the windows on this desktop.
"$RUN" wineserver -k >/dev/null 2>&1
WORK=$(mktemp -d)
# Xvfb picks a free display itself and says which.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$WORK/display" >"$WORK/xvfb.log" 2>&1 &
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
wait_for 30 sh -c "[ -s '$WORK/display' ]" || { echo "Xvfb did not start"; cat "$WORK/xvfb.log"; exit 1; }
export DISPLAY=":$(cat "$WORK/display")"
openbox >"$WORK/openbox.log" 2>&1 &
PIDS="$PIDS $!"
wait_for 30 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' ||
    { echo "no window manager"; cat "$WORK/openbox.log"; exit 1; }
trayer --edge bottom --align right --widthtype request >"$WORK/trayer.log" 2>&1 &
PIDS="$PIDS $!"
wait_for 30 xdotool search --class trayer || { echo "no tray"; cat "$WORK/trayer.log"; exit 1; }

# The user's folders as Wine's profile has them.
APPDATA=$("$RUN" cmd /c echo %APPDATA% 2>/dev/null | tr -d '\r')
DATA=$("$RUN" winepath -u "$APPDATA\\Tallyhour" 2>/dev/null | tr -d '\r')
[ -n "$DATA" ] && [ "$DATA" != "/" ] || { echo "no application-data folder in Wine's profile"; exit 1; }
rm -rf "$DATA"
mkdir -p "$DATA"
cp "$TEMPLATES/settings.sqlite" "$TEMPLATES/actmondb.sqlite" "$DATA/"
NOTEPAD='C:\windows\system32\notepad.exe'
# The program's day starts at 04:00. Notepad is listed with a limit of a minute and
# "Close Browser/App."; FIRST_RUN_DONE (0 or 1) says whether the first run is over.
TODAY=$(date -d '-4 hours' +%Y-%m-%d)
sqlite3 "$DATA/settings.sqlite" <<SQL || { echo "could not prepare the settings"; exit 1; }
DELETE FROM settings;
INSERT INTO settings(name, value) VALUES ('IsNotFirstRun', '${FIRST_RUN_DONE:-0}'), ('ResetDateTime', '$TODAY'),
  ('ScanPeriodSeconds', '2'), ('TimeLimitSeconds', '60'), ('ExpirationAction', 'Close Browser/App.'),
  ('AllowUserToChangeSettings', '1');
DELETE FROM applications_list;
INSERT INTO applications_list(name, caption, active) VALUES ('$NOTEPAD', 'Notepad', 1);
SQL
LOG="$DATA/tallyhour.log"
setting() { sqlite3 "$DATA/settings.sqlite" "SELECT value FROM settings WHERE name = '$1'"; }
# The program's windows by title (Wine names its X windows after the Windows ones).
window_of() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1; }
# Wine's processes are named by the program's path, a Windows one or as it was started (this
# script's own arguments name it too, after the shell's name).
running() { pgrep -f '^([A-Za-z]:\\.*|/[^ ]*)tallyhour\.exe( |$)' >/dev/null; }
ended() { ! running; }
# Wine docks a program's notification icon into the desktop's tray (XEmbed), as a small window
# of its own inside trayer's.
tray_icon() {
    PANEL=$(xdotool search --class trayer | tail -n 1)
    [ "$(xwininfo -children -id "$PANEL" 2>/dev/null | grep -c '^ *0x')" -gt 0 ]
}
# What a failed test prints.
report() {
    [ "$FAILED" -eq 0 ] && return
    echo "--- the program's log"; cat "$LOG" 2>/dev/null
    echo "--- windows"; xwininfo -root -tree | grep -v 'has no name' | head -n 60
}
