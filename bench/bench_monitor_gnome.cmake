# One foreground sample on GNOME's Wayland session (a headless GNOME Shell of its own with the
# program's extension, a window of the tests' small Qt program in front).
if(TARGET th_test_desktop AND TARGET th_monitor AND TARGET tallyhour-test-window)
    th_add_bench(NAME bench_monitor_gnome SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/bench_monitor_gnome.cpp
        LIBS th_test_desktop th_monitor)
    pkg_check_modules(TH_GIO_BENCH REQUIRED IMPORTED_TARGET gio-2.0)
    target_link_libraries(bench_monitor_gnome PRIVATE PkgConfig::TH_GIO_BENCH)
    target_compile_definitions(bench_monitor_gnome PRIVATE
        TEST_WINDOW_PROGRAM="$<TARGET_FILE:tallyhour-test-window>"
        QT_WAYLAND_PLUGIN="${QT6_INSTALL_PREFIX}/${QT6_INSTALL_PLUGINS}/platforms/libqwayland-generic.so"
        GNOME_EXTENSION_SOURCE="${TH_GNOME_SHELL_EXTENSION}")
    add_dependencies(bench_monitor_gnome tallyhour-test-window)
endif()
