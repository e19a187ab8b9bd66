#!/bin/sh
# Builds the libFuzzer targets with clang (build-fuzz/) and runs each for a while on the corpus
# kept in fuzz/corpus. Usage: scripts/fuzz.sh [seconds per target] [target...]
# Inputs that reach new code are merged into fuzz/corpus; a failing input is left in
# build-fuzz/findings/ and the script exits non-zero.
set -e
cd "$(dirname "$0")/.."
./scripts/deps.sh --browsers
SECONDS_EACH="${1:-120}"
[ $# -gt 0 ] && shift
TARGETS="${*:-activity_match database_pages db_date name_value preferences sqlite_table}"
BUILD_DIR="${TALLYHOUR_FUZZ_BUILD_DIR:-build-fuzz}"
MERGE="${TALLYHOUR_FUZZ_MERGE:-1}"
if [ ! -f "$BUILD_DIR/build.ninja" ]; then
    LAUNCHER=""
    command -v ccache >/dev/null 2>&1 && LAUNCHER="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache"
    CC=clang CXX=clang++ cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALLYHOUR_FUZZ=ON \
        -DTALLYHOUR_GUI=OFF -DTALLYHOUR_TESTS=OFF -DTALLYHOUR_BENCH=OFF $LAUNCHER >/dev/null
fi
cmake --build "$BUILD_DIR" -j"$(nproc)" --target fuzz_all
mkdir -p "$BUILD_DIR/findings"
STATUS=0
for target in $TARGETS; do
    work="$BUILD_DIR/corpus/$target"
    mkdir -p "$work" "fuzz/corpus/$target"
    log="$BUILD_DIR/fuzz_$target.log"
    if "$BUILD_DIR/fuzz/fuzz_$target" "$work" "fuzz/corpus/$target" -max_total_time="$SECONDS_EACH" \
        -timeout=10 -rss_limit_mb=1024 -print_final_stats=1 -artifact_prefix="$BUILD_DIR/findings/$target-" \
        >"$log" 2>&1; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
        echo "fuzz_$target: $runs inputs in ${SECONDS_EACH}s, no finding"
    else
        echo "fuzz_$target: FINDING (see $log and $BUILD_DIR/findings/)"
        tail -30 "$log"
        STATUS=1
    fi
    if [ "$MERGE" = 1 ]; then
        "$BUILD_DIR/fuzz/fuzz_$target" -merge=1 "fuzz/corpus/$target" "$work" >/dev/null 2>&1 || true
    fi
done
exit $STATUS
