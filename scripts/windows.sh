#!/bin/sh
# Builds for Windows on Debian 12 with MinGW-w64 and, with "test", runs the tests under Wine.
#   ./scripts/windows.sh          the dependencies (once, cached), then tallyhour.exe,
#                                 tallyhour-sample.exe, the test programs and tallyhour-setup.exe
#   ./scripts/windows.sh test     the same, then the tests under Wine on a virtual display: the
#                                 core's and the backend's, the sample, the whole program and the
#                                 installer
#   ./scripts/windows.sh deps     only the dependencies (SQLite and Qt for Windows), e.g. to warm a cache
#   ./scripts/windows.sh bench    the build with the Windows benchmarks (Google Benchmark for Windows
#                                 built once into the cache), run under Wine on a virtual display,
#                                 and the start of tallyhour.exe to the tray timed from Linux
# Qt for Windows is built once from Debian's own qt6-base source (6.4.2, the version of the host
# tools) into $TALLYHOUR_WIN_CACHE (default ~/.cache/tallyhour/windows); later runs reuse it.
set -e
ROOT=$(cd "$(dirname "$0")/.." && pwd)
CACHE=${TALLYHOUR_WIN_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tallyhour/windows}
PREFIX=$CACHE/prefix
BUILD=${TALLYHOUR_WIN_BUILD:-$ROOT/build-windows}
JOBS=${JOBS:-2}
TRIPLE=x86_64-w64-mingw32
QT_VERSION=6.4.2
# Bumped whenever the Qt configuration below changes, so that a cached Qt is rebuilt.
QT_STAMP="$PREFIX/.qt-$QT_VERSION-2"
SQLITE_STAMP="$PREFIX/.sqlite-1"
BENCHMARK_STAMP="$PREFIX/.benchmark-1.7.1-1"
log() { echo "windows.sh: $*"; }
fail() { echo "windows.sh: FAILED: $*" >&2; exit 1; }
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
mkdir -p "$CACHE"
# One run at a time on a cache: a second one (the test command's early start of the dependencies,
# say, while an earlier run still builds them) waits for the first instead of building over it.
if [ -z "${TALLYHOUR_WIN_LOCKED:-}" ]; then
    TALLYHOUR_WIN_LOCKED=1 exec flock -o "$CACHE/.lock" "$0" "$@"
fi

install_packages() {
    PKGS="cmake ninja-build make gcc mingw-w64 g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix \
wine wine64 fonts-wine dpkg-dev tcl googletest libsimpleini-dev qt6-base-dev-tools qt6-base-dev \
xvfb xauth openbox trayer xdotool x11-utils sqlite3 nsis"
    MISSING=""
    for p in $PKGS; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || MISSING="$MISSING $p"
    done
    NEED_SRC=""
    # Debian's source packages need a deb-src entry; add bookworm's main when none is there.
    if ! grep -rqs '^\(Types:.*deb-src\|deb-src\)' /etc/apt/sources.list /etc/apt/sources.list.d/; then
        log "adding a deb-src entry for bookworm main"
        $SUDO sh -c 'cat > /etc/apt/sources.list.d/tallyhour-bookworm-src.sources' <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
        NEED_SRC=1
    fi
    [ -z "$MISSING" ] && [ -z "$NEED_SRC" ] && return 0
    export DEBIAN_FRONTEND=noninteractive
    log "installing:$MISSING"
    $SUDO apt-get update -qq >/dev/null
    [ -z "$MISSING" ] || $SUDO apt-get install -y -qq --no-install-recommends $MISSING >/dev/null
}

check_compiler() {
    $TRIPLE-g++-posix -v 2>&1 | grep -q "Thread model: posix" ||
        fail "$TRIPLE-g++-posix is not the posix thread model"
}

fetch_source() { # package, directory glob
    mkdir -p "$CACHE/src"
    set -- "$1" "$2" "$(ls -d "$CACHE/src/"$2 2>/dev/null | head -n 1)"
    if [ -z "$3" ]; then
        log "fetching Debian's $1 source"
        (cd "$CACHE/src" && apt-get source -qq "$1" >/dev/null 2>&1) || fail "apt-get source $1"
    fi
}

