# Cross-builds for 64-bit Windows with Debian's MinGW-w64, posix thread model (std::thread and
# std::mutex need it; the win32 model lacks them in GCC 12).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TALLYHOUR_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TALLYHOUR_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TALLYHOUR_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TALLYHOUR_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TALLYHOUR_MINGW_TRIPLE})
# Qt, SQLite and GoogleTest built for Windows live in the cache folder; the caller appends it.
if(DEFINED ENV{TALLYHOUR_WIN_PREFIX})
    list(APPEND CMAKE_FIND_ROOT_PATH $ENV{TALLYHOUR_WIN_PREFIX})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Programs built here run under Wine: the tests, and the build's own schema tool.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
