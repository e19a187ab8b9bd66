# One foreground sample on KDE Plasma's Wayland session (a headless KWin of its own, a window of
# the tests' small Qt program in front).
if(TARGET th_test_desktop AND TARGET th_monitor AND TARGET tallyhour-test-window)
    th_add_bench(NAME bench_monitor_kwin SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/bench_monitor_kwin.cpp
        LIBS th_test_desktop th_monitor)
    target_compile_definitions(bench_monitor_kwin PRIVATE
        TEST_WINDOW_PROGRAM="$<TARGET_FILE:tallyhour-test-window>"
        QT_WAYLAND_PLUGIN="${QT6_INSTALL_PREFIX}/${QT6_INSTALL_PLUGINS}/platforms/libqwayland-generic.so")
    add_dependencies(bench_monitor_kwin tallyhour-test-window)
endif()
