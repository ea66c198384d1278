# Cross-builds for 64-bit Windows with MinGW-w64 (POSIX threads flavour, so that
# std::thread works) against the libraries scripts/windows/build-deps.sh builds:
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# The libraries' prefix is the one that script reports (VANTOREL_MINGW_PREFIX in
# the environment or the cache overrides it).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VANTOREL_MINGW_HOST x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VANTOREL_MINGW_HOST}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VANTOREL_MINGW_HOST}-g++-posix)
set(CMAKE_RC_COMPILER ${VANTOREL_MINGW_HOST}-windres)

if(NOT VANTOREL_MINGW_PREFIX)
  if(DEFINED ENV{VANTOREL_MINGW_PREFIX})
    set(VANTOREL_MINGW_PREFIX "$ENV{VANTOREL_MINGW_PREFIX}")
  else()
    execute_process(
      COMMAND bash "${CMAKE_CURRENT_LIST_DIR}/../scripts/windows/build-deps.sh" --print-prefix
      OUTPUT_VARIABLE VANTOREL_MINGW_PREFIX OUTPUT_STRIP_TRAILING_WHITESPACE
      COMMAND_ERROR_IS_FATAL ANY)
  endif()
endif()
set(VANTOREL_MINGW_PREFIX "${VANTOREL_MINGW_PREFIX}" CACHE PATH "Cross-built Windows libraries")
if(NOT EXISTS "${VANTOREL_MINGW_PREFIX}/.complete")
  message(FATAL_ERROR "No Windows libraries in ${VANTOREL_MINGW_PREFIX}: run `make windows-deps` first")
endif()
# try_compile projects read this file again and need the same prefix.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VANTOREL_MINGW_PREFIX)

set(CMAKE_FIND_ROOT_PATH "${VANTOREL_MINGW_PREFIX}" /usr/${VANTOREL_MINGW_HOST})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config must see the Windows libraries only, never the build machine's.
set(ENV{PKG_CONFIG_LIBDIR} "${VANTOREL_MINGW_PREFIX}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
