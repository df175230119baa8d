"""Straight-alpha RGBA to and from the library's premultiplied BGRA, with
the command-line tool's rounding."""

import numpy as np

from . import _planes as P

_tables = {}


def _table(kind):
    """256 x 256 tables indexed [alpha, value], computed once."""
    table = _tables.get(kind)
    if table is None:
        a = np.arange(256, dtype=np.int64)[:, None]
        v = np.arange(256, dtype=np.int64)[None, :]
        if kind == "premultiply":
            # v * a / 255 rounded to nearest (the divisor is odd: no ties).
            table = (2 * v * a * 255 + 65025) // (2 * 65025)
        else:
            # v * 255 / a rounded to nearest, halves up, at most 255; 0 for a = 0.
            table = np.where(a == 0, 0, np.minimum((2 * v * 255 + a) // np.maximum(2 * a, 1), 255))
        table = np.ascontiguousarray(table, dtype=np.uint8).reshape(-1)
        _tables[kind] = table
    return table


def _rgba(arr, name, dtypes):
    if not isinstance(arr, np.ndarray):
        raise TypeError(f"{name} must be a numpy array, not {type(arr).__name__}")
    if arr.dtype not in dtypes:
        raise TypeError(f"{name} must have dtype {' or '.join(str(np.dtype(d)) for d in dtypes)}, "
                        f"not {arr.dtype}")
    if arr.ndim != 3 or arr.shape[2] != 4:
        raise ValueError(f"{name} must have shape (height, width, 4), not {arr.shape}")


def _out(out, shape):
    if out is None:
        return np.empty(shape, np.uint8)
    P._array(out, "out")
    P._dtype(out, "out", P.U8)
    if out.shape != shape:
        raise ValueError(f"out must have shape {shape}, not {out.shape}")
    P._writable(out, "out")
    return out


def _through_table(kind, pixels):
    """Bytes 0..2 of each pixel through the [alpha, value] table, in reverse
    order (RGB to BGR and back); byte 3, the alpha, kept."""
    alpha = pixels[..., 3].astype(np.intp) << 8
    table = _table(kind)
    result = np.empty(pixels.shape, np.uint8)
    for k in range(3):
        result[..., 2 - k] = table[alpha + pixels[..., k]]
    result[..., 3] = pixels[..., 3]
    return result


def premultiply(rgba, out=None):
    """Straight RGBA (uint8, or uint16 on 0..65535) to premultiplied BGRA
    uint8: each colour is c * a * 255 / max^2 rounded to nearest, alpha
    a * 255 / max rounded to nearest (max = 255 or 65535)."""
    _rgba(rgba, "rgba", (np.uint8, np.uint16))
    out = _out(out, rgba.shape)
    if rgba.dtype == np.uint8:
        bgra = _through_table("premultiply", rgba)
    else:
        wide = rgba.astype(np.uint64)
        den = np.uint64(65535 * 65535)
        bgra = np.empty(rgba.shape, np.uint8)
        for k in range(3):
            num = wide[..., k] * wide[..., 3] * np.uint64(255)
            bgra[..., 2 - k] = (2 * num + den) // (2 * den)
        bgra[..., 3] = (wide[..., 3] * np.uint64(510) + np.uint64(65535)) // np.uint64(131070)
    np.copyto(out, bgra)
    return out


def unpremultiply(bgra, out=None):
    """Premultiplied BGRA uint8 to straight RGBA uint8: each colour p * 255 / a
    rounded to nearest (halves up) and limited to 255, 0 where alpha is 0."""
    _rgba(bgra, "bgra", (np.uint8,))
    out = _out(out, bgra.shape)
    np.copyto(out, _through_table("unpremultiply", bgra))
    return out
