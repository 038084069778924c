# Installation of the desktop program and the command line, and their
# packages (cpack in the build directory): a Debian package, or for Windows
# an installer and a ZIP.
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
include(CPack)
