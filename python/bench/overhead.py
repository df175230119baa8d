"""The cost of the Python layer: each function called through morvex against
the same export called in a loop from C on the same arrays (a small C timer
compiled here), on a 64x64 and a 4096x4096 image. Best of several repeats,
the ways of calling taking turns.

    python3 python/bench/overhead.py [--large-only | --small-only]

with the package installed (.venv/bin/python ...), or from a checkout: the
package's sources beside this directory and the library of build/ (or of
$MORVEX_NATIVE_LIB). Multiply and HslScaleOffset calls above a million
pixels run in row bands (so Ctrl-C stops them); the 4096x4096 rows show
what that costs.

Prints, per case, the export called in a loop from C, the bare ctypes call
from Python with precomputed arguments, the morvex call (into out=, with a
temp buffer given where there is one), the morvex call's cost above the C
loop and their ratio, and the morvex call with new arrays (out=None, temp
allocated); for the large image also the ratio of the C call to a memcpy of
the same plane timed in the same run."""

import ctypes
import os
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import numpy as np

ROOT = Path(__file__).resolve().parents[2]
try:
    import morvex
except ImportError:  # not installed: the sources and the built library of this checkout
    sys.path.insert(0, str(ROOT / "python"))
    os.environ.setdefault("MORVEX_NATIVE_LIB", str(ROOT / "build" / "Morvex.Native.so"))
    import morvex
from morvex import _native  # noqa: E402
TIMER = r"""
#include <string.h>
#include <time.h>
#include "morvex/native.h"
static double now(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec + t.tv_nsec * 1e-9;
}
#define LOOP(call) double t0 = now(); for (int i = 0; i < n; ++i) { call; } return (now() - t0) / n
double t_multiply(uint8_t* p, int s, int w, int h, int n) { LOOP(Multiply(p, s, w, h, 0.999)); }
double t_blur3x3(uint8_t* d, uint8_t* p, int s, int w, int h, int n) {
  LOOP(Blur3x3(d, s, p, s, w, h)); }
double t_to_float(float* d, int ds, uint8_t* p, int s, int w, int h, int n) {
  LOOP(ConvertARGBToARGBFloat(d, ds, p, s, w, h)); }
double t_blur(uint8_t* p, int s, int w, int h, float* temp, int n) {
  LOOP(GaussianBlur(p, s, 4, w, h, temp, w * h * 16, 3.0, 3.0, 0, 0)); }
double t_histogram(uint8_t* p, int s, int w, int h, int32_t* c, int n) {
  LOOP(Histogram(p, s, w, h, c, c + 256, c + 512, c + 768)); }
double t_memcpy(void* d, void* p, size_t bytes, int n) { LOOP(memcpy(d, p, bytes)); }
"""


def timer_library(where):
    source = Path(where) / "timer.c"
    source.write_text(TIMER)
    out = Path(where) / "timer.so"
    subprocess.run(["cc", "-O2", "-shared", "-fPIC", "-I", str(ROOT / "include"), str(source),
                    morvex.library_path, f"-Wl,-rpath,{os.path.dirname(morvex.library_path)}",
                    "-o", str(out)], check=True)
    lib = ctypes.CDLL(str(out))
    for name in ("t_multiply", "t_blur3x3", "t_to_float", "t_blur", "t_histogram", "t_memcpy"):
        getattr(lib, name).restype = ctypes.c_double
    return lib


def best(fn, n, repeats):
    times = []
    for _ in range(repeats):
        start = time.perf_counter()
        for _ in range(n):
            fn()
        times.append((time.perf_counter() - start) / n)
    return min(times)


def best_c(fn, args, n, repeats):
    return min(fn(*args, ctypes.c_int(n)) for _ in range(repeats))


