#!/bin/sh
# Configures the project against an SQLite whose header says 3.34.1 (older than the period
# queries' "AS MATERIALIZED" needs) and expects the configuration to refuse it by name.
# Arguments: the source folder, the SQLite library to pretend with.
set -u
source_dir="$1"
library="$2"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/include"
printf '#define SQLITE_VERSION        "3.34.1"\n#define SQLITE_VERSION_NUMBER 3034001\n' >"$scratch/include/sqlite3.h"
if cmake -S "$source_dir" -B "$scratch/build" -DTALLYHOUR_GUI=OFF -DTALLYHOUR_TESTS=OFF -DTALLYHOUR_BENCH=OFF \
    -DSQLite3_INCLUDE_DIR="$scratch/include" -DSQLite3_LIBRARY="$library" >"$scratch/out" 2>&1; then
    echo "an SQLite 3.34.1 was accepted:"
    cat "$scratch/out"
    exit 1
fi
if ! grep -q 'SQLite3' "$scratch/out" || ! grep -q '3\.35' "$scratch/out"; then
    echo "the configuration failed, but not for the SQLite version:"
    cat "$scratch/out"
    exit 1
fi
echo "refused as it should be:"
grep -A2 'SQLite3' "$scratch/out" | head -5
