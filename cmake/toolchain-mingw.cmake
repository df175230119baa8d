# The MinGW-w64 cross toolchain for Morvex.Native.dll, shared by
# toolchain-i686-mingw.cmake (32-bit) and toolchain-x86_64-mingw.cmake
# (64-bit), which set CMAKE_SYSTEM_PROCESSOR, MORVEX_MINGW_PREFIX and
# MORVEX_WINE_LOADER first.
set(CMAKE_SYSTEM_NAME Windows)

# The posix thread model gives the test programs std::thread.
find_program(CMAKE_C_COMPILER NAMES ${MORVEX_MINGW_PREFIX}-gcc-posix ${MORVEX_MINGW_PREFIX}-gcc
             REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${MORVEX_MINGW_PREFIX}-g++-posix ${MORVEX_MINGW_PREFIX}-g++
             REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${MORVEX_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MORVEX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# ctest runs the cross-built programs through Wine.
# (Debian keeps the 64-bit loader in /usr/lib/wine.)
find_program(MORVEX_WINE NAMES ${MORVEX_WINE_LOADER} PATHS /usr/lib/wine)
if(MORVEX_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${MORVEX_WINE})
endif()
