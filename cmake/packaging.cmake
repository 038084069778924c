# Installation of the desktop program and the command line, and a Debian
# package of both (cpack -G DEB in the build directory).
include(GNUInstallDirs)

set(TOLVANE_ICON_SIZES 16 32 48 64 128 256)
if(TOLVANE_BUILD_GUI)
  set(TOLVANE_ICON_DIR ${CMAKE_BINARY_DIR}/packaging/icons)
  set(TOLVANE_ICON_FILES)
  foreach(size IN LISTS TOLVANE_ICON_SIZES)
    list(APPEND TOLVANE_ICON_FILES ${TOLVANE_ICON_DIR}/${size}x${size}/tolvane.png)
  endforeach()
  add_custom_command(
    OUTPUT ${TOLVANE_ICON_FILES}
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
            $<TARGET_FILE:tolvane_icon_writer> ${TOLVANE_ICON_DIR} ${TOLVANE_ICON_SIZES}
    DEPENDS tolvane_icon_writer
    COMMENT "Drawing the program icon")
  add_custom_target(tolvane_icons ALL DEPENDS ${TOLVANE_ICON_FILES})
  foreach(size IN LISTS TOLVANE_ICON_SIZES)
    install(FILES ${TOLVANE_ICON_DIR}/${size}x${size}/tolvane.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
  endforeach()
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/tolvane.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
endif()
install(FILES ${CMAKE_SOURCE_DIR}/examples/demo-firmware.hex
        DESTINATION ${CMAKE_INSTALL_DATADIR}/tolvane/examples OPTIONAL)

set(CPACK_PACKAGE_NAME tolvane)
set(CPACK_PACKAGE_VENDOR "Quendal Brasko SD Velm")
set(CPACK_PACKAGE_CONTACT "velm@tolvane.quendal.org")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Firmware programmer for PIC18F26K42 devices over a serial port")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Loads an Intel HEX file, writes it into the device through its boot monitor,\n verifies it and starts the new firmware: tolvane (desktop window) and\n tolvane-cli (command line).")
set(CPACK_STRIP_FILES ON)
include(CPack)
