#!/usr/bin/env bash
# Sets up, builds and runs every test:
#   1. an optimised build: the unit tests, the checksum suite, the install test,
#      and the instruction-set leak check of it and of a debug build;
#      the Python package's tests and the .NET declarations run under Mono
#      against its Morvex.Native.so (tools/test_bindings.sh);
#   2. AddressSanitizer + UndefinedBehaviorSanitizer, halting on the first report;
#   3. ThreadSanitizer: every export called from many threads at once, also as
#      the first calls of a fresh process;
#   4. the libFuzzer targets (clang), each for a bounded number of runs from
#      the committed seed corpora, comparing every processor path;
#   5. Morvex.Native.dll for 32-bit Windows, cross-built, its whole suite run
#      under Wine, and its checksums compared with the .so's.
#
# Options: --quick runs stages 1 and 2 only; --no-windows leaves out stage 5.
# MORVEX_FUZZ_RUNS sets the runs per fuzz target (default 20000).
# Stage 5 needs Wine; when its tools cannot be installed the stage fails.
set -euo pipefail
cd "$(dirname "$0")/.."

quick=0
windows=${MORVEX_WINDOWS:-1}
for arg in "$@"; do
  case "$arg" in
    --quick) quick=1 ;;
    --windows) windows=1 ;;
    --no-windows) windows=0 ;;
    *) echo "usage: $0 [--quick] [--no-windows]" >&2; exit 2 ;;
  esac
done
((quick)) && windows=0

stage() { printf '\n==== %s (%s)\n' "$1" "$(date +%T)"; }
jobs=$(nproc)
bash tools/setup.sh --bindings $( ((quick)) || echo --fuzz)

stage "optimised build and tests"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
ninja -C build -j"$jobs"
# Both object libraries: the internal routines and the entry points, in the
# optimised build and in a debug build (where nothing is inlined unless forced).
bash tools/check_isa_leaks.sh build/CMakeFiles
cmake -S . -B build-debug -G Ninja -DCMAKE_BUILD_TYPE=Debug -DMORVEX_BUILD_TESTS=OFF \
  -DMORVEX_BUILD_BENCH=OFF -DMORVEX_BUILD_TOOLS=OFF >/dev/null
ninja -C build-debug -j"$jobs" MorvexNative
bash tools/check_isa_leaks.sh build-debug/CMakeFiles
ctest --test-dir build -j"$jobs" --output-on-failure
bash tools/test_bindings.sh build

stage "AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-san -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVEX_SANITIZE=ON \
  -DMORVEX_BUILD_BENCH=OFF
ninja -C build-san -j"$jobs"
ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 \
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  ctest --test-dir build-san -j"$jobs" --output-on-failure

((quick)) && exit 0

stage "ThreadSanitizer"
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVEX_TSAN=ON \
  -DMORVEX_BUILD_BENCH=OFF -DMORVEX_BUILD_TOOLS=OFF
ninja -C build-tsan -j"$jobs" tests_cold_start tests_checksum
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
build-tsan/tests/tests_cold_start
build-tsan/tests/tests_checksum --gtest_filter='Concurrency.*'
unset TSAN_OPTIONS

stage "fuzz targets"
bash tools/run_fuzzers.sh "${MORVEX_FUZZ_RUNS:-20000}"

if ((windows)); then
  stage "32-bit Windows DLL under Wine"
  if ! bash tools/setup.sh --windows; then
    echo "FAILED: the Windows tools could not be installed (see the set-up output above)" >&2
    exit 1
  fi
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
stage "all tests passed"
