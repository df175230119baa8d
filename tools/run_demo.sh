#!/usr/bin/env bash
# Sets up and builds the library, then runs the example host program, which
# loads build/Morvex.Native.so by file name and calls its exports.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
ninja -C build -j2 MorvexNative example_host
build/examples/example_host build/Morvex.Native.so
