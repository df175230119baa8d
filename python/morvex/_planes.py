"""Checks that turn numpy arrays and Python numbers into the library's plane
arguments, and the rules for results (new arrays, `out=`, overlap)."""

from __future__ import annotations

import math
import numbers
import operator
from functools import partial
from typing import Any, Optional, Tuple

import numpy as np

U8 = np.dtype(np.uint8)
I32 = np.dtype(np.int32)
F32 = np.dtype(np.float32)
F64 = np.dtype(np.float64)
INT32_MIN = -(2**31)
INT32_MAX = 2**31 - 1
UINT32_MAX = 2**32 - 1

_DTYPE_WORDS = {U8: "uint8", F32: "float32", I32: "int32"}


def fits_int32(value):
    return INT32_MIN <= value <= INT32_MAX


# ---- numbers ----

def int32(value, name):
    try:
        value = operator.index(value)
    except TypeError:
        raise TypeError(f"{name} must be an integer, not {type(value).__name__}") from None
    if not INT32_MIN <= value <= INT32_MAX:
        raise ValueError(f"{name} must fit a signed 32-bit integer, got {value}")
    return value


def uint32(value, name):
    try:
        value = operator.index(value)
    except TypeError:
        raise TypeError(f"{name} must be an integer, not {type(value).__name__}") from None
    if not 0 <= value <= UINT32_MAX:
        raise ValueError(f"{name} must fit an unsigned 32-bit integer, got {value}")
    return value


def real(value, name):
    """A double argument: any real number (NaN and infinities pass through)."""
    if type(value) is float:
        return value
    if isinstance(value, numbers.Real):
        try:
            return float(value)
        except OverflowError:
            raise ValueError(f"{name} is too large for a double, got {value}") from None
    raise TypeError(f"{name} must be a real number, not {type(value).__name__}")


FLOAT32_MAX = float(np.finfo(np.float32).max)


def _words(low, high):
    if low is None and high is None:
        return "a finite number"
    if high is None:
        return f"a number of {low:g} or more"
    if low is None:
        return f"a number of {high:g} or less"
    return f"a number from {low:g} to {high:g}"


def number(value, name, low=None, high=None):
    """A real argument that must be finite and, when given, within low..high
    (inclusive): anything else raises ValueError naming the range."""
    value = real(value, name)
    if not (math.isfinite(value) and (low is None or value >= low)
            and (high is None or value <= high)):
        raise ValueError(f"{name} must be {_words(low, high)}, got {value!r}")
    return value


def number32(value, name, low=None, high=None):
    """As number, for the exports' 32-bit float arguments: also within the
    float32 range."""
    value = number(value, name, low, high)
    if abs(value) > FLOAT32_MAX:
        raise ValueError(f"{name} must fit a 32-bit float (magnitude up to {FLOAT32_MAX:.4g}), "
                         f"got {value!r}")
    return value


def flag(value, name):
    """A yes/no argument, passed to the library as 1 or 0."""
    if isinstance(value, (bool, np.bool_)):
        return 1 if value else 0
    if isinstance(value, numbers.Integral):
        return 1 if value else 0
    raise TypeError(f"{name} must be a bool, not {type(value).__name__}")


# ---- arrays ----

def _array(arr, name):
    if not isinstance(arr, np.ndarray):
        raise TypeError(f"{name} must be a numpy array, not {type(arr).__name__}")


def _dtype(arr, name, dtype):
    if arr.dtype != dtype:
        raise TypeError(f"{name} must have dtype {_DTYPE_WORDS.get(dtype, dtype)}, not {arr.dtype}")


def _writable(arr, name):
    if not arr.flags.writeable:
        raise ValueError(f"{name} is read-only")


def _row_stride(arr, name, height, row_bytes):
    """The stride the library gets: the array's row stride, or for a single
    row (whose stride numpy leaves arbitrary) the row's own size."""
    if height > 1:
        stride = arr.strides[0]
        if not fits_int32(stride):
            raise ValueError(f"{name}: the row stride {stride} does not fit 32 bits")
        return stride
    return row_bytes if row_bytes <= INT32_MAX else 0


def _size(name, height, width):
    if height > INT32_MAX or width > INT32_MAX:
        raise ValueError(f"{name}: {height}x{width} does not fit the library's 32-bit sizes")


