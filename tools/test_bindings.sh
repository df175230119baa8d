#!/usr/bin/env bash
# Tests the Python package and the .NET declarations against a built library
# (BUILD_DIR/Morvex.Native.so, default build):
#   - python/ is installed with pip into a virtual environment over Debian's
#     numpy, pytest and Pillow, with BUILD_DIR's library, and its tests and
#     those of the declaration check (tests/bindings) run against the
#     installed package; they compare the photo functions with BUILD_DIR's
#     morvex tool, build the package from source (CMake) in fresh
#     environments, and run morvex.dask's batches on a LocalCluster of two
#     worker processes on loopback (started and stopped by the tests);
#   - bindings/dotnet/MorvexNative.cs is compiled with a C# program that calls
#     every export on pinned arrays under Mono, and its transcript must equal,
#     byte for byte, that of the same calls made from C;
#   - every C# declaration is compared with include/morvex/native.h.
# tools/setup.sh --bindings installs what this needs.
#
# Usage: tools/test_bindings.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:-build}" && pwd)
lib=$build/Morvex.Native.so
[ -f "$lib" ] || { echo "$lib not found: build the library first" >&2; exit 1; }
# Debian's interpreter, the one its python3-* packages serve (a python3
# earlier on PATH may be another build without them).
python=/usr/bin/python3
[ -x "$python" ] || python=$(command -v python3)

echo "-- Python package"
venv=$build/python-venv
[ -x "$venv/bin/python" ] || "$python" -m venv --system-site-packages "$venv"
# Built from a copy, so the source tree gets no build files.
rm -rf "$build/python-src"
cp -r python "$build/python-src"
MORVEX_NATIVE_LIB=$lib "$venv/bin/python" -m pip install -q --no-build-isolation --no-deps \
  --no-index --no-cache-dir --force-reinstall "$build/python-src"
"$venv/bin/python" -c 'import morvex; print("morvex loads", morvex.library_path)'
# morvex.dask is optional for users, not for this test.
"$venv/bin/python" -c 'import dask.array, distributed' 2>/dev/null ||
  { echo "Dask is missing: run tools/setup.sh --bindings (python3-dask, python3-distributed)" >&2
    exit 1; }
MORVEX_TOOL=$build/morvex "$venv/bin/python" -m pytest -q -p no:cacheprovider python/tests \
  tests/bindings

echo "-- .NET declarations under Mono"
out=$build/dotnet
mkdir -p "$out"
cc -std=c11 -O1 -Wall -Wextra -Werror -Iinclude tests/dotnet/native_calls.c "$lib" \
  -Wl,-rpath,"$build" -o "$out/native_calls"
mcs -unsafe -warnaserror -nologo -out:"$out/MorvexNativeCalls.exe" \
  bindings/dotnet/MorvexNative.cs tests/dotnet/MorvexNativeCalls.cs
# The declarations name Morvex.Native.dll; Mono maps it to the .so.
cat >"$out/MorvexNativeCalls.exe.config" <<CONFIG
<configuration>
  <dllmap dll="Morvex.Native.dll" target="$lib"/>
</configuration>
CONFIG
status=0
"$out/native_calls" >"$out/c.txt" 2>"$out/c.err" || status=$?
mono "$out/MorvexNativeCalls.exe" >"$out/cs.txt" 2>"$out/cs.err" || status=$?
if ((status)) || ! cmp -s "$out/c.txt" "$out/cs.txt" || [ ! -s "$out/c.txt" ]; then
  cat "$out/c.err" "$out/cs.err" >&2
  diff "$out/c.txt" "$out/cs.txt" | head -n 20 >&2 || true
  echo "FAILED: the calls through MorvexNative.cs differ from the same calls from C" >&2
  exit 1
fi
echo "$(grep -c ' ret=' "$out/c.txt") calls through MorvexNative.cs gave the same bytes as from C"
"$python" tools/native_header.py
