# The Windows installer, tallyhour-setup.exe (NSIS): the program, the Qt and MinGW libraries it
# loads, the plugins for the window system, the skins' picture formats and the native style, the
# two database templates and the skins, staged in setup/stage as installed.
find_program(TH_MAKENSIS makensis)
if(NOT TH_MAKENSIS)
    message(STATUS "makensis not found: no Windows installer (Debian's nsis package has it)")
    return()
endif()
set(TH_RUNTIME_DLLS)
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll} OUTPUT_VARIABLE path
        OUTPUT_STRIP_TRAILING_WHITESPACE)
    get_filename_component(path "${path}" ABSOLUTE)
    if(NOT EXISTS "${path}")
        message(FATAL_ERROR "The MinGW runtime ${dll} was not found (asked ${CMAKE_CXX_COMPILER})")
    endif()
    list(APPEND TH_RUNTIME_DLLS "${path}")
endforeach()
find_package(Qt6 REQUIRED COMPONENTS Widgets)
# The licences of what the installer ships, in full, in the program folder's Licenses: Debian's
# own texts of them, and a summary that the installer's licence page shows.
set(TH_LICENSES "README.txt=${PROJECT_SOURCE_DIR}/packaging/windows/Licenses.txt"
    "GPL-3.txt=/usr/share/common-licenses/GPL-3" "LGPL-3.txt=/usr/share/common-licenses/LGPL-3"
    "GCC-runtime.txt=/usr/share/doc/gcc-mingw-w64-base/copyright"
    "MinGW-w64.txt=/usr/share/doc/mingw-w64-common/copyright")
foreach(entry ${TH_LICENSES})
    string(REGEX REPLACE "^[^=]*=" "" path "${entry}")
    if(NOT EXISTS "${path}")
        message(FATAL_ERROR "The licence text ${path} is missing (Debian's base-files, gcc-mingw-w64-base "
            "and mingw-w64-common hold them)")
    endif()
endforeach()
set(TH_SETUP ${CMAKE_BINARY_DIR}/tallyhour-setup.exe)
set(TH_SETUP_FOLDER ${CMAKE_BINARY_DIR}/setup)
add_custom_command(OUTPUT ${TH_SETUP}
    COMMAND ${CMAKE_COMMAND} -DSTAGE=${TH_SETUP_FOLDER}/stage -DSTRIP=${CMAKE_STRIP}
        "-DPROGRAM_FILES=$<TARGET_FILE:tallyhour>;${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/settings.sqlite;${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/actmondb.sqlite;${TH_RUNTIME_DLLS};$<TARGET_FILE:Qt6::Core>;$<TARGET_FILE:Qt6::Gui>;$<TARGET_FILE:Qt6::Widgets>"
        "-DPLUGINS=platforms/$<TARGET_FILE_NAME:Qt6::QWindowsIntegrationPlugin>=$<TARGET_FILE:Qt6::QWindowsIntegrationPlugin>;imageformats/$<TARGET_FILE_NAME:Qt6::QJpegPlugin>=$<TARGET_FILE:Qt6::QJpegPlugin>;imageformats/$<TARGET_FILE_NAME:Qt6::QGifPlugin>=$<TARGET_FILE:Qt6::QGifPlugin>;styles/$<TARGET_FILE_NAME:Qt6::QWindowsVistaStylePlugin>=$<TARGET_FILE:Qt6::QWindowsVistaStylePlugin>"
        -DSKINS=${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/Skins
        "-DLICENSES=${TH_LICENSES}"
        -P ${PROJECT_SOURCE_DIR}/cmake/WindowsInstallerStage.cmake
    COMMAND ${TH_MAKENSIS} -V2 -DSTAGE=${TH_SETUP_FOLDER}/stage -DVERSION=${PROJECT_VERSION} -DOUTFILE=${TH_SETUP}
        ${PROJECT_SOURCE_DIR}/packaging/windows/tallyhour.nsi
    DEPENDS tallyhour th_skins th_storage_templates ${PROJECT_SOURCE_DIR}/packaging/windows/tallyhour.nsi
        ${PROJECT_SOURCE_DIR}/packaging/windows/Licenses.txt
        ${PROJECT_SOURCE_DIR}/cmake/WindowsInstallerStage.cmake
    COMMENT "Making the Windows installer tallyhour-setup.exe"
    VERBATIM)
add_custom_target(tallyhour-setup ALL DEPENDS ${TH_SETUP})
