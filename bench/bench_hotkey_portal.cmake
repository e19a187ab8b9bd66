# The hot key through the desktop portal's global shortcuts, against the tests' stand-in portal.
if(TARGET th_test_desktop)
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(TH_BENCH_GIO REQUIRED IMPORTED_TARGET gio-2.0)
    th_add_bench(NAME bench_hotkey_portal SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/bench_hotkey_portal.cpp
        LIBS th_test_desktop th_platform_linux PkgConfig::TH_BENCH_GIO)
    target_compile_definitions(bench_hotkey_portal PRIVATE
        FAKE_PORTAL="${PROJECT_SOURCE_DIR}/tests/support/fakes/fake_portal.py")
endif()
