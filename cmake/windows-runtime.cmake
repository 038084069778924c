# What the Windows programs load from beside them: the mingw runtime and, for
# the window, Qt's libraries, the plugins it needs and Qt's Russian texts.
# Copied next to the programs of the build, so that tests and build steps run
# under Wine, and installed with them.
# Libraries are copied without their debug sections (Debian's mingw runtime
# has them), which makes the packages a third the size.
function(tolvane_runtime_file path folder install)
  get_filename_component(name ${path} NAME)
  set(copy ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${folder}/${name})
  if(NOT EXISTS ${copy} OR ${path} IS_NEWER_THAN ${copy})
    file(COPY ${path} DESTINATION ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${folder})
    if(name MATCHES "\\.dll$")
      execute_process(COMMAND ${CMAKE_STRIP} --strip-unneeded ${copy} COMMAND_ERROR_IS_FATAL ANY)
    endif()
  endif()
  if(install)
    install(FILES ${copy} DESTINATION ${TOLVANE_INSTALL_BINDIR}/${folder})
  endif()
endfunction()

foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                  OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
  get_filename_component(path "${path}" REALPATH)
  if(NOT EXISTS "${path}")
    message(FATAL_ERROR "The mingw runtime ${dll} is missing")
  endif()
  tolvane_runtime_file(${path} "" ON)
endforeach()

if(TOLVANE_BUILD_GUI)
  # target, folder, shipped (the offscreen platform and Qt Test serve the tests only)
  set(qt_files
    Qt6::Core "" ON
    Qt6::Gui "" ON
    Qt6::Widgets "" ON
    Qt6::Test "" OFF
    Qt6::QWindowsIntegrationPlugin platforms ON
    Qt6::QOffscreenIntegrationPlugin platforms OFF
    Qt6::QWindowsVistaStylePlugin styles ON)
  while(qt_files)
    list(POP_FRONT qt_files target folder install)
    get_target_property(path ${target} IMPORTED_LOCATION_RELEASE)
    tolvane_runtime_file(${path} "${folder}" ${install})
  endwhile()
  # Qt finds its plugins and translations beside the program.
  file(WRITE ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/qt.conf "[Paths]\nPrefix = .\nPlugins = .\nTranslations = translations\n")
  install(FILES ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/qt.conf DESTINATION ${TOLVANE_INSTALL_BINDIR})
  find_file(TOLVANE_QT_RU qtbase_ru.qm PATHS /usr/share/qt6/translations NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  tolvane_runtime_file(${TOLVANE_QT_RU} translations ON)
endif()
