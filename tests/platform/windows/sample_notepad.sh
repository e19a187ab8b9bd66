#!/bin/sh
# tallyhour-sample.exe with Wine's notepad in front: notepad's window, its Windows path and the
# kind of a desktop program. Usage: sample_notepad.sh <tallyhour-sample.exe> <wine-run.sh>
SAMPLE=$1
RUN=$2
"$RUN" notepad.exe &
NOTEPAD=$!
trap 'kill $NOTEPAD 2>/dev/null; "$RUN" wineboot -e >/dev/null 2>&1' EXIT
# Until notepad's window is in front (Wine maps it within a few seconds), at most 60 s.
DEADLINE=$(($(date +%s) + 60))
while :; do
    # Windows ends its lines with CR LF.
    OUT=$("$RUN" "$SAMPLE" 2>/dev/null | tr -d '\r')
    printf '%s\n' "$OUT" | grep -qi '^exe: .*notepad\.exe$' && break
    if [ "$(date +%s)" -ge "$DEADLINE" ]; then
        printf 'notepad never came in front; the last sample:\n%s\n' "$OUT"
        exit 1
    fi
done
printf '%s\n' "$OUT"
FAILED=0
check() {
    printf '%s\n' "$OUT" | grep -q "$1" || { echo "missing: $1"; FAILED=1; }
}
check '^window: 0x[0-9a-f]*[1-9a-f][0-9a-f]*$'
check '^title: .*Notepad$'
check '^exe: C:\\windows\\system32\\notepad\.exe$'
check '^app_type: Desktop Application$'
check '^browser_url: $'
exit $FAILED