# A prefix holding a Qt of another configuration is emptied whole before anything is built into
# it, so that none of its modules or plugins outlives the configuration that made it.
prefix_check() {
    [ -f "$QT_STAMP" ] && return 0
    if [ -d "$PREFIX/lib/cmake/Qt6" ] || ls "$PREFIX"/.qt-* >/dev/null 2>&1; then
        log "the cached Qt is of another configuration: emptying $PREFIX"
        rm -rf "$PREFIX"
    fi
}

build_qt() {
    [ -f "$QT_STAMP" ] && return 0
    fetch_source qt6-base "qt6-base-$QT_VERSION*"
    SRC=$(ls -d "$CACHE/src/"qt6-base-$QT_VERSION* | head -n 1)
    # wintab is not in Debian's repack, so tablet events are off; without direct2d, the DirectWrite
    # font database must not be used either, or qwindows.dll fails to link.
    sed -i 's/^#if QT_CONFIG(directwrite3)$/#if QT_CONFIG(directwrite3) \&\& QT_CONFIG(direct2d)/' \
        "$SRC/src/plugins/platforms/windows/qwindowsintegration.cpp"
    rm -rf "$CACHE/qt-build"
    mkdir -p "$CACHE/qt-build"
    log "configuring Qt $QT_VERSION for Windows"
    START=$(date +%s)
    # Only what the program uses: Core, Gui and Widgets, the Windows platform plugin, the vista
    # style and the picture formats Qt reads (the skins' list offers them all). The widgets,
    # dialogs, styles and text formats that no window of the program shows are left out (about 60
    # of 859 files to compile). Qt 6.4 itself needs the main window, its tool bar and the table
    # view (the vista style and the widgets' compatibility file use them unguarded) and the input
    # dialog. A feature the program needed and lost here would fail the program's build, as the
    # header of a feature left out stops the compile.
    (cd "$CACHE/qt-build" && cmake -G Ninja "$SRC" \
        -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON -DCMAKE_INSTALL_PREFIX="$PREFIX" \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        -DQT_BUILD_TESTS=OFF -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_BENCHMARKS=OFF \
        -DFEATURE_pkg_config=OFF -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF \
        -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_testlib=OFF -DFEATURE_xml=OFF \
        -DFEATURE_vulkan=OFF -DFEATURE_direct2d=OFF -DFEATURE_tabletevent=OFF \
        -DFEATURE_androiddeployqt=OFF -DFEATURE_zstd=OFF -DFEATURE_icu=OFF -DFEATURE_freetype=OFF \
        -DINPUT_opengl=no -DFEATURE_opengl=OFF -DFEATURE_opengl_dynamic=OFF \
        -DFEATURE_system_zlib=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF \
        -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_doubleconversion=OFF \
        -DFEATURE_png=ON -DFEATURE_jpeg=ON -DFEATURE_gif=ON \
        -DFEATURE_style_fusion=OFF \
        -DFEATURE_mdiarea=OFF -DFEATURE_graphicsview=OFF -DFEATURE_graphicseffect=OFF \
        -DFEATURE_calendarwidget=OFF -DFEATURE_datetimeedit=OFF -DFEATURE_lcdnumber=OFF -DFEATURE_dial=OFF \
        -DFEATURE_keysequenceedit=OFF -DFEATURE_fontcombobox=OFF -DFEATURE_fontdialog=OFF \
        -DFEATURE_splashscreen=OFF -DFEATURE_syntaxhighlighter=OFF -DFEATURE_textbrowser=OFF \
        -DFEATURE_undoview=OFF -DFEATURE_undogroup=OFF -DFEATURE_undostack=OFF -DFEATURE_undocommand=OFF \
        -DFEATURE_columnview=OFF -DFEATURE_tablewidget=OFF \
        -DFEATURE_datawidgetmapper=OFF -DFEATURE_wizard=OFF \
        -DFEATURE_errormessage=OFF -DFEATURE_progressdialog=OFF -DFEATURE_commandlinkbutton=OFF \
        -DFEATURE_toolbox=OFF -DFEATURE_textmarkdownreader=OFF -DFEATURE_textmarkdownwriter=OFF \
        -DFEATURE_textodfwriter=OFF -DFEATURE_pdf=OFF -DFEATURE_picture=OFF -DFEATURE_movie=OFF \
        -DFEATURE_jalalicalendar=OFF -DFEATURE_hijricalendar=OFF -DFEATURE_islamiccivilcalendar=OFF \
        > "$CACHE/qt-configure.log" 2>&1) || { tail -n 30 "$CACHE/qt-configure.log"; fail "Qt configure (log: $CACHE/qt-configure.log)"; }
    log "building Qt (about 20 minutes on 2 cores)"
    (cd "$CACHE/qt-build" && cmake --build . --parallel "$JOBS" > "$CACHE/qt-build.log" 2>&1) ||
        { tail -n 30 "$CACHE/qt-build.log"; fail "Qt build (log: $CACHE/qt-build.log)"; }
    (cd "$CACHE/qt-build" && cmake --install . > "$CACHE/qt-install.log" 2>&1) || fail "Qt install"
    log "Qt built in $(( $(date +%s) - START )) s"
    rm -rf "$CACHE/qt-build"
    touch "$QT_STAMP"
}

