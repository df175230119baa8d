# Cross-compiles for 32-bit Windows with MinGW-w64 (Debian: g++-mingw-w64-i686-posix):
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-mingw.cmake
# The test programs run under Wine when it is installed.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(MORVEX_MINGW_PREFIX i686-w64-mingw32 CACHE STRING "MinGW-w64 tool prefix")
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
find_program(MORVEX_WINE NAMES wine)
if(MORVEX_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${MORVEX_WINE})
endif()
