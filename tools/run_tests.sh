#!/usr/bin/env bash
# Sets up, builds and runs every test: an optimised build, then a build with
# AddressSanitizer and UndefinedBehaviorSanitizer that halts on the first report.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh

jobs=2
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
ninja -C build -j"$jobs"
bash tools/check_isa_leaks.sh build/CMakeFiles/morvex_objects.dir
ctest --test-dir build -j"$jobs" --output-on-failure

cmake -S . -B build-san -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVEX_SANITIZE=ON \
  -DMORVEX_BUILD_BENCH=OFF
ninja -C build-san -j"$jobs"
ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 \
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  ctest --test-dir build-san -j"$jobs" --output-on-failure
