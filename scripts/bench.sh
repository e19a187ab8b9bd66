#!/bin/sh
# Installs what the benchmarks start (desktops, browsers), builds and runs every benchmark,
# printing their figures.
set -e
cd "$(dirname "$0")/.."
./scripts/deps.sh --browsers
./scripts/build.sh
for b in "${TALLYHOUR_BUILD_DIR:-build}"/bench/bench_*; do
    [ -f "$b" ] && [ -x "$b" ] || continue
    echo "== $(basename "$b")"
    "$b" "$@"
done
