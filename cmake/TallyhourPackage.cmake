# Install rules and the Debian package. The program finds its database templates, its skins and
# the uninstall flag beside its own executable, so they share one program folder; /usr/bin holds
# a link to the program. Destinations are relative to "/" when packaged.
set(TH_PROGRAM_FOLDER opt/tallyhour)
set(TH_PACKAGING ${PROJECT_SOURCE_DIR}/packaging/debian)
set(TH_DESKTOP ${PROJECT_SOURCE_DIR}/resources/desktop)

install(TARGETS tallyhour RUNTIME DESTINATION ${TH_PROGRAM_FOLDER})
install(FILES ${CMAKE_BINARY_DIR}/bin/settings.sqlite ${CMAKE_BINARY_DIR}/bin/actmondb.sqlite
    DESTINATION ${TH_PROGRAM_FOLDER})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/resources/Skins/ DESTINATION ${TH_PROGRAM_FOLDER}/Skins)

file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
file(CREATE_LINK /${TH_PROGRAM_FOLDER}/tallyhour ${CMAKE_BINARY_DIR}/package/tallyhour SYMBOLIC)
install(FILES ${CMAKE_BINARY_DIR}/package/tallyhour DESTINATION usr/bin)

install(FILES ${TH_DESKTOP}/tallyhour.desktop DESTINATION usr/share/applications)
# Debian's chromium reads its start flags from this folder (see the README's Install section).
install(FILES ${PROJECT_SOURCE_DIR}/packaging/chromium/tallyhour-accessibility DESTINATION etc/chromium.d)
install(FILES ${TH_DESKTOP}/tallyhour-autostart.desktop DESTINATION etc/xdg/autostart RENAME tallyhour.desktop)
install(FILES ${TH_DESKTOP}/tallyhour.metainfo.xml DESTINATION usr/share/metainfo
    RENAME org.example.tallyhour.metainfo.xml)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/resources/icons/hicolor DESTINATION usr/share/icons)
# The GNOME Shell extension through which the program sees the window in front on GNOME's
# Wayland session; installed, not enabled: the program enables it for the user who runs it.
install(DIRECTORY ${TH_GNOME_SHELL_EXTENSION} DESTINATION usr/share/gnome-shell/extensions)

# Debian wants the copyright and a compressed changelog in the package's doc folder.
execute_process(COMMAND gzip -9nc ${TH_PACKAGING}/changelog OUTPUT_FILE ${CMAKE_BINARY_DIR}/package/changelog.Debian.gz)
execute_process(COMMAND gzip -9nc ${TH_PACKAGING}/tallyhour.1 OUTPUT_FILE ${CMAKE_BINARY_DIR}/package/tallyhour.1.gz)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${TH_PACKAGING}/changelog ${TH_PACKAGING}/tallyhour.1)
install(FILES ${CMAKE_BINARY_DIR}/package/tallyhour.1.gz DESTINATION usr/share/man/man1)
install(FILES ${TH_PACKAGING}/copyright ${CMAKE_BINARY_DIR}/package/changelog.Debian.gz
    DESTINATION usr/share/doc/tallyhour)
install(FILES ${TH_PACKAGING}/lintian-overrides DESTINATION usr/share/lintian/overrides RENAME tallyhour)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tallyhour)
set(CPACK_PACKAGE_VENDOR "The Tallyhour developers")
set(CPACK_PACKAGE_CONTACT "The Tallyhour developers <team@${TALLYHOUR_SITE_HOST}>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "limits the time lost to distracting sites and applications")
set(CPACK_PACKAGE_DESCRIPTION
    "Tallyhour runs in the background of the desktop session with a tray icon\n"
    "and a small always-on-top window, counts the time spent on the sites and\n"
    "applications of the user's time-limit list, and acts when the daily limit\n"
    "is reached.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://${TALLYHOUR_SITE_HOST}/)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Started or talked to at run time rather than linked: the accessibility bus for browser addresses,
# and Qt's Wayland platform, which a Wayland session without XWayland needs for any window at all.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "at-spi2-core, qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${TH_PACKAGING}/prerm ${TH_PACKAGING}/postrm ${TH_PACKAGING}/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
