#!/bin/sh
# Installs what building, running and testing need; quiet when all is present.
set -e
PKGS="cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools qt6-charts-dev libqt6opengl6-dev libqt6svg6 libsqlite3-dev sqlite3 \
libsimpleini-dev libssl-dev libgtest-dev libgmock-dev libbenchmark-dev \
libxkbcommon-dev libxcb1-dev libxcb-ewmh-dev libxcb-res0-dev libxcb-icccm4-dev libxcb-xinput-dev libatspi2.0-dev libglib2.0-dev libwayland-dev \
nlohmann-json3-dev \
ccache locales xvfb xauth openbox xterm trayer xdotool dbus dbus-x11 python3-dbus python3-gi \
at-spi2-core x11-utils imagemagick fonts-dejavu-core sway foot xwayland qt6-wayland"
# The KWin and GNOME tests' compositors (KWin: about 140 packages, 37 MB to download; GNOME Shell
# with python3-dbusmock, its logind stand-in: about 100 MB) come with the test tools,
# not with what running the program needs.
if [ "$1" = "--browsers" ]; then PKGS="$PKGS firefox-esr chromium lintian desktop-file-utils appstream clang libclang-rt-14-dev \
kwin-wayland gnome-shell python3-dbusmock"; fi
MISSING=""
for p in $PKGS; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || MISSING="$MISSING $p"
done
[ -z "$MISSING" ] && exit 0
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "Installing:$MISSING"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq >/dev/null
$SUDO apt-get install -y -qq --no-install-recommends $MISSING >/dev/null