build_sqlite() {
    [ -f "$SQLITE_STAMP" ] && return 0
    fetch_source sqlite3 "sqlite3-3*"
    SRC=$(ls -d "$CACHE/src/"sqlite3-3* | head -n 1)
    log "building SQLite for Windows (the amalgamation of Debian's source)"
    rm -rf "$CACHE/sqlite-build"
    mkdir -p "$CACHE/sqlite-build" "$PREFIX/lib" "$PREFIX/include"
    (cd "$CACHE/sqlite-build" && "$SRC/configure" --disable-tcl >/dev/null && make sqlite3.c >/dev/null 2>&1 &&
        $TRIPLE-gcc-posix -O2 -c sqlite3.c -o sqlite3.o -DSQLITE_THREADSAFE=1 &&
        $TRIPLE-ar rcs "$PREFIX/lib/libsqlite3.a" sqlite3.o &&
        cp sqlite3.h sqlite3ext.h "$PREFIX/include/") > "$CACHE/sqlite-build.log" 2>&1 ||
        { tail -n 20 "$CACHE/sqlite-build.log"; fail "SQLite build (log: $CACHE/sqlite-build.log)"; }
    rm -rf "$CACHE/sqlite-build"
    touch "$SQLITE_STAMP"
}

# Google Benchmark for the Windows benchmarks only, from Debian's source as the host's own.
build_benchmark() {
    [ -f "$BENCHMARK_STAMP" ] && return 0
    fetch_source benchmark "benchmark-1.7.1*"
    SRC=$(ls -d "$CACHE/src/"benchmark-1.7.1* | head -n 1)
    log "building Google Benchmark for Windows"
    rm -rf "$CACHE/benchmark-build"
    (cmake -S "$SRC" -B "$CACHE/benchmark-build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$PREFIX" -DGIT_VERSION=1.7.1 -DBUILD_SHARED_LIBS=OFF -DBENCHMARK_ENABLE_TESTING=OFF \
        -DBENCHMARK_ENABLE_GTEST_TESTS=OFF -DBENCHMARK_ENABLE_WERROR=OFF -DBENCHMARK_ENABLE_LTO=OFF \
        -DBENCHMARK_INSTALL_DOCS=OFF &&
        cmake --build "$CACHE/benchmark-build" --parallel "$JOBS" && cmake --install "$CACHE/benchmark-build") \
        > "$CACHE/benchmark-build.log" 2>&1 ||
        { tail -n 20 "$CACHE/benchmark-build.log"; fail "Google Benchmark build (log: $CACHE/benchmark-build.log)"; }
    rm -rf "$CACHE/benchmark-build"
    touch "$BENCHMARK_STAMP"
}

# SimpleIni is one header; Debian's copy serves Windows as it is.
install_simpleini() {
    mkdir -p "$PREFIX/include"
    cmp -s /usr/include/SimpleIni.h "$PREFIX/include/SimpleIni.h" || cp /usr/include/SimpleIni.h "$PREFIX/include/"
    [ -f /usr/include/ConvertUTF.h ] && cp /usr/include/ConvertUTF.h "$PREFIX/include/" || true
}

