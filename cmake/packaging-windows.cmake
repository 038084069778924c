# The Windows programs' resources (icons, version) and their packages: an
# NSIS installer with Start-menu shortcuts and an uninstaller, and a ZIP
# (cpack in the build directory, Debian's nsis for the installer).

# The icons, drawn by the icon writer (run under Wine): 128 the program's,
# 130 the about box's second one.
if(TOLVANE_BUILD_GUI)
  set(TOLVANE_ICO_DIR ${CMAKE_BINARY_DIR}/packaging)
  add_custom_command(
    OUTPUT ${TOLVANE_ICO_DIR}/tolvane.ico ${TOLVANE_ICO_DIR}/card.ico
    COMMAND ${CMAKE_COMMAND} -E make_directory ${TOLVANE_ICO_DIR}
    COMMAND tolvane_icon_writer --ico ${TOLVANE_ICO_DIR}/tolvane.ico program
    COMMAND tolvane_icon_writer --ico ${TOLVANE_ICO_DIR}/card.ico card
    DEPENDS tolvane_icon_writer
    COMMENT "Drawing the Windows icons")
  add_custom_target(tolvane_windows_icons DEPENDS ${TOLVANE_ICO_DIR}/tolvane.ico ${TOLVANE_ICO_DIR}/card.ico)
endif()

# Gives a program its resource file: the icons (with the window) and a version
# resource from the project's version.
function(tolvane_windows_resources target description)
  set(TOLVANE_RC_NAME ${target})
  set(TOLVANE_RC_FILE ${target}.exe)
  set(TOLVANE_RC_DESCRIPTION "${description}")
  set(TOLVANE_RC_ICONS "")
  if(TOLVANE_BUILD_GUI)
    set(TOLVANE_RC_ICONS "128 ICON \"${TOLVANE_ICO_DIR}/tolvane.ico\"\n130 ICON \"${TOLVANE_ICO_DIR}/card.ico\"")
    add_dependencies(${target} tolvane_windows_icons)
  endif()
  set(rc ${CMAKE_BINARY_DIR}/packaging/${target}.rc)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/windows-resource.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
  if(TOLVANE_BUILD_GUI)
    set_source_files_properties(${rc} TARGET_DIRECTORY ${target} PROPERTIES
      OBJECT_DEPENDS "${TOLVANE_ICO_DIR}/tolvane.ico;${TOLVANE_ICO_DIR}/card.ico")
  endif()
endfunction()

tolvane_windows_resources(tolvane-cli "Tolvane command-line programmer")
if(TOLVANE_BUILD_GUI)
  tolvane_windows_resources(tolvane "Tolvane")
endif()

install(FILES ${CMAKE_SOURCE_DIR}/examples/demo-firmware.hex DESTINATION examples)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright DESTINATION . RENAME copyright.txt)
set(TOLVANE_WEB_INSTALL_DIR web)

set(CPACK_GENERATOR NSIS ZIP)
# A 64-bit, Unicode installer, into the 64-bit program folder.
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_PACKAGE_FILE_NAME tolvane-${PROJECT_VERSION}-windows-x64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY Tolvane)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Tolvane)
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/packaging/copyright)
set(CPACK_NSIS_DISPLAY_NAME "Tolvane ${PROJECT_VERSION}")
set(CPACK_NSIS_PACKAGE_NAME Tolvane)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_MODIFY_PATH OFF)
# The programs are in the install folder itself, not in bin.
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
if(TOLVANE_BUILD_GUI)
  set(CPACK_PACKAGE_EXECUTABLES tolvane Tolvane)
  set(CPACK_NSIS_INSTALLED_ICON_NAME tolvane.exe)
  set(CPACK_NSIS_MUI_ICON ${TOLVANE_ICO_DIR}/tolvane.ico)
  set(CPACK_NSIS_MUI_UNIICON ${TOLVANE_ICO_DIR}/tolvane.ico)
endif()
set(CPACK_NSIS_MENU_LINKS examples "Примеры прошивок")