def image(arr, name, dtype, out=False):
    """(address, stride, width, height) of an (height, width, 4) image whose
    pixels are packed; rows may be spaced by any stride, negative included.
    `out` also requires a writable array whose rows do not overlap."""
    if not isinstance(arr, np.ndarray):
        raise TypeError(f"{name} must be a numpy array, not {type(arr).__name__}")
    if arr.dtype != dtype:
        _dtype(arr, name, dtype)
    shape = arr.shape
    if len(shape) != 3 or shape[2] != 4:
        raise ValueError(f"{name} must have shape (height, width, 4), not {shape}")
    height, width, _ = shape
    item = dtype.itemsize
    strides = arr.strides
    if height == 0 or width == 0:
        return _empty(arr, name, out, width * 4 * item, width, height)
    if strides[2] != item or (width > 1 and strides[1] != 4 * item):
        raise ValueError(f"{name}: the pixels of each row must be packed (strides (any, "
                         f"{4 * item}, {item})), not strides {strides}")
    if height > INT32_MAX or width > INT32_MAX:
        _size(name, height, width)
    row_bytes = width * 4 * item
    if height > 1:
        stride = strides[0]
        if not INT32_MIN <= stride <= INT32_MAX:
            raise ValueError(f"{name}: the row stride {stride} does not fit 32 bits")
    else:
        stride = row_bytes if row_bytes <= INT32_MAX else 0
    if out:
        if not arr.flags.writeable:
            raise ValueError(f"{name} is read-only")
        if height > 1 and abs(stride) < row_bytes:
            raise ValueError(f"{name}: its rows overlap (stride {stride}, {row_bytes} bytes a row)")
    return arr.ctypes.data, stride, width, height


def _empty(arr, name, out, row_bytes, width, height):
    """The plane of an array with no elements: its strides mean nothing (numpy
    gives (0, 0, 0) to np.zeros((0, 5, 4))), and the library, given a height
    or width of 0, touches no memory."""
    _size(name, height, width)
    if out:
        _writable(arr, name)
    return arr.ctypes.data, row_bytes if row_bytes <= INT32_MAX else 0, width, height


def mask(arr, name, dtype, out=False):
    """(address, stride, width, height) of a 2-D mask whose elements are packed."""
    _array(arr, name)
    _dtype(arr, name, dtype)
    if arr.ndim != 2:
        raise ValueError(f"{name} must be a 2-D mask of shape (height, width), not {arr.shape}")
    height, width = arr.shape
    item = arr.itemsize
    if arr.size == 0:
        return _empty(arr, name, out, width * item, width, height)
    if width > 1 and arr.strides[1] != item:
        raise ValueError(f"{name}: the elements of each row must be packed (strides (any, "
                         f"{item})), not strides {arr.strides}")
    _size(name, height, width)
    row_bytes = width * item
    stride = _row_stride(arr, name, height, row_bytes)
    if out:
        _writable(arr, name)
        if height > 1 and abs(stride) < row_bytes:
            raise ValueError(f"{name}: its rows overlap (stride {stride}, {row_bytes} bytes a row)")
    return arr.ctypes.data, stride, width, height


def byte_plane(arr, name, out=False):
    """(address, stride, step, width, height) of a 2-D uint8 plane with any
    element step: a mask, or one channel of an image such as image[..., 3]."""
    _array(arr, name)
    _dtype(arr, name, U8)
    if arr.ndim != 2:
        raise ValueError(f"{name} must be a 2-D uint8 plane of shape (height, width), "
                         f"not {arr.shape}")
    height, width = arr.shape
    _size(name, height, width)
    if arr.size == 0:
        return _empty(arr, name, out, width, width, height)[:2] + (1, width, height)
    step = arr.strides[1] if width > 1 else 1
    if not fits_int32(step):
        raise ValueError(f"{name}: the element step {step} does not fit 32 bits")
    stride = _row_stride(arr, name, height, abs(step) * width)
    if out:
        _writable(arr, name)
        if not _elements_apart(height, stride, width, step):
            raise ValueError(f"{name}: its elements overlap (strides {arr.strides})")
    return arr.ctypes.data, stride, step, width, height


def _elements_apart(height, stride, width, step):
    """True when no two elements of the plane share a byte: the smaller
    stride is at least one byte and the larger one steps over all the
    elements along the smaller (a sufficient condition)."""
    dims = sorted((abs(s), n) for s, n in ((step, width), (stride, height)) if n > 1)
    if not dims:
        return True
    if dims[0][0] < 1:
        return False
    return len(dims) == 1 or dims[1][0] >= dims[0][0] * dims[0][1]


