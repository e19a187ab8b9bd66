#!/bin/sh
# Installs what the program needs, builds, and starts it in the current desktop session.
set -e
cd "$(dirname "$0")/.."
./scripts/deps.sh
./scripts/build.sh tallyhour
exec "${TALLYHOUR_BUILD_DIR:-build}/bin/tallyhour"
