# Cross-compiling VARNOLT for 64-bit Windows with Debian's mingw-w64 (the posix
# thread model, which std::thread and oneTBB need):
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#         -DCMAKE_PREFIX_PATH=/path/to/windows/libraries -DVARNOLT_BUILD_GUI=OFF
# scripts/windows-check.sh builds the libraries (Highway, oneTBB, GoogleTest) and
# uses this file.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VARNOLT_MINGW_TRIPLE x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${VARNOLT_MINGW_TRIPLE}-gcc-posix ${VARNOLT_MINGW_TRIPLE}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${VARNOLT_MINGW_TRIPLE}-g++-posix ${VARNOLT_MINGW_TRIPLE}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${VARNOLT_MINGW_TRIPLE}-windres REQUIRED)

# Libraries and headers come from the mingw sysroot and the prefixes given in
# CMAKE_PREFIX_PATH, never from the build machine's own /usr.
set(CMAKE_FIND_ROOT_PATH /usr/${VARNOLT_MINGW_TRIPLE} ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Programs built here run under Wine when a build step or a test needs them.
find_program(VARNOLT_WINE NAMES wine wine64)
if(VARNOLT_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VARNOLT_WINE})
endif()
