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
#      under Wine, and its checksums compared with the .so's;
#   6. the same for 64-bit Windows, and the runtimes/<rid>/native/ folders
#      of a .NET package from the install step of the three builds.
# It ends with the processor paths (instruction-set levels) each binary's tests
# ran, and fails when a level a build holds kernels for ran in none of them,
# unless MORVEX_MACHINE_LACKS names that level ("avx512 avx512vbmi", say, on a
# processor without AVX-512).
#
# Options: --quick runs stages 1 and 2 only; --no-windows leaves out stages 5 and 6.
# MORVEX_FUZZ_RUNS sets the runs per fuzz target (default 20000).
# Stages 5 and 6 need Wine; when its tools cannot be installed they fail.
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

stage_names=() stage_seconds=()
stage() {
  printf '\n==== %s (%s)\n' "$1" "$(date +%T)"
  stage_names+=("$1") stage_seconds+=("$SECONDS")
}
jobs=$(nproc)
levels=(scalar sse2 avx2 avx512 avx512vbmi)

# Each test run of a binary records the levels it ran in BUILD/paths
# (tests/support/cpu_paths.h); path_logs lists "binary=directory".
path_logs=()
record_paths() {
  rm -rf "$2/paths"
  mkdir -p "$2/paths"
  export MORVEX_PATH_LOG=$PWD/$2/paths
  path_logs+=("$1=$2/paths")
}

# Prints the stage times and the levels each binary's tests ran; fails when a
# level a build holds ran in no test and MORVEX_MACHINE_LACKS does not name it.
finish() {
  local status=0 i entry dir level built ran line
  printf '\n==== stage times\n'
  stage_seconds+=("$SECONDS")
  for i in "${!stage_names[@]}"; do
    printf '  %-48s %4d s\n' "${stage_names[i]}" $((stage_seconds[i + 1] - stage_seconds[i]))
  done
  printf '\n==== processor paths covered\n'
  for entry in "${path_logs[@]}"; do
    dir=${entry#*=}
    built=$(cat "$dir"/paths-* 2>/dev/null | tr -d '\r' | awk '$1 == "built" {print $2}' | sort -u)
    ran=$(cat "$dir"/paths-* 2>/dev/null | tr -d '\r' | awk '$1 == "ran" {print $2}' | sort -u)
    line=""
    for level in "${levels[@]}"; do
      grep -qx "$level" <<<"$built" || continue
      if grep -qx "$level" <<<"$ran"; then
        line+=" $level"
      elif [[ " ${MORVEX_MACHINE_LACKS:-} " == *" $level "* ]]; then
        line+=" ($level: not on this machine)"
      else
        line+=" ($level: NOT RUN)"
        status=1
      fi
    done
    [ -n "$line" ] || { line=" no test recorded its paths"; status=1; }
    printf '  %-26s%s\n' "${entry%%=*}:" "$line"
  done
  if ((status)); then
    echo "FAILED: a binary's tests left a level its build holds unrun, or recorded no paths" \
      "(MORVEX_MACHINE_LACKS=\"LEVEL ...\" names levels this processor lacks)" >&2
    exit 1
  fi
  stage "all tests passed"
}

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
record_paths "Morvex.Native.so" build
ctest --test-dir build -j"$jobs" --output-on-failure
bash tools/test_bindings.sh build

stage "AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-san -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVEX_SANITIZE=ON \
  -DMORVEX_BUILD_BENCH=OFF
ninja -C build-san -j"$jobs"
record_paths "sanitizer build (.so)" build-san
ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 \
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  ctest --test-dir build-san -j"$jobs" --output-on-failure
unset MORVEX_PATH_LOG

((quick)) && { finish; exit 0; }

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

# Cross-builds one Windows DLL with its tests (BUILD, TOOLCHAIN) and starts a
# Wine server of its own prefix (LOADER: Wine's loader for the DLL's bitness)
# for the rest of the stage, with the prefix's services started here rather
# than by the first test program (they would hold its output open).
windows_build() {
  cmake -S . -B "$1" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$2" -DCMAKE_BUILD_TYPE=Release
  ninja -C "$1" -j"$jobs"
  export WINEPREFIX=$PWD/$1/wineprefix WINE=$3
  [ -f "$WINEPREFIX/system.reg" ] || "$WINE" wineboot -i >/dev/null 2>&1
  wineserver -k 2>/dev/null || true
  wineserver -p 60
  trap 'wineserver -k 2>/dev/null || true' EXIT
  "$WINE" wineboot >/dev/null 2>&1
}
windows_done() {
  wineserver -k 2>/dev/null || true
  trap - EXIT
  unset WINEPREFIX WINE MORVEX_PATH_LOG
}

if ((windows)); then
  stage "32-bit Windows DLL under Wine"
  if ! bash tools/setup.sh --windows; then
    echo "FAILED: the Windows tools could not be installed (see the set-up output above)" >&2
    exit 1
  fi
  export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  windows_build build-win cmake/toolchain-i686-mingw.cmake wine
  record_paths "32-bit Morvex.Native.dll" build-win
  if [ "$(head -n 1 /proc/sys/fs/binfmt_misc/qemu-i386 2>/dev/null)" = enabled ]; then
    # i386 programs run under QEMU's user-mode emulator here (see setup.sh).
    # Its AVX emulation reads 32 bytes for some 16-byte memory operands
    # (vinsertf128 from memory) and so faults beside the tests' guard pages:
    # the whole suite runs on an emulated processor without AVX (the scalar
    # and SSE2 paths), the checksum comparison on one with AVX2 (the DLL's
    # widest level, see frame/dispatch.h).
    QEMU_CPU=Nehalem ctest --test-dir build-win -j"$jobs" --output-on-failure
    QEMU_CPU=max python3 tools/checksum_diff build/tests/tests_checksum build-win/bin/tests_checksum.exe
  else
    ctest --test-dir build-win -j"$jobs" --output-on-failure
    python3 tools/checksum_diff build/tests/tests_checksum build-win/bin/tests_checksum.exe
  fi
  windows_done

  # Wine's 64-bit loader is a 64-bit Linux program: no emulator, every path.
  stage "64-bit Windows DLL under Wine"
  windows_build build-win64 cmake/toolchain-x86_64-mingw.cmake /usr/lib/wine/wine64
  record_paths "64-bit Morvex.Native.dll" build-win64
  ctest --test-dir build-win64 -j"$jobs" --output-on-failure
  python3 tools/checksum_diff build/tests/tests_checksum build-win64/bin/tests_checksum.exe
  windows_done

  # The folder layout a .NET package ships, from each build's install step.
  layout=$(mktemp -d)
  for build in build build-win build-win64; do
    cmake --install "$build" --component runtimes --prefix "$layout" >/dev/null
  done
  for entry in win-x86/native/Morvex.Native.dll=pei-i386 win-x64/native/Morvex.Native.dll=pei-x86-64 \
               linux-x64/native/Morvex.Native.so=elf64-x86-64; do
    x86_64-w64-mingw32-objdump -f "$layout/runtimes/${entry%=*}" | grep -q "file format ${entry#*=}$" ||
      { echo "FAILED: runtimes/${entry%=*} is not ${entry#*=}" >&2; exit 1; }
    echo "runtimes/${entry%=*}: ${entry#*=}"
  done
  rm -rf "$layout"
fi
finish
