# Cross-compiles for 32-bit Windows with MinGW-w64 (Debian: g++-mingw-w64-i686-posix):
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-mingw.cmake
# The test programs run under Wine when it is installed.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(MORVEX_MINGW_PREFIX i686-w64-mingw32 CACHE STRING "MinGW-w64 tool prefix")
# Debian's wine script, which runs the 32-bit loader.
set(MORVEX_WINE_LOADER wine)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
