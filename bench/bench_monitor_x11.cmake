# One foreground sample on a real X11 desktop (its own Xvfb, openbox, buses and browsers).
if(TARGET th_test_desktop AND TARGET th_monitor)
    th_add_bench(NAME bench_monitor_x11 SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/bench_monitor_x11.cpp
        LIBS th_test_desktop th_monitor)
endif()
