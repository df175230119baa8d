"""premultiply / unpremultiply give the command-line tool's bytes (its own
C++ conversion code, compiled here), and image files round-trip through Pillow."""

import ctypes
import shutil
import subprocess

import numpy as np
import pytest

import morvex
from conftest import ROOT, image8, same

SHIM = r"""
#include <cstring>
#include "core/image.h"
using namespace morvex::cli;
extern "C" void premultiply_image(const std::uint16_t* rgba, int w, int h, unsigned max,
                                  std::uint8_t* out) {
  StraightPixels s;
  s.width = w; s.height = h; s.maxValue = max;
  s.rgba.assign(rgba, rgba + std::size_t(w) * h * 4);
  Image image = Premultiply(s);
  std::memcpy(out, image.pixels.data(), image.pixels.size());
}
extern "C" void unpremultiply_image(const std::uint8_t* bgra, int w, int h, std::uint8_t* out) {
  Image image(w, h);
  std::memcpy(image.pixels.data(), bgra, image.pixels.size());
  std::vector<std::uint8_t> rgba = Unpremultiply(image);
  std::memcpy(out, rgba.data(), rgba.size());
}
"""


@pytest.fixture(scope="module")
def tool(tmp_path_factory):
    """The tool's pixel-format code (apps/morvex/core/image.cpp) as a small library."""
    where = tmp_path_factory.mktemp("tool")
    (where / "shim.cpp").write_text(SHIM)
    compiler = shutil.which("g++") or shutil.which("c++")
    assert compiler, "a C++ compiler is needed to build the tool's conversion code"
    library = where / "tool_pixels.so"
    subprocess.run([compiler, "-std=c++20", "-O1", "-shared", "-fPIC",
                    "-I", str(ROOT / "apps" / "morvex"), str(where / "shim.cpp"),
                    str(ROOT / "apps" / "morvex" / "core" / "image.cpp"), "-o", str(library)], check=True)
    lib = ctypes.CDLL(str(library))
    lib.premultiply_image.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                                      ctypes.c_void_p]
    lib.unpremultiply_image.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int,
                                        ctypes.c_void_p]
    return lib


def every_pair(dtype=np.uint8):
    """A 256 x 256 RGBA image: row a has alpha a, and each colour channel
    takes every value 0..255 along the row (in three different orders)."""
    v = np.arange(256)
    rgba = np.empty((256, 256, 4), np.int64)
    rgba[..., 0] = v
    rgba[..., 1] = 255 - v
    rgba[..., 2] = (v * 37) % 256
    rgba[..., 3] = v[:, None]
    return rgba.astype(dtype)


def tool_premultiply(tool, rgba, max_value):
    h, w = rgba.shape[:2]
    wide = np.ascontiguousarray(rgba, dtype=np.uint16)
    out = np.empty((h, w, 4), np.uint8)
    tool.premultiply_image(wide.ctypes.data, w, h, max_value, out.ctypes.data)
    return out


def test_premultiply_all_pairs(tool):
    rgba = every_pair()
    same(morvex.premultiply(rgba), tool_premultiply(tool, rgba, 255))


def test_premultiply_sixteen_bits(tool, rng):
    rgba = rng.integers(0, 65536, (128, 97, 4)).astype(np.uint16)
    rgba[0, :4] = [[0, 0, 0, 0], [65535, 65535, 65535, 65535], [32767, 32768, 1, 65534],
                   [65535, 0, 257, 128]]
    same(morvex.premultiply(rgba), tool_premultiply(tool, rgba, 65535))


def test_unpremultiply_all_pairs(tool):
    # Every (value, alpha) pair, colours above alpha included.
    bgra = every_pair()
    want = np.empty_like(bgra)
    tool.unpremultiply_image(bgra.ctypes.data, 256, 256, want.ctypes.data)
    same(morvex.unpremultiply(bgra), want)
    # Views and out= as elsewhere.
    out = np.zeros((256, 256, 4), np.uint8)[::-1]
    assert morvex.unpremultiply(bgra[::-1], out=out) is out
    same(out, want[::-1])


def test_image_files(tmp_path, rng):
    pil = pytest.importorskip("PIL.Image")
    img = image8(rng, 20, 31)
    path = tmp_path / "picture.png"
    morvex.save_image(path, img)
    on_disk = np.asarray(pil.open(path).convert("RGBA"))
    same(on_disk, morvex.unpremultiply(img))
    same(morvex.load_image(path), morvex.premultiply(on_disk))
    # Opaque pixels survive the round trip exactly.
    img[..., 3] = 255
    morvex.save_image(path, img)
    same(morvex.load_image(path), img)
    same(morvex.from_pil(morvex.to_pil(img)), img)
