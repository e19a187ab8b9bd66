#!/bin/sh
# Runs the README's documented commands as a newcomer would, from the repository's root:
#   run     ./scripts/run.sh on a private X desktop (Xvfb, openbox, a tray, a session bus) with a
#           fresh HOME; passes when the first start's settings wizard shows and, closed, leaves the
#           program up with its icon in the tray, and the program then ends
#           cleanly on SIGTERM.
#   bench   ./scripts/bench.sh with a short filter; passes when it prints a benchmark's figures.
# Usage: readme_commands.sh run|bench SOURCE_DIR BUILD_DIR
set -u
what=$1
source_dir=$2
export TALLYHOUR_BUILD_DIR=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail()
{
    echo "FAIL: $*"
    [ -f "$work/out.log" ] && sed 's/^/    | /' "$work/out.log"
    exit 1
}

case "$what" in
bench)
    cd "$source_dir" || fail "no source folder"
    ./scripts/bench.sh --benchmark_filter=BM_ActivityMatch_300Entries_LastApplication >"$work/out.log" 2>&1 \
        || fail "./scripts/bench.sh exited with $?"
    grep -q '^BM_ActivityMatch_300Entries_LastApplication ' "$work/out.log" || fail "no figures printed"
    echo "bench: figures printed"
    ;;
run)
    # The desktop itself runs under xvfb-run; this same script, as "run-inside", is the session.
    exec xvfb-run -a -s "-screen 0 1280x800x24" dbus-run-session -- sh "$0" run-inside "$source_dir" "$3"
    ;;
run-inside)
    openbox >/dev/null 2>&1 &
    wm=$!
    trayer --edge top --align right --widthtype pixel --width 100 --heighttype pixel --height 24 >/dev/null 2>&1 &
    tray=$!
    mkdir -p "$work/home"
    cd "$source_dir" || fail "no source folder"
    HOME="$work/home" XDG_DATA_HOME="" XDG_CONFIG_HOME="" ./scripts/run.sh >"$work/out.log" 2>&1 &
    pid=$!
    program=$(readlink -f "$TALLYHOUR_BUILD_DIR/bin/tallyhour")
    # run.sh builds first, then replaces itself with the program.
    up=0
    for _ in $(seq 1 600); do
        kill -0 "$pid" 2>/dev/null || break
        if [ "$(readlink -f /proc/$pid/exe 2>/dev/null)" = "$program" ]; then
            up=1
            break
        fi
        sleep 0.2
    done
    [ $up -eq 1 ] || { wait "$pid"; fail "./scripts/run.sh did not start the program (status $?)"; }
    # A first start opens the settings wizard before anything else; the newcomer closes it.
    wizard=""
    for _ in $(seq 1 150); do
        wizard=$(xdotool search --all --onlyvisible --pid "$pid" --name '^Settings$' 2>/dev/null | head -n 1)
        [ -n "$wizard" ] && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.2
    done
    [ -n "$wizard" ] || { kill -TERM "$pid" 2>/dev/null; wait "$pid"; fail "the first start showed no settings wizard"; }
    xdotool windowactivate --sync "$wizard" key --clearmodifiers Escape >/dev/null 2>&1
    # Reachable: a small window of the program's own is mapped inside the tray.
    icon=""
    for _ in $(seq 1 100); do
        for w in $(xdotool search --all --onlyvisible --pid "$pid" '' 2>/dev/null); do
            width=$(xwininfo -id "$w" 2>/dev/null | awk '/Width:/{print $2}')
            [ -n "$width" ] && [ "$width" -le 64 ] && icon=$w
        done
        [ -n "$icon" ] && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    [ -n "$icon" ] || { kill -TERM "$pid" 2>/dev/null; wait "$pid"; fail "no tray icon appeared"; }
    sleep 1
    kill -0 "$pid" 2>/dev/null || { wait "$pid"; fail "the program ended by itself (status $?)"; }
    kill -TERM "$pid"
    wait "$pid"
    rc=$?
    kill "$tray" "$wm" 2>/dev/null
    [ $rc -eq 0 ] || fail "the program ended with status $rc on SIGTERM"
    echo "run: the program started to the tray and ended cleanly"
    ;;
*)
    echo "usage: $0 run|bench SOURCE_DIR BUILD_DIR"
    exit 2
    ;;
esac
