# Warnings live in one interface target that every library and program links.
add_library(th_warnings INTERFACE)
target_compile_options(th_warnings INTERFACE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor)
if(TALLYHOUR_WERROR)
    target_compile_options(th_warnings INTERFACE -Werror)
endif()
# In a unity build every source is an included file, and GCC then warns about each file-local
# type that a class uses; the warning means nothing there.
if(CMAKE_UNITY_BUILD AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(th_warnings INTERFACE -Wno-subobject-linkage)
endif()

# Adds the subfolders that have a CMakeLists.txt, so a new module needs no edit here.
function(th_add_subdirectories)
    foreach(dir ${ARGN})
        if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
            add_subdirectory(${dir})
        endif()
    endforeach()
endfunction()

# th_add_test(NAME <name> SOURCES <files...> LIBS <targets...> [LABELS <labels...>] [TIMEOUT <s>] [OWN_MAIN]
#             [RESOURCE_LOCK <name>])
# One test executable per unit; it links its module and the test support only. OWN_MAIN is for
# tests that bring their own main() (a QApplication, for instance); the others get GoogleTest's.
# Tests that name the same RESOURCE_LOCK never run at the same time (heavy programs, say).
function(th_add_test)
    cmake_parse_arguments(T "OWN_MAIN" "NAME;TIMEOUT;RESOURCE_LOCK" "SOURCES;LIBS;LABELS" ${ARGN})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
    endif()
    if(NOT T_LABELS)
        set(T_LABELS unit)
    endif()
    set(T_LOCK "")
    if(T_RESOURCE_LOCK)
        set(T_LOCK RESOURCE_LOCK ${T_RESOURCE_LOCK})
    endif()
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} th_test_support GTest::gtest GTest::gmock th_warnings)
    if(NOT T_OWN_MAIN)
        target_link_libraries(${T_NAME} PRIVATE GTest::gtest_main)
    endif()
    set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    # The sanitizer build compiles only what its tests run (th_checked_tests, made in tests/).
    if(T_LABELS MATCHES "^(unit|storage|gui)$")
        set_property(GLOBAL APPEND PROPERTY TH_CHECKED_TESTS ${T_NAME})
    endif()
    if(CMAKE_CROSSCOMPILING)
        # Under an emulator (Wine starts in about three seconds) each program runs whole, once.
        add_test(NAME ${T_NAME} COMMAND ${T_NAME} WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
        set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}" TIMEOUT ${T_TIMEOUT} ${T_LOCK}
            ENVIRONMENT "QT_QPA_PLATFORM=offscreen;TALLYHOUR_BIN_DIR=${CMAKE_BINARY_DIR}/bin")
        return()
    endif()
    gtest_discover_tests(${T_NAME}
        WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/tests
        DISCOVERY_TIMEOUT 60
        PROPERTIES LABELS "${T_LABELS}" TIMEOUT ${T_TIMEOUT} ${T_LOCK}
                   ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
                   ENVIRONMENT_MODIFICATION "TALLYHOUR_BIN_DIR=set:${CMAKE_BINARY_DIR}/bin")
endfunction()

# th_add_bench(NAME <name> SOURCES <files...> LIBS <targets...>)
function(th_add_bench)
    cmake_parse_arguments(B "" "NAME" "SOURCES;LIBS" ${ARGN})
    add_executable(${B_NAME} ${B_SOURCES})
    target_link_libraries(${B_NAME} PRIVATE ${B_LIBS} benchmark::benchmark th_warnings)
    set_target_properties(${B_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endfunction()