def cases(timer, size):
    rng = np.random.default_rng(1)
    img = rng.integers(0, 256, (size, size, 4), dtype=np.uint8)
    dst = np.empty_like(img)
    fdst = np.empty(img.shape, np.float32)
    temp = np.empty(size * size * 4, np.float32)
    counts = np.empty((4, 256), np.int32)
    counts_out = tuple(np.empty((4, 256), np.int32))
    p, d, s = img.ctypes.data, dst.ctypes.data, img.strides[0]
    V = ctypes.c_void_p
    f = _native.functions
    t, c0 = temp.ctypes.data, counts.ctypes.data
    fd, fs = fdst.ctypes.data, fdst.strides[0]
    return [
        ("multiply (in place)", lambda: morvex.multiply(img, 0.999, out=img),
         lambda: morvex.multiply(img, 0.999),
         lambda: f["Multiply"](p, s, size, size, 0.999),
         timer.t_multiply, (V(p), s, size, size)),
        ("blur3x3", lambda: morvex.blur3x3(img, out=dst), lambda: morvex.blur3x3(img),
         lambda: f["Blur3x3"](d, s, p, s, size, size),
         timer.t_blur3x3, (V(d), V(p), s, size, size)),
        ("convert_argb_to_argb_float", lambda: morvex.convert_argb_to_argb_float(img, out=fdst),
         lambda: morvex.convert_argb_to_argb_float(img),
         lambda: f["ConvertARGBToARGBFloat"](fd, fs, p, s, size, size),
         timer.t_to_float, (V(fd), fs, V(p), s, size, size)),
        ("gaussian_blur (in place)", lambda: morvex.gaussian_blur(img, 3.0, temp=temp, out=img),
         lambda: morvex.gaussian_blur(img, 3.0),
         lambda: f["GaussianBlur"](p, s, 4, size, size, t, size * size * 16, 3.0, 3.0, None, None),
         timer.t_blur, (V(p), s, size, size, V(t))),
        ("histogram", lambda: morvex.histogram(img, out=counts_out), lambda: morvex.histogram(img),
         lambda: f["Histogram"](p, s, size, size, c0, c0 + 1024, c0 + 2048, c0 + 3072),
         timer.t_histogram, (V(p), s, size, size, V(c0))),
    ], (V(d), V(p), ctypes.c_size_t(img.nbytes)), (img, dst, fdst, temp, counts)


def main(argv):
    sizes = [64, 4096]
    if "--large-only" in argv:
        sizes = [4096]
    if "--small-only" in argv:
        sizes = [64]
    with tempfile.TemporaryDirectory() as where:
        timer = timer_library(where)
        for size in sizes:
            n, repeats = (20000, 7) if size == 64 else (2, 9)
            table, memcpy_args, _arrays = cases(timer, size)  # (arrays the C timer uses)
            memcpy = best_c(timer.t_memcpy, memcpy_args, n, repeats) if size > 64 else None
            print(f"\n{size}x{size}" + (f" (memcpy of the plane: {memcpy * 1e3:.2f} ms)"
                                          if memcpy else ""))
            print(f"  {'function':28s} {'C loop':>9s} {'ctypes':>9s} {'morvex':>9s} "
                  f"{'extra':>8s} {'ratio':>6s} {'new arrays':>10s}"
                  + ("  C/memcpy" if memcpy else ""))
            for name, into, fresh, raw, c_fn, args in table:
                into()
                # The three ways take turns, so a change in the machine's load
                # reaches all of them; the best of each counts.
                c_time = raw_time = py_time = float("inf")
                for _ in range(repeats):
                    c_time = min(c_time, best_c(c_fn, args, n, 1))
                    raw_time = min(raw_time, best(raw, n, 1))
                    py_time = min(py_time, best(into, n, 1))
                new_time = best(fresh, max(1, n // 4), repeats)
                unit, scale = ("us", 1e6) if size == 64 else ("ms", 1e3)
                print(f"  {name:28s} {c_time * scale:7.2f}{unit} {raw_time * scale:7.2f}{unit} "
                      f"{py_time * scale:7.2f}{unit} {(py_time - c_time) * 1e6:6.2f}us "
                      f"{py_time / c_time:6.3f} {new_time * scale:8.2f}{unit}"
                      + (f"  {c_time / memcpy:8.2f}" if memcpy else ""))


if __name__ == "__main__":
    main(sys.argv[1:])
