# Cross-compiles for 64-bit Windows with MinGW-w64 (Debian: g++-mingw-w64-x86-64-posix):
#   cmake -S . -B build-win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-mingw.cmake
# The test programs run under Wine's 64-bit loader when it is installed: a
# 64-bit Linux program, so they run natively wherever the machine does.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MORVEX_MINGW_PREFIX x86_64-w64-mingw32 CACHE STRING "MinGW-w64 tool prefix")
set(MORVEX_WINE_LOADER wine64)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
