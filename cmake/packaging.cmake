# Installation of the desktop program, the command line and the web page, and
# their packages (cpack in the build directory): a Debian package, or for
# Windows an installer and a ZIP.
set(CPACK_PACKAGE_NAME tolvane)
set(CPACK_PACKAGE_VENDOR "Quendal Brasko SD Velm")
set(CPACK_PACKAGE_CONTACT "Quendal Brasko SD Velm <velm@tolvane.quendal.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Firmware programmer for PIC18F26K42 devices over a serial port")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)
if(WIN32)
  include(cmake/packaging-windows.cmake)
else()
  include(cmake/packaging-debian.cmake)
endif()

# The web page's folder, whole, as the web preset builds it (these builds do
# not): /usr/share/tolvane/web, or web beside the programs on Windows. The
# build goes without it; an install or a package stops.
set(TOLVANE_WEB_PAGE_DIR ${CMAKE_SOURCE_DIR}/build-web/web CACHE PATH
  "The web page's folder to install (cmake --preset web && cmake --build --preset web)")
if(NOT EXISTS "${TOLVANE_WEB_PAGE_DIR}/index.html")
  message(STATUS "No web page in ${TOLVANE_WEB_PAGE_DIR} yet: an install or a package needs it")
endif()
install(CODE "
  if(NOT EXISTS \"${TOLVANE_WEB_PAGE_DIR}/index.html\")
    message(FATAL_ERROR \"No web page in ${TOLVANE_WEB_PAGE_DIR}: build it first \"
      \"(cmake --preset web && cmake --build --preset web) or set TOLVANE_WEB_PAGE_DIR to its folder\")
  endif()")
install(DIRECTORY "${TOLVANE_WEB_PAGE_DIR}/" DESTINATION ${TOLVANE_WEB_INSTALL_DIR})

include(CPack)
