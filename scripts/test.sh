#!/bin/sh
# Installs what the tests need, builds with warnings as errors, and runs every test (the X11 ones
# start their own Xvfb). Without arguments it first checks that every tracked C++ source is laid
# out as .clang-format says, and after the tests builds build-asan (AddressSanitizer and
# UndefinedBehaviorSanitizer, Debug, warnings as errors too) and runs the unit, storage and gui
# tests there, gives each fuzz target a few seconds on its corpus, and builds the Windows programs
# with MinGW-w64 and runs their tests under Wine (scripts/windows.sh test).
# TALLYHOUR_EXTRA_CHECKS=0 leaves those four stages out, TALLYHOUR_WINDOWS=0 the Windows one alone.
# Arguments go to the first ctest run alone (e.g. -L unit) and leave them out too.
set -e
cd "$(dirname "$0")/.."
# Each stage says how long it took at its end, and the run ends with all of them.
STAGE_START=$(date +%s)
RUN_START=$STAGE_START
TIMES=""
stage_end() {
    now=$(date +%s)
    took="$1: $(( (now - STAGE_START) / 60 )) min $(( (now - STAGE_START) % 60 )) s"
    echo "Stage $took"
    TIMES="$TIMES    $took
"
    STAGE_START=$now
}
times_print() {
    now=$(date +%s)
    printf 'Stage times:\n%s    all: %d min %d s\n' "$TIMES" $(( (now - RUN_START) / 60 )) $(( (now - RUN_START) % 60 ))
}
# Also when a stage fails: the times up to it.
trap times_print EXIT
./scripts/deps.sh --browsers
EXTRA=1
{ [ $# -gt 0 ] || [ "${TALLYHOUR_EXTRA_CHECKS:-1}" = 0 ]; } && EXTRA=0
# What the Windows stage needs first (its packages, and on a machine without the cache Qt for
# Windows, about ten minutes of both processors) is made meanwhile at the lowest priority, in the
# time that the tests below leave the processors idle; the Windows stage waits for it.
WINDOWS_DEPS=""
WINDOWS_DEPS_LOG="${TALLYHOUR_WIN_BUILD:-build-windows}/deps.log"
if [ $EXTRA = 1 ] && [ "${TALLYHOUR_WINDOWS:-1}" != 0 ]; then
    mkdir -p "$(dirname "$WINDOWS_DEPS_LOG")"
    nice -n 19 ./scripts/windows.sh deps >"$WINDOWS_DEPS_LOG" 2>&1 &
    WINDOWS_DEPS=$!
fi
stage_end "dependencies"

if [ $EXTRA = 1 ] && git rev-parse --git-dir >/dev/null 2>&1; then
    echo "Format check: the tracked C++ sources against .clang-format"
    # One clang-format run over all of them takes a second or two; it names each file that differs.
    OUTPUT=$(git ls-files -z -- '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror 2>&1) || STATUS=$?
    UNFORMATTED=$(printf '%s\n' "$OUTPUT" | sed -n 's/^\(.*\):[0-9]*:[0-9]*: error: code should be clang-formatted.*/\1/p' | sort -u)
    if [ -n "$UNFORMATTED" ]; then
        echo "These files are not laid out as .clang-format says:"
        printf '%s\n' "$UNFORMATTED" | sed 's/^/    /'
        echo "Lay them out with:"
        echo "    clang-format -i" $UNFORMATTED
        exit 1
    elif [ "${STATUS:-0}" -ne 0 ]; then
        printf '%s\n' "$OUTPUT"
        echo "clang-format failed (status $STATUS)"
        exit 1
    fi
    stage_end "format check"
fi

TALLYHOUR_CMAKE_ARGS="-DTALLYHOUR_WERROR=ON ${TALLYHOUR_CMAKE_ARGS:-}" ./scripts/build.sh
stage_end "build"
(cd "${TALLYHOUR_BUILD_DIR:-build}" && ctest --output-on-failure -j"$(nproc)" "$@")
stage_end "tests"
[ $EXTRA = 0 ] && exit 0

echo "Sanitizer build (build-asan): unit, storage and gui tests"
TALLYHOUR_BUILD_DIR=build-asan \
    TALLYHOUR_CMAKE_ARGS="-DCMAKE_BUILD_TYPE=Debug -DTALLYHOUR_SANITIZE=ON -DTALLYHOUR_BENCH=OFF -DTALLYHOUR_WERROR=ON" \
    ./scripts/build.sh th_checked_tests
stage_end "sanitizer build"
# Leaks are reported only for our own code: the suppressions name the system libraries that
# keep their caches until exit. What every program of this build needs of the runtime, a run by
# hand too, is built into the programs (cmake/SanitizerOptions.cpp).
(cd build-asan && ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1:detect_stack_use_after_return=1" \
    LSAN_OPTIONS="suppressions=$(pwd)/../scripts/lsan.supp:print_suppressions=0" \
    UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
    ctest --output-on-failure -j"$(nproc)" -L '^(unit|storage|gui)$')
stage_end "sanitizer tests"

echo "Fuzz smoke: a few seconds per target on the kept corpus"
TALLYHOUR_FUZZ_MERGE=0 ./scripts/fuzz.sh "${TALLYHOUR_FUZZ_SECONDS:-5}"
stage_end "fuzz smoke"

if [ "${TALLYHOUR_WINDOWS:-1}" != 0 ]; then
    echo "Windows build (MinGW-w64) and its tests under Wine"
    DEPS_STATUS=0
    wait "$WINDOWS_DEPS" || DEPS_STATUS=$?
    cat "$WINDOWS_DEPS_LOG"
    [ $DEPS_STATUS -eq 0 ] || { echo "The Windows dependencies failed (log: $WINDOWS_DEPS_LOG)"; exit 1; }
    ./scripts/windows.sh test
    stage_end "Windows"
fi
