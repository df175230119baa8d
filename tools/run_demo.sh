#!/usr/bin/env bash
# Sets up and builds the library and the morvex tool, runs the example host
# program (which loads build/Morvex.Native.so by file name and calls its
# exports), then the tool's demo, which writes its PNGs to out/demo (or to the
# directory given as the first argument).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
ninja -C build -j"$(nproc)" MorvexNative example_host morvex
build/examples/example_host build/Morvex.Native.so
build/morvex demo "${1:-out/demo}" -y
