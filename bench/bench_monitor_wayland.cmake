# One foreground sample on a Wayland desktop (a headless sway of its own).
if(TARGET th_test_desktop AND TARGET th_monitor)
    th_add_bench(NAME bench_monitor_wayland SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/bench_monitor_wayland.cpp
        LIBS th_test_desktop th_monitor)
endif()
