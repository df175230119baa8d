#!/usr/bin/env bash
# Installs the library into a scratch prefix, then builds and runs a consumer
# against it twice: through find_package(MorvexNative) and through pkg-config.
set -euo pipefail
build_dir=$1
source_dir=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

cmake --install "$build_dir" --prefix "$scratch/prefix" >/dev/null
test -f "$scratch/prefix/include/morvex/native.h"
ls "$scratch"/prefix/lib*/Morvex.Native.so >/dev/null

cmake -S "$source_dir" -B "$scratch/cmake-consumer" -G Ninja \
  -DCMAKE_PREFIX_PATH="$scratch/prefix" >/dev/null
cmake --build "$scratch/cmake-consumer" >/dev/null
"$scratch/cmake-consumer/consumer"

pc_dir=$(dirname "$(ls "$scratch"/prefix/lib*/pkgconfig/morvex-native.pc)")
flags=$(PKG_CONFIG_PATH="$pc_dir" pkg-config --cflags --libs morvex-native)
cc -o "$scratch/pc-consumer" "$source_dir/consumer.c" $flags
"$scratch/pc-consumer"
