# Finds Qt. KORVANE_QT picks the major version, 5 or 6; left empty, it becomes 6 when Qt 6
# (with its serial port and serial bus modules) is installed and 5 otherwise. The choice is kept in the
# cache, so a build folder stays with the Qt it was configured for. Targets link the
# versionless names (Qt::Core, Qt::Widgets, ...), which both versions provide.
set(KORVANE_QT "" CACHE STRING "Qt major version to build with: 5 or 6 (empty: 6 if found, else 5)")
set(korvane_qt_components Core Gui Widgets SerialPort SerialBus)
if(KORVANE_BUILD_TESTS)
    list(APPEND korvane_qt_components Test)
endif()

if(NOT KORVANE_QT)
    find_package(Qt6 6.2 QUIET COMPONENTS ${korvane_qt_components})
    if(Qt6_FOUND)
        set(KORVANE_QT 6 CACHE STRING "Qt major version to build with: 5 or 6" FORCE)
    else()
        set(KORVANE_QT 5 CACHE STRING "Qt major version to build with: 5 or 6" FORCE)
    endif()
endif()

if(KORVANE_QT STREQUAL "6")
    find_package(Qt6 6.2 REQUIRED COMPONENTS ${korvane_qt_components})
elseif(KORVANE_QT STREQUAL "5")
    find_package(Qt5 5.15 REQUIRED COMPONENTS ${korvane_qt_components})
else()
    message(FATAL_ERROR "KORVANE_QT is 5 or 6, not \"${KORVANE_QT}\"")
endif()
message(STATUS "Korvane builds with Qt ${Qt${KORVANE_QT}Core_VERSION}")

if(KORVANE_QT STREQUAL "5")
    # What Qt 5.15 already deprecated is gone from Qt 6: refusing it keeps the Qt 5 build
    # from taking up calls that the Qt 6 build would not compile. Qt 6 itself warns of all
    # it has deprecated, and warnings are errors.
    add_compile_definitions(QT_DISABLE_DEPRECATED_BEFORE=0x050F00)
endif()

# On Linux the histories are anonymous mappings reset by handing pages back, recordings are
# written and read with plain system calls, and the port scan enumerates only when the
# device folders change. Elsewhere, or with KORVANE_PORTABLE, the same classes fall back to
# heap memory, QFile and a rescan every time; the option builds those here so they are tested.
option(KORVANE_PORTABLE "Use the portable fallbacks instead of the Linux code paths" OFF)
if(CMAKE_SYSTEM_NAME STREQUAL "Linux" AND NOT KORVANE_PORTABLE)
    add_compile_definitions(KORVANE_LINUX)
    message(STATUS "Korvane uses the Linux code paths")
else()
    message(STATUS "Korvane uses the portable code paths")
endif()

# The simulator plays the adapter on a pseudo-terminal, which only Unix-like systems have;
# it and the suites that start it are built there only.
if(UNIX)
    set(KORVANE_HAS_PTY ON)
else()
    set(KORVANE_HAS_PTY OFF)
endif()
