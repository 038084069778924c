# The Windows build: mingw-w64 with Qt for Windows from scripts/build-qt-windows
# (TOLVANE_QT_WINDOWS, or the newest version in its default cache folder).
# Programs built here run on this machine under Wine: tests, and the build
# steps that run a program of the build.
set(TOLVANE_QT_WINDOWS "$ENV{TOLVANE_QT_WINDOWS}")
if(NOT TOLVANE_QT_WINDOWS)
  file(GLOB _tolvane_qt_versions LIST_DIRECTORIES true /opt/tolvane/qt6-windows/*)
  list(SORT _tolvane_qt_versions COMPARE NATURAL ORDER DESCENDING)
  list(GET _tolvane_qt_versions 0 TOLVANE_QT_WINDOWS)
endif()
if(NOT EXISTS "${TOLVANE_QT_WINDOWS}/lib/cmake/Qt6/qt.toolchain.cmake")
  message(FATAL_ERROR "No Qt for Windows in '${TOLVANE_QT_WINDOWS}': run scripts/build-qt-windows first")
endif()
set(QT_CHAINLOAD_TOOLCHAIN_FILE ${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
include(${TOLVANE_QT_WINDOWS}/lib/cmake/Qt6/qt.toolchain.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
