#!/bin/sh
# Builds the program and its Debian package into build/ (tallyhour_<version>_<arch>.deb).
set -e
cd "$(dirname "$0")/.."
BUILD_DIR="${TALLYHOUR_BUILD_DIR:-build}"
./scripts/deps.sh
./scripts/build.sh tallyhour th_storage_templates
cd "$BUILD_DIR"
rm -f tallyhour_*.deb
cpack -G DEB >/dev/null
ls "$PWD"/tallyhour_*.deb
