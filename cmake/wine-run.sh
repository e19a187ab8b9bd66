#!/bin/sh
# Runs a Windows program of the build under Wine, in the prefix scripts/windows.sh prepares, with
# MinGW's runtime (libstdc++, libgcc, winpthread) and the cached Qt on its DLL path.
CACHE=${TALLYHOUR_WIN_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tallyhour/windows}
export WINEPREFIX="${WINEPREFIX:-$CACHE/wine}"
PREFIX=${TALLYHOUR_WIN_PREFIX:-$CACHE/prefix}
GCC_DLLS=$(ls -d /usr/lib/gcc/x86_64-w64-mingw32/*-posix 2>/dev/null | tail -n 1)
WINEPATH="Z:$GCC_DLLS;Z:/usr/x86_64-w64-mingw32/lib;Z:$PREFIX/bin${WINEPATH:+;$WINEPATH}"
export WINEPATH
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# The prefix's server itself ("wineserver -k" ends every Wine process of the prefix) is no Windows
# program.
[ "$1" = wineserver ] && exec "$@"
exec wine "$@"
