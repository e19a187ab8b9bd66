#!/bin/sh
# Installs what is missing; quiet when all is present.
#   (no option)  what building and running the program need (scripts/run.sh, scripts/package.sh)
#   --tests      and the tools the tests and benchmarks start: private X11 and Wayland desktops
#                (Xvfb, openbox, a tray, sway, XWayland), terminals, input and screenshot tools,
#                the stand-ins for the session's services, and the source format check
#   --browsers   and the browsers, KWin and GNOME Shell, the package checks and clang
#                (scripts/test.sh, scripts/bench.sh, scripts/fuzz.sh)
set -e
# Building: the compiler, CMake, and the headers of every library the program, its tests and its
# benchmarks link (the build configures them all).
PKGS="cmake ninja-build g++ pkg-config ccache qt6-base-dev qt6-base-dev-tools qt6-charts-dev libqt6opengl6-dev \
libsqlite3-dev libsimpleini-dev libssl-dev libgtest-dev libgmock-dev libbenchmark-dev \
libxkbcommon-dev libxcb1-dev libxcb-ewmh-dev libxcb-res0-dev libxcb-icccm4-dev libxcb-xinput-dev libatspi2.0-dev \
libglib2.0-dev libwayland-dev nlohmann-json3-dev"
# Running: the icons' SVG reader, Qt's Wayland platform, the session bus, the accessibility bus
# that browsers tell their addresses on, and a font.
PKGS="$PKGS libqt6svg6 qt6-wayland dbus at-spi2-core fonts-dejavu-core"
case "$1" in
--tests | --browsers)
    PKGS="$PKGS sqlite3 locales xvfb xauth openbox xterm trayer xdotool dbus-x11 python3-dbus python3-gi \
x11-utils imagemagick sway foot xwayland clang-format"
    ;;
esac
# The KWin and GNOME tests' compositors (KWin: about 140 packages, 37 MB to download; GNOME Shell
# with python3-dbusmock, its logind stand-in: about 100 MB) come with the browsers.
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