# One Wine prefix for every run, made once: wineboot takes about ten seconds.
wine_prefix() {
    export WINEPREFIX="$CACHE/wine"
    export WINEDEBUG=-all
    # No Mono or Gecko download prompts: nothing here needs .NET or an HTML engine.
    export WINEDLLOVERRIDES="mscoree,mshtml="
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        log "making the Wine prefix (once)"
        wineboot -i > "$CACHE/wineboot.log" 2>&1 || { tail -n 20 "$CACHE/wineboot.log"; fail "wineboot"; }
        wineserver -w
    fi
}

build_program() {
    export TALLYHOUR_WIN_PREFIX="$PREFIX"
    LAUNCHER=""
    command -v ccache >/dev/null 2>&1 && LAUNCHER="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache"
    # No Qt Charts can be built from the sources Debian carries: the program paints its chart.
    cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="$PREFIX" $LAUNCHER \
        -DTALLYHOUR_GUI=ON -DTALLYHOUR_CHARTS=OFF -DTALLYHOUR_BENCH="${WITH_BENCH:-OFF}" > "$CACHE/configure.log" 2>&1 ||
        { tail -n 30 "$CACHE/configure.log"; fail "configuring $BUILD (log: $CACHE/configure.log)"; }
    START=$(date +%s)
    cmake --build "$BUILD" --parallel "$JOBS" || fail "building the Windows program in $BUILD"
    log "the Windows build took $(( $(date +%s) - START )) s"
}

run_tests() {
    START=$(date +%s)
    # Each test program runs whole under Wine, once (Wine's start costs about three seconds), on
    # one virtual display for all of them; the Wine server ends with the display.
    RESULT=0
    (cd "$BUILD" && xvfb-run -a -s "-screen 0 1280x1024x24" sh -c \
        'ctest --output-on-failure -L "unit|storage|windows-desktop"; status=$?; wineserver -k; exit $status') ||
        RESULT=$?
    [ "$RESULT" -eq 0 ] || fail "Windows tests under Wine (see above)"
    log "the Windows tests took $(( $(date +%s) - START )) s"
}

# The benchmarks' figures, printed; never part of the tests. Wine is not Windows: the figures
# say what Wine costs here, on a machine that may be shared.
run_benches() {
    log "benchmarks under Wine $(wine --version 2>/dev/null) (Wine is not Windows: Wine's costs on this machine)"
    (cd "$BUILD" && xvfb-run -a -s "-screen 0 1280x1024x24" sh -c \
        '"$0" wineserver -k; "$0" bench/bench_windows_sample.exe; status=$?; "$0" wineserver -k; exit $status' \
        "$ROOT/cmake/wine-run.sh") || fail "the Windows benchmarks under Wine (see above)"
    # The start to the tray is watched from Linux, by a benchmark of the Linux build.
    LINUX_BENCH=${TALLYHOUR_LINUX_BUILD:-$ROOT/build}/bench/bench_program_wine
    if [ -x "$LINUX_BENCH" ]; then
        TALLYHOUR_WINDOWS_PROGRAM="$BUILD/bin/tallyhour.exe" "$LINUX_BENCH" || fail "bench_program_wine"
    else
        log "no $LINUX_BENCH: ./scripts/build.sh bench_program_wine builds it (the start to the tray)"
    fi
}

STAGE=${1:-build}
case "$STAGE" in
build | test | deps | bench) ;;
*) echo "usage: $0 [build|test|deps|bench]" >&2; exit 2 ;;
esac
install_packages
check_compiler
wine_prefix
prefix_check
build_sqlite
install_simpleini
build_qt
[ "$STAGE" = deps ] && exit 0
WITH_BENCH=OFF
if [ "$STAGE" = bench ]; then
    build_benchmark
    WITH_BENCH=ON
fi
build_program
[ "$STAGE" = test ] && run_tests
[ "$STAGE" = bench ] && run_benches
exit 0
