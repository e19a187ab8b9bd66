#!/bin/sh
# Installs what the tests need, builds, and runs every test (the X11 ones start their own Xvfb).
# Without arguments it then builds build-asan (AddressSanitizer and UndefinedBehaviorSanitizer,
# Debug) and runs the unit, storage and gui tests there, and gives each fuzz target a few seconds
# on its corpus, and builds the Windows program with MinGW-w64 and runs its tests under Wine
# (scripts/windows.sh test); TALLYHOUR_EXTRA_CHECKS=0 leaves those three stages out,
# TALLYHOUR_WINDOWS=0 the Windows one alone. Arguments go to the first
# ctest run alone (e.g. -L unit) and leave them out too.
set -e
cd "$(dirname "$0")/.."
./scripts/deps.sh --browsers
./scripts/build.sh
(cd "${TALLYHOUR_BUILD_DIR:-build}" && ctest --output-on-failure -j"$(nproc)" "$@")
[ $# -gt 0 ] || [ "${TALLYHOUR_EXTRA_CHECKS:-1}" = 0 ] && exit 0

echo "Sanitizer build (build-asan): unit, storage and gui tests"
TALLYHOUR_BUILD_DIR=build-asan \
    TALLYHOUR_CMAKE_ARGS="-DCMAKE_BUILD_TYPE=Debug -DTALLYHOUR_SANITIZE=ON -DTALLYHOUR_BENCH=OFF" ./scripts/build.sh th_checked_tests
# Leaks are reported only for our own code: the suppressions name the system libraries that
# keep their caches until exit.
(cd build-asan && ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1:detect_stack_use_after_return=1" \
    LSAN_OPTIONS="suppressions=$(pwd)/../scripts/lsan.supp:print_suppressions=0" \
    UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
    ctest --output-on-failure -j"$(nproc)" -L '^(unit|storage|gui)$')

echo "Fuzz smoke: a few seconds per target on the kept corpus"
TALLYHOUR_FUZZ_MERGE=0 ./scripts/fuzz.sh "${TALLYHOUR_FUZZ_SECONDS:-5}"

if [ "${TALLYHOUR_WINDOWS:-1}" != 0 ]; then
    echo "Windows build (MinGW-w64) and its tests under Wine"
    ./scripts/windows.sh test
fi
