#!/bin/sh
# tallyhour-setup.exe under Wine: a silent install (/S) puts the program, its libraries, the two
# database templates and the skins in Program Files\Tallyhour, a Start-menu entry, start at logon
# and the uninstall entry; the installed program runs to the tray; an update over it (/S again)
# ends it and starts it again; a silent uninstall ends it
# through uninstall.flag (its settings saved), removes what was installed and leaves the user's
# data folder as it was.
# Usage: installer_under_wine.sh <tallyhour-setup.exe> <folder with the database templates> <wine-run.sh>
SETUP=$1
TEMPLATES=$2
RUN=$3
TEST_NAME=installer_under_wine
FIRST_RUN_DONE=1
. "$(dirname "$0")/wine_desktop.sh"

RUN_KEY='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
UNINSTALL_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tallyhour'
registry_has() { "$RUN" reg query "$1" ${2:+/v "$2"} >/dev/null 2>&1; }
INSTALLED=$("$RUN" winepath -u 'C:\Program Files\Tallyhour' 2>/dev/null | tr -d '\r')
START_MENU=$("$RUN" winepath -u 'C:\ProgramData\Microsoft\Windows\Start Menu\Programs\Tallyhour.lnk' 2>/dev/null | tr -d '\r')
[ -n "$INSTALLED" ] && [ "$INSTALLED" != "/" ] || { echo "no Program Files folder in Wine's prefix"; exit 1; }
# What an earlier run may have left.
rm -rf "$INSTALLED"
"$RUN" reg delete "$RUN_KEY" /v Tallyhour /f >/dev/null 2>&1
"$RUN" reg delete "$UNINSTALL_KEY" /f >/dev/null 2>&1

# A day of the user's own in the activity (of a listed program: the program drops the time of
# programs no longer listed), which no step may lose.
sqlite3 "$DATA/actmondb.sqlite" "INSERT INTO applications(date_created, app_name, browser_url, app_type, duration, origin) VALUES ('$(date -d '-1 day' '+%Y-%m-%d %H:%M:%S')', '$NOTEPAD', '', 'Desktop Application', 7, 1)" ||
    fail "could not add a row of the user's own"

say "install"
START=$(date +%s)
"$RUN" "$SETUP" /S >"$WORK/setup.out" 2>&1 || fail "the installer failed"
say "   took $(($(date +%s) - START)) s"
for file in tallyhour.exe uninstall.exe Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll libstdc++-6.dll platforms/qwindows.dll \
    imageformats/qjpeg.dll imageformats/qgif.dll settings.sqlite actmondb.sqlite Skins/Blue.png Skins/Textures/Linen.jpg \
    Licenses/README.txt Licenses/LGPL-3.txt Licenses/GPL-3.txt Licenses/GCC-runtime.txt Licenses/MinGW-w64.txt; do
    [ -f "$INSTALLED/$file" ] || fail "not installed: $file"
done
[ -f "$START_MENU" ] || fail "no Start-menu entry"
"$RUN" reg query "$RUN_KEY" /v Tallyhour 2>/dev/null | tr -d '\r' | grep -qi 'Program Files\\Tallyhour\\tallyhour.exe' ||
    fail "no start at logon in the user's Run key"
"$RUN" reg query "$UNINSTALL_KEY" /v UninstallString 2>/dev/null | grep -qi 'uninstall.exe' || fail "no uninstall entry"
# The Apps list shows the size (in KiB): the program with Qt is some megabytes, never 0.
SIZE=$("$RUN" reg query "$UNINSTALL_KEY" /v EstimatedSize 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_DWORD *0x\([0-9a-fA-F]*\).*/\1/p')
[ -n "$SIZE" ] && [ $((0x$SIZE)) -gt 1024 ] || fail "the uninstall entry gives no size (EstimatedSize: '$SIZE')"

say "the installed program"
"$RUN" 'C:\Program Files\Tallyhour\tallyhour.exe' >"$WORK/program.out" 2>&1 &
wait_for 60 tray_icon || fail "the installed program put no icon in the tray"
pgrep -f 'Program Files.Tallyhour.tallyhour\.exe' >/dev/null || fail "the installed program is not running"

say "an update over the running program"
BEFORE=$(pgrep -f 'Program Files.Tallyhour.tallyhour\.exe')
"$RUN" "$SETUP" /S >"$WORK/update.out" 2>&1 || fail "the update failed"
grep -q "The uninstall flag was found; the program ends" "$LOG" || fail "the update did not end the running copy"
# Started again by the installer through the shell: a new process, with its icon in the tray.
wait_for 60 sh -c "AFTER=\$(pgrep -f 'Program Files.Tallyhour.tallyhour\\.exe'); [ -n \"\$AFTER\" ] && [ \"\$AFTER\" != '$BEFORE' ]" ||
    fail "the program did not run again after the update"
wait_for 60 tray_icon || fail "the updated program put no icon in the tray"

say "uninstall"
START=$(date +%s)
# The uninstaller copies itself away and returns at once; its copy does the work.
"$RUN" 'C:\Program Files\Tallyhour\uninstall.exe' /S >"$WORK/uninstall.out" 2>&1
wait_for 90 sh -c "[ ! -e '$INSTALLED' ]" || fail "the program folder stayed: $(ls -R "$INSTALLED" 2>/dev/null | head -n 20)"
say "   took $(($(date +%s) - START)) s"
wait_for 10 ended || fail "the installed program still runs after the uninstall"
# Once for the update, once for the uninstall.
[ "$(grep -c "The uninstall flag was found; the program ends" "$LOG")" -ge 2 ] ||
    fail "the program did not end through the uninstall flag"
[ -e "$START_MENU" ] && fail "the Start-menu entry stayed"
registry_has "$RUN_KEY" Tallyhour && fail "the start at logon stayed"
registry_has "$UNINSTALL_KEY" && fail "the uninstall entry stayed"
# The user's data: every file there, with the row added while the program ran.
for file in settings.sqlite actmondb.sqlite tallyhour.log; do
    [ -f "$DATA/$file" ] || fail "the user's $file is gone"
done
[ "$(sqlite3 "$DATA/actmondb.sqlite" "SELECT COUNT(*) FROM applications WHERE app_name = '$NOTEPAD' AND duration = 7")" = 1 ] ||
    fail "the user's activity was not kept"
[ "$(setting IsNotFirstRun)" = 1 ] || fail "the user's settings were not kept"
[ -f "$DATA/Tallyhour.lock" ] && fail "the lock file stayed after the program ended"
report
exit $FAILED
