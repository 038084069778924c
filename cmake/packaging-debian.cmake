# Installation on Debian and its package (cpack -G DEB in the build directory).
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
  # The desktop entry opens Intel HEX files, a type of its own here.
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/tolvane-ihex.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
endif()
# Man pages, compressed as Debian installs them; the window's only with the window.
set(TOLVANE_MAN_PAGES tolvane-cli)
if(TOLVANE_BUILD_GUI)
  list(APPEND TOLVANE_MAN_PAGES tolvane)
  # The desktop's description of the program, with the project's version.
  configure_file(${CMAKE_SOURCE_DIR}/packaging/tolvane.metainfo.xml
                 ${CMAKE_BINARY_DIR}/packaging/org.quendal.tolvane.metainfo.xml @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/org.quendal.tolvane.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()
set(TOLVANE_MAN_FILES)
foreach(page IN LISTS TOLVANE_MAN_PAGES)
  set(compressed ${CMAKE_BINARY_DIR}/packaging/man/${page}.1.gz)
  add_custom_command(
    OUTPUT ${compressed}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging/man
    COMMAND gzip -9n -c ${CMAKE_SOURCE_DIR}/packaging/man/${page}.1 > ${compressed}
    DEPENDS ${CMAKE_SOURCE_DIR}/packaging/man/${page}.1
    COMMENT "Compressing the man page ${page}(1)")
  list(APPEND TOLVANE_MAN_FILES ${compressed})
  install(FILES ${compressed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
add_custom_target(tolvane_man_pages ALL DEPENDS ${TOLVANE_MAN_FILES})

# What Debian wants of every package: its copyright and its changelog.
set(TOLVANE_CHANGELOG ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(
  OUTPUT ${TOLVANE_CHANGELOG}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
  COMMAND gzip -9n -c ${CMAKE_SOURCE_DIR}/packaging/changelog > ${TOLVANE_CHANGELOG}
  DEPENDS ${CMAKE_SOURCE_DIR}/packaging/changelog)
add_custom_target(tolvane_changelog ALL DEPENDS ${TOLVANE_CHANGELOG})
install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright ${TOLVANE_CHANGELOG}
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tolvane)

# Completion of tolvane-cli's commands, options, ports and files in bash.
install(FILES ${CMAKE_SOURCE_DIR}/packaging/completion/tolvane-cli
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

install(FILES ${CMAKE_SOURCE_DIR}/examples/demo-firmware.hex
        DESTINATION ${CMAKE_INSTALL_DATADIR}/tolvane/examples OPTIONAL)
set(TOLVANE_WEB_INSTALL_DIR ${CMAKE_INSTALL_DATADIR}/tolvane/web)

set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Loads an Intel HEX file, writes it into the device through its boot monitor,\n verifies it and starts the new firmware: tolvane (desktop window) and\n tolvane-cli (command line).")
