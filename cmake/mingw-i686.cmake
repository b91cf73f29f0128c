# Cross-compiling vcm.dll for 32-bit x86 Windows with Debian's mingw-w64 (posix thread model),
# against the libraries scripts/setup-windows builds into VCM_DEPS_PREFIX. Programs built here
# (the tests) run under Wine through scripts/wine-run.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)

if(NOT VCM_DEPS_PREFIX)
  set(VCM_DEPS_PREFIX "${CMAKE_CURRENT_LIST_DIR}/../build/windows-deps/prefix")
endif()
get_filename_component(VCM_DEPS_PREFIX "${VCM_DEPS_PREFIX}" ABSOLUTE)
set(VCM_DEPS_PREFIX "${VCM_DEPS_PREFIX}" CACHE PATH "Libraries built by scripts/setup-windows")

set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32 "${VCM_DEPS_PREFIX}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run")
