"""Shared fixtures: the C library called directly (typed from the public
header, not from the package), seeded random planes, and array layouts."""

import ctypes
import os
import sys
import zlib
from pathlib import Path

import numpy as np
import pytest

import morvex

ROOT = Path(__file__).resolve().parents[2]
HEADER = ROOT / "include" / "morvex" / "native.h"
sys.path.insert(0, str(ROOT / "tools"))
import native_header  # noqa: E402

# The morvex tool the package is compared with: $MORVEX_TOOL, else the build's.
TOOL = os.environ.get("MORVEX_TOOL") or str(ROOT / "build" / "morvex")
PHOTO = "/usr/lib/python3/dist-packages/skimage/data/astronaut.png"


def skip_without_tool():
    """Skips the calling test module when there is no tool (an error when
    $MORVEX_TOOL names one that is not there)."""
    if not os.path.exists(TOOL):
        if os.environ.get("MORVEX_TOOL"):
            raise RuntimeError(f"MORVEX_TOOL={TOOL} does not exist")
        pytest.skip(f"no morvex tool at {TOOL}", allow_module_level=True)

_CTYPES = {
    ("void", False): None, ("pointer", None): ctypes.c_void_p,
    ("int8", False): ctypes.c_uint8, ("int32", False): ctypes.c_uint32,
    ("int32", True): ctypes.c_int32, ("float32", True): ctypes.c_float,
    ("float64", True): ctypes.c_double,
}


def _ctype(arg):
    return _CTYPES[(arg.abi, arg.signed)]


@pytest.fixture(scope="session")
def c():
    """The library the package loaded, with every export typed from native.h."""
    lib = ctypes.CDLL(morvex.library_path)
    typed = {}
    for proto in native_header.parse_header(HEADER.read_text()):
        fn = getattr(lib, proto.name)
        fn.restype = _ctype(proto.result)
        fn.argtypes = [_ctype(a) for a in proto.arguments]
        typed[proto.name] = fn
    return type("C", (), typed)


@pytest.fixture
def rng(request):
    return np.random.default_rng(zlib.crc32(request.node.name.encode()))


def image8(rng, height=6, width=11):
    """Random premultiplied BGRA bytes (colour never above alpha)."""
    alpha = rng.integers(0, 256, (height, width, 1))
    colour = (rng.random((height, width, 3)) * (alpha + 1)).astype(np.int64)
    return np.concatenate([np.minimum(colour, alpha), alpha], axis=2).astype(np.uint8)


def bytes8(rng, shape):
    return rng.integers(0, 256, shape, dtype=np.uint8)


def floats(rng, shape):
    """float32 values on 0..255 in quarter steps, with some outside it."""
    return (rng.integers(-40, 1100, shape) / 4).astype(np.float32)


def addr(a):
    return a.ctypes.data


LAYOUTS = ("packed", "bottom_up", "padded", "padded_bottom_up")


def place(a, kind):
    """A view holding a's values laid out as `kind`: packed rows, rows in
    reverse memory order (negative stride), rows spaced apart with other
    data between, or both; "channel" puts a 2-D uint8 plane into one channel
    of an image."""
    if kind == "packed":
        return a.copy()
    if kind == "bottom_up":
        return a[::-1].copy()[::-1]
    if kind in ("padded", "padded_bottom_up"):
        h, w = a.shape[:2]
        big = np.full((2 * h + 1, w + 3) + a.shape[2:], 0x5A, a.dtype)
        view = big[1::2, 2:2 + w]
        if kind == "padded_bottom_up":
            view = view[::-1]
        view[...] = a
        return view
    if kind == "channel":
        big = np.full(a.shape + (4,), 0x5A, np.uint8)
        view = big[..., 2]
        view[...] = a
        return view
    raise ValueError(kind)


def same(got, expected):
    """Equal shape, dtype and bits (NaNs and signed zeros included)."""
    assert got.shape == expected.shape and got.dtype == expected.dtype
    g = np.ascontiguousarray(got).view(np.uint8)
    e = np.ascontiguousarray(expected).view(np.uint8)
    if not np.array_equal(g, e):
        where = np.argwhere(np.ascontiguousarray(got) != np.ascontiguousarray(expected))
        raise AssertionError(f"results differ at {len(where)} places, first {where[:3].tolist()}")
