#!/bin/sh
# Configures (once) and builds into build/; arguments name the targets to build (all when none).
# TALLYHOUR_BUILD_DIR names another build folder, TALLYHOUR_CMAKE_ARGS adds to its configuration.
set -e
cd "$(dirname "$0")/.."
BUILD_DIR="${TALLYHOUR_BUILD_DIR:-build}"
if [ ! -f "$BUILD_DIR/build.ninja" ]; then
    # ccache, where installed, keeps rebuilds of a fresh clone or a second build folder short.
    LAUNCHER=""
    command -v ccache >/dev/null 2>&1 && LAUNCHER="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache"
    cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $LAUNCHER \
        ${TALLYHOUR_CMAKE_ARGS:-} >/dev/null
elif [ -n "${TALLYHOUR_CMAKE_ARGS:-}" ]; then
    # Options given to a folder configured before reach it too (scripts/test.sh's warnings as errors).
    cmake -S . -B "$BUILD_DIR" ${TALLYHOUR_CMAKE_ARGS} >/dev/null
fi
TARGETS=""
for target in "$@"; do
    TARGETS="$TARGETS --target $target"
done
cmake --build "$BUILD_DIR" -j"$(nproc)" $TARGETS
