# The monitor's core on the fake desktop: one scan tick, a close-all sweep, the logger.
th_add_bench(NAME bench_monitor_core SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/bench_monitor_core.cpp
    LIBS th_enforce th_test_desktop)
target_include_directories(bench_monitor_core PRIVATE ${PROJECT_SOURCE_DIR}/tests)

# Samples on a real desktop (the X11 backend) are measured apart, in their own file kept by the
# backend's owner; it is taken in when present.
if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/bench_monitor_x11.cmake)
    include(${CMAKE_CURRENT_SOURCE_DIR}/bench_monitor_x11.cmake)
endif()
