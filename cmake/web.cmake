# Toolchain of the web build: Debian's Emscripten, with what it needs around it.
#
# Debian's emscripten runs its JavaScript tools with the node first on the
# path, which may not be Debian's and then lacks Debian's node modules (acorn):
# they are put on NODE_PATH. Its cache of system libraries is read-only under
# /usr/share, so the build gets a cache of its own that links to those
# libraries and takes the lock files. Both hold for the compiler runs of the
# configuration (this process's environment) and of the build (the launchers).
set(TOLVANE_NODE_PATH "/usr/share/nodejs")
if(DEFINED ENV{NODE_PATH} AND NOT "$ENV{NODE_PATH}" STREQUAL "")
  string(APPEND TOLVANE_NODE_PATH ":$ENV{NODE_PATH}")
endif()

# A try_compile reads this file again in a folder of its own: the cache stays
# the one of the main build.
if(NOT DEFINED ENV{TOLVANE_EM_CACHE})
  set(ENV{TOLVANE_EM_CACHE} "${CMAKE_BINARY_DIR}/em-cache")
endif()
set(TOLVANE_EM_CACHE "$ENV{TOLVANE_EM_CACHE}")
set(_system_cache /usr/share/emscripten/cache)
if(NOT EXISTS "${_system_cache}/sysroot")
  message(FATAL_ERROR "Debian's emscripten is not installed (scripts/install-deps)")
endif()
file(MAKE_DIRECTORY "${TOLVANE_EM_CACHE}")
file(CREATE_LINK "${_system_cache}/sysroot" "${TOLVANE_EM_CACHE}/sysroot" SYMBOLIC)
file(COPY "${_system_cache}/sysroot_install.stamp" DESTINATION "${TOLVANE_EM_CACHE}")

set(ENV{NODE_PATH} "${TOLVANE_NODE_PATH}")
set(ENV{EM_CACHE} "${TOLVANE_EM_CACHE}")
set(_tolvane_em_env env "NODE_PATH=${TOLVANE_NODE_PATH}" "EM_CACHE=${TOLVANE_EM_CACHE}")
set(CMAKE_C_COMPILER_LAUNCHER ${_tolvane_em_env})
set(CMAKE_CXX_COMPILER_LAUNCHER ${_tolvane_em_env})
set(CMAKE_C_LINKER_LAUNCHER ${_tolvane_em_env})
set(CMAKE_CXX_LINKER_LAUNCHER ${_tolvane_em_env})

include(/usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake)
