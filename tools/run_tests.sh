#!/usr/bin/env bash
# Sets up, builds and runs every test: an optimised build, then a build with
# AddressSanitizer and UndefinedBehaviorSanitizer that halts on the first report.
#
# With --windows (or MORVEX_WINDOWS=1) it then also cross-builds
# Morvex.Native.dll for 32-bit Windows, runs the whole suite against it under
# Wine, and checks that the .so and the .dll give the same checksums.
set -euo pipefail
cd "$(dirname "$0")/.."

windows=${MORVEX_WINDOWS:-0}
for arg in "$@"; do
  case "$arg" in
    --windows) windows=1 ;;
    *) echo "usage: $0 [--windows]" >&2; exit 2 ;;
  esac
done
if [ "$windows" = 1 ]; then bash tools/setup.sh --windows; else bash tools/setup.sh; fi

jobs=2
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
ninja -C build -j"$jobs"
# Both object libraries: the internal routines and the entry points.
bash tools/check_isa_leaks.sh build/CMakeFiles
ctest --test-dir build -j"$jobs" --output-on-failure

cmake -S . -B build-san -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVEX_SANITIZE=ON \
  -DMORVEX_BUILD_BENCH=OFF
ninja -C build-san -j"$jobs"
ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 \
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  ctest --test-dir build-san -j"$jobs" --output-on-failure

if [ "$windows" = 1 ]; then
  cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-mingw.cmake \
    -DCMAKE_BUILD_TYPE=Release
  ninja -C build-win -j"$jobs"
  export WINEPREFIX=${MORVEX_WINEPREFIX:-$PWD/build-win/wineprefix}
  export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  # Where i386 programs run under QEMU's user-mode emulator (see setup.sh),
  # emulate a processor without AVX: QEMU's AVX emulation reads 32 bytes for
  # some 16-byte memory operands and so faults beside the tests' guard pages.
  export QEMU_CPU=${QEMU_CPU:-Nehalem}
  [ -f "$WINEPREFIX/system.reg" ] || wineboot -i >/dev/null 2>&1
  # One Wine server, with the prefix's services started here rather than by
  # the first test program (they would hold its output open), for the whole run.
  wineserver -k 2>/dev/null || true
  wineserver -p 60
  trap 'wineserver -k 2>/dev/null || true' EXIT
  wineboot >/dev/null 2>&1
  ctest --test-dir build-win -j"$jobs" --output-on-failure
  python3 tools/checksum_diff build/tests/tests_checksum build-win/bin/tests_checksum.exe
fi