# The plane checks the exports use, as functions of (array, name).
IMAGE_U8 = partial(image, dtype=U8)
IMAGE_F32 = partial(image, dtype=F32)
MASK_F32 = partial(mask, dtype=F32)
OUT_IMAGE_U8 = partial(image, dtype=U8, out=True)
OUT_IMAGE_F32 = partial(image, dtype=F32, out=True)
OUT_MASK_F32 = partial(mask, dtype=F32, out=True)
OUT_BYTES = partial(byte_plane, out=True)


def named(value, names, name):
    """An integer argument that may also be given by one of `names`."""
    if isinstance(value, str):
        if value not in names:
            raise ValueError(f"{name} must be one of {', '.join(names)}, not {value!r}")
        return names[value]
    return int32(value, name)


def table(arr, name, shape, dtype):
    """A lookup table as a packed array of `shape`. Integer tables of another
    dtype are accepted when every entry fits `dtype`; float tables take any
    real values, converted to `dtype`."""
    if not isinstance(arr, np.ndarray):
        arr = np.asarray(arr)
    if arr.shape != shape:
        raise ValueError(f"{name} must have shape {shape}, not {arr.shape}")
    if arr.dtype != dtype:
        if dtype.kind == "u" and arr.dtype.kind in "ui":
            info = np.iinfo(dtype)
            if arr.size and (arr.min() < info.min or arr.max() > info.max):
                raise ValueError(f"{name}: entries must lie in {info.min}..{info.max}")
        elif dtype.kind == "f" and arr.dtype.kind in "fui":
            pass
        else:
            raise TypeError(f"{name} must have dtype {_DTYPE_WORDS.get(dtype, dtype)}, "
                            f"not {arr.dtype}")
        arr = arr.astype(dtype)
    return np.ascontiguousarray(arr)


def sigmas(values, name, count):
    """An optional array of per-row or per-column sigmas: None, or `count` reals."""
    if values is None:
        return None
    try:
        arr = np.ascontiguousarray(values, dtype=F64)
    except (TypeError, ValueError):
        raise TypeError(f"{name} must be None or an array of real numbers") from None
    if arr.shape != (count,):
        raise ValueError(f"{name} must hold {count} values (shape ({count},)), "
                         f"not shape {arr.shape}")
    return arr


# ---- results ----

def same_plane(a, b):
    return (a.shape == b.shape and a.strides == b.strides and a.dtype == b.dtype
            and a.ctypes.data == b.ctypes.data)


def result(out, shape, dtype, name="out"):
    """A new array for the result, or `out` after checking its dtype and shape."""
    if out is None:
        return np.empty(shape, dtype)
    _array(out, name)
    _dtype(out, name, dtype)
    if out.shape != shape:
        raise ValueError(f"{name} must have shape {shape}, not {out.shape}")
    return out


def into(src, src_plane_of, out, out_plane_of, dtype=None, shape=None, same_ok=False):
    """For an export that writes a plane apart from its source: the result
    (a new array, or `out` checked), its plane, the source to pass (src, or
    a copy the caller must keep referenced until the call returns) and its
    plane. The result
    has src's dtype and shape unless `dtype` or `shape` (a function of src's
    shape) say otherwise; src is copied first when it shares memory with the
    result, unless `same_ok` and it is the very plane."""
    src_plane = src_plane_of(src, "src")
    out = result(out, src.shape if shape is None else shape(src.shape),
                 src.dtype if dtype is None else dtype)
    out_plane = out_plane_of(out, "out")
    copy = apart(src, out, False, same_ok)
    if copy is not src:
        src_plane = src_plane_of(copy, "src")
    return out, out_plane, copy, src_plane


def target(primary, out, name="out"):
    """For an export that works in place on `primary`: the array it works on
    and whether primary must still be copied into it (see finish).
    `out=None` gives a new array; `out=primary` works in place."""
    if out is None:
        return np.empty(primary.shape, primary.dtype), True
    _array(out, name)
    _dtype(out, name, primary.dtype)
    if out.shape != primary.shape:
        raise ValueError(f"{name} must have shape {primary.shape}, not {out.shape}")
    if out is primary or same_plane(out, primary):
        return out, False
    return out, True


def apart(arr, work, pending, same_ok=False):
    """`arr` itself, or a copy of it when it shares memory with the array the
    export writes (`work`), so results are as if nothing overlapped. An input
    that is the very plane written may stay when the export allows that and
    nothing is copied into `work` first."""
    if arr is None or not np.may_share_memory(arr, work):
        return arr
    if same_ok and not pending and same_plane(arr, work):
        return arr
    return arr.copy()


def finish(work, primary, pending):
    if pending:
        np.copyto(work, primary)
