# What `cmake --install` puts where, and the Debian package `cpack -G DEB` makes of it.
# Only the two programs and their data are installed: no tests, benches or static libraries.

set(KORVANE_APP_ID io.github.korvane.Korvane)
set(KORVANE_UDEV_RULES_DIR lib/udev/rules.d
    CACHE STRING "Where the udev rule for the adapter goes, relative to the install prefix")

set(packaging_src ${PROJECT_SOURCE_DIR}/packaging)
set(packaging_out ${CMAKE_BINARY_DIR}/packaging)

# A umask of the build machine must not reach the installed folders.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# The newest entries of the AppStream releases and of the package changelog must both be the
# version project() names; the manual pages carry that release's date.
file(STRINGS ${packaging_src}/${KORVANE_APP_ID}.metainfo.xml newest_release
     REGEX "<release " LIMIT_COUNT 1)
string(REGEX MATCH "version=\"([^\"]*)\" date=\"([^\"]*)\"" newest_release "${newest_release}")
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
    message(FATAL_ERROR "The newest <release> in packaging/${KORVANE_APP_ID}.metainfo.xml is "
                        "\"${CMAKE_MATCH_1}\", not ${PROJECT_VERSION}: add an entry for it.")
endif()
set(KORVANE_RELEASE_DATE ${CMAKE_MATCH_2})
file(STRINGS ${packaging_src}/changelog.in newest_change LIMIT_COUNT 1)
string(REGEX MATCH "^korvane \\(([^)]*)\\)" newest_change "${newest_change}")
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
    message(FATAL_ERROR "The newest entry of packaging/changelog.in is \"${CMAKE_MATCH_1}\", "
                        "not ${PROJECT_VERSION}: add an entry for it.")
endif()

# The Debian copyright file, in its machine-readable form, from LICENSE: the holder line and
# the permission notice, indented, with blank lines written as " .".
file(READ ${PROJECT_SOURCE_DIR}/LICENSE license)
string(REGEX MATCH "Copyright \\(c\\) ([^\n]*)" license_holder "${license}")
set(license_holder ${CMAKE_MATCH_1})
string(FIND "${license}" "Permission is hereby granted" terms_start)
if(NOT license_holder OR terms_start LESS 0)
    message(FATAL_ERROR "LICENSE has no copyright line or no MIT permission notice")
endif()
string(SUBSTRING "${license}" ${terms_start} -1 license_terms)
string(STRIP "${license_terms}" license_terms)
string(REPLACE "\n\n" "\n.\n" license_terms "${license_terms}")
string(REPLACE "\n" "\n " license_terms "${license_terms}")
configure_file(${packaging_src}/copyright.in ${packaging_out}/copyright @ONLY)

# Manual pages and the changelog are installed gzip'ed, without a name or time stamp in the
# header so that two builds give the same bytes.
configure_file(${packaging_src}/changelog.in ${packaging_out}/changelog @ONLY)
set(compressed ${packaging_out}/changelog.gz)
foreach(page korvane.1 korvane-sim.1)
    configure_file(${packaging_src}/${page}.in ${packaging_out}/${page} @ONLY)
    list(APPEND compressed ${packaging_out}/${page}.gz)
endforeach()
foreach(gz ${compressed})
    string(REGEX REPLACE "\\.gz$" "" plain ${gz})
    add_custom_command(OUTPUT ${gz} COMMAND gzip -9nkf ${plain} DEPENDS ${plain} VERBATIM)
endforeach()
add_custom_target(korvane_compressed_docs ALL DEPENDS ${compressed})

install(TARGETS korvane korvane-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/assets/logo.png DESTINATION ${KORVANE_INSTALL_DATADIR}/Images)
# The sizes assets/make-logo.sh draws.
foreach(size 32 48 64 128 256)
    install(FILES ${PROJECT_SOURCE_DIR}/assets/icons/korvane-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME ${KORVANE_APP_ID}.png)
endforeach()
install(FILES ${packaging_src}/${KORVANE_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${packaging_src}/${KORVANE_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${packaging_src}/60-korvane.rules DESTINATION ${KORVANE_UDEV_RULES_DIR})
install(FILES ${packaging_out}/korvane.1.gz ${packaging_out}/korvane-sim.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${packaging_out}/copyright ${packaging_out}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/korvane)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME korvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Korvane developers")
set(CPACK_PACKAGE_CONTACT ${KORVANE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "bench tool for a brushless motor behind a USB-serial-to-CAN adapter")
# Lines of at most 79 characters: the control file indents each by one.
set(CPACK_PACKAGE_DESCRIPTION
    "Korvane drives and watches one brushless motor at a time over a
USB-serial-to-CAN adapter: it opens the adapter's serial port, sends packed
position, velocity, torque, Kp and Kd commands every 20 ms, decodes the
motor's feedback into live plots and gauges, talks to the motor firmware's
text menu, and records runs to text files. It also drives the motor through
any CAN interface Qt's serial bus plugins reach, such as SocketCAN.

The package also holds korvane-sim, a simulated adapter with one motor behind
it on a pseudo-terminal, for trying the tool without hardware.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_RPM_PACKAGE_LICENSE ${KORVANE_LICENSE})
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${PROJECT_HOMEPAGE_URL})
# Liberation Mono stands in for Courier New in the console tab.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS fonts-liberation)
# Qt 6 on Debian keeps its platform plugins (the window system's glue) in a package of
# their own that no library links to, so dpkg-shlibdeps cannot find it.
# Qt 5's CAN bus plugins (SocketCAN, the virtual bus and the vendor adapters) are loaded at
# run time from a package of their own too; Qt 6 ships them in its serial bus library.
if(KORVANE_QT STREQUAL "6")
    set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-qpa-plugins)
else()
    set(CPACK_DEBIAN_PACKAGE_DEPENDS libqt5serialbus5-plugins)
endif()
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
