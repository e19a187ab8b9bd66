#!/bin/sh
# Installs what the tests need, builds, and runs every test (the X11 ones start their own Xvfb).
set -e
cd "$(dirname "$0")/.."
./scripts/deps.sh --browsers
./scripts/build.sh
cd "${TALLYHOUR_BUILD_DIR:-build}"
ctest --output-on-failure -j"$(nproc)" "$@"
