"""Straight-alpha RGBA to and from the library's premultiplied BGRA, and
laying an image over a background colour, with the rounding of the morvex
command-line tool."""

from __future__ import annotations

from typing import Optional, Sequence, Tuple, Union

import numpy as np
from numpy.typing import NDArray

from . import _planes as P

Color = Union[str, Sequence[int]]
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


def _out(out, shape, dtype=P.U8):
    if out is None:
        return np.empty(shape, dtype)
    P._array(out, "out")
    P._dtype(out, "out", dtype)
    if out.shape != shape:
        raise ValueError(f"out must have shape {shape}, not {out.shape}")
    P._writable(out, "out")
    return out


def _as_rgba(rgba):
    """(h, w, 4) straight samples from grey (h, w), grey + alpha (h, w, 2),
    RGB (h, w, 3) or RGBA arrays; missing alpha is opaque."""
    if not isinstance(rgba, np.ndarray):
        raise TypeError(f"rgba must be a numpy array, not {type(rgba).__name__}")
    if rgba.dtype not in (np.uint8, np.uint16):
        raise TypeError(f"rgba must have dtype uint8 or uint16, not {rgba.dtype}")
    if rgba.ndim == 2:
        rgba = rgba[..., None]
    if rgba.ndim != 3 or not 1 <= rgba.shape[2] <= 4:
        raise ValueError(f"rgba must have shape (height, width) or (height, width, 1..4) "
                         f"(grey, grey+alpha, RGB, RGBA), not {rgba.shape}")
    channels = rgba.shape[2]
    if channels == 4:
        return rgba
    opaque = np.full(rgba.shape[:2] + (1,), np.iinfo(rgba.dtype).max, rgba.dtype)
    colour = rgba[..., :1].repeat(3, axis=2) if channels <= 2 else rgba
    alpha = rgba[..., 1:2] if channels == 2 else opaque
    return np.concatenate([colour, alpha], axis=2)


def _nearest_float32(num, den):
    """float32 of num / den (non-negative integer arrays, den odd) such that
    rounding it half to even gives num / den rounded to nearest: the exact
    quotient is never a half, so a float32 that lands on one is moved a step
    towards the quotient."""
    value = (num / den).astype(np.float32)
    half = np.floor(value) + np.float32(0.5)
    tie = value == half
    if tie.any():
        above = 2 * num > (2 * np.floor(value).astype(np.int64) + 1) * den
        toward = np.where(above, np.float32(np.inf), np.float32(-np.inf))
        value[tie] = np.nextafter(value[tie], toward[tie])
    return value


def from_rgba(rgba: NDArray, dtype: type = np.uint8,
              out: Optional[NDArray] = None) -> NDArray:
    """Straight-alpha RGBA (as Pillow and files hold it) to premultiplied BGRA.

    Every function of this package takes premultiplied BGRA: blue, green,
    red, alpha, colour multiplied by alpha. With 8-bit input each colour
    becomes ``c * a / 255`` rounded to nearest, the rounding of the ``morvex``
    tool; 16-bit input ``c * a * 255 / 65535**2`` and alpha ``a * 255 /
    65535``, rounded from the full precision.

    Parameters
    ----------
    rgba : ndarray of uint8 or uint16, shape (height, width[, channels])
        Straight samples: grey (2-D or 1 channel), grey + alpha, RGB or
        RGBA (0..255, or 0..65535 for uint16); without alpha, opaque.
    dtype : {numpy.uint8, numpy.float32}, default numpy.uint8
        float32 gives the premultiplied values unrounded, on the 0..255
        scale of the float exports (`gaussian_blur` of a float image, ...),
        keeping a 16-bit file's precision;
        ``convert_argb_float_to_argb`` of it gives exactly the uint8 result.
    out : ndarray, shape (height, width, 4), optional

    Returns
    -------
    ndarray, shape (height, width, 4)
        Premultiplied BGRA.

    Examples
    --------
    >>> import numpy as np, morvex
    >>> morvex.from_rgba(np.array([[[255, 0, 0, 128]]], np.uint8))[0, 0].tolist()
    [0, 0, 128, 128]
    >>> morvex.from_rgba(np.array([[[10, 20, 30]]], np.uint8))[0, 0].tolist()
    [30, 20, 10, 255]
    """
    dtype = np.dtype(dtype)
    if dtype not in (P.U8, P.F32):
        raise TypeError(f"dtype must be uint8 or float32, not {dtype}")
    rgba = _as_rgba(rgba)
    out = _out(out, rgba.shape, dtype)
    if dtype == P.U8 and rgba.dtype == np.uint8:
        alpha = rgba[..., 3].astype(np.intp) << 8
        table = _table("premultiply")
        for k in range(3):
            out[..., 2 - k] = table[alpha + rgba[..., k]]
        out[..., 3] = rgba[..., 3]
        return out
    top = np.int64(np.iinfo(rgba.dtype).max)
    wide = rgba.astype(np.int64)
    den = top * top
    for k in range(3):
        num = wide[..., k] * wide[..., 3] * 255
        out[..., 2 - k] = ((2 * num + den) // (2 * den) if dtype == P.U8
                           else _nearest_float32(num, den))
    num = wide[..., 3] * 255
    out[..., 3] = (2 * num + top) // (2 * top) if dtype == P.U8 else _nearest_float32(num, top)
    return out


def to_rgba(bgra: NDArray, out: Optional[NDArray[np.uint8]] = None) -> NDArray[np.uint8]:
    """Premultiplied BGRA to straight-alpha RGBA uint8, as files hold it.

    Each colour becomes ``p * 255 / a`` rounded to nearest (halves up) and
    limited to 255, 0 where alpha is 0: the ``morvex`` tool's rounding, so a
    premultiplied pixel survives `to_rgba` and `from_rgba` exactly. A
    float32 image is first rounded to bytes as `convert_argb_float_to_argb`
    does.

    Parameters
    ----------
    bgra : ndarray of uint8 or float32, shape (height, width, 4)
        Premultiplied BGRA.
    out : ndarray of uint8, shape (height, width, 4), optional

    Returns
    -------
    ndarray of uint8, shape (height, width, 4)
        Straight RGBA (``PIL.Image.fromarray(x, "RGBA")`` takes it).

    Examples
    --------
    >>> import numpy as np, morvex
    >>> morvex.to_rgba(np.array([[[0, 0, 128, 128]]], np.uint8))[0, 0].tolist()
    [255, 0, 0, 128]
    """
    if isinstance(bgra, np.ndarray) and bgra.dtype == P.F32:
        from ._pixel import convert_argb_float_to_argb
        bgra = convert_argb_float_to_argb(bgra)
    P.image(bgra, "bgra", P.U8)
    out = _out(out, bgra.shape)
    alpha = bgra[..., 3].astype(np.intp) << 8
    table = _table("unpremultiply")
    rgb = [table[alpha + bgra[..., 2 - k]] for k in range(3)]
    out[..., 3] = bgra[..., 3]
    for k in range(3):
        out[..., k] = rgb[k]
    return out


_NAMED = {"black": (0, 0, 0, 255), "white": (255, 255, 255, 255), "red": (255, 0, 0, 255),
          "green": (0, 255, 0, 255), "blue": (0, 0, 255, 255), "transparent": (0, 0, 0, 0)}


def parse_color(color: Color) -> Tuple[int, int, int, int]:
    """A straight RGBA colour from a name (black, white, red, green, blue,
    transparent), ``"#RRGGBB"``, ``"#RRGGBBAA"`` or 3 or 4 integers 0..255."""
    if isinstance(color, str):
        if color in _NAMED:
            return _NAMED[color]
        text = color[1:] if color.startswith("#") else color
        if len(text) in (6, 8):
            try:
                values = [int(text[k:k + 2], 16) for k in range(0, len(text), 2)]
            except ValueError:
                values = None
            if values is not None:
                return tuple(values + [255] * (4 - len(values)))
        raise ValueError(f"background {color!r} is not a colour (#RRGGBB, #RRGGBBAA, or one of "
                         f"{', '.join(_NAMED)})")
    values = list(color)
    if len(values) not in (3, 4) or not all(
            isinstance(v, (int, np.integer)) and 0 <= v <= 255 for v in values):
        raise ValueError(f"background {color!r} must be 3 or 4 integers 0..255 (straight RGB[A])")
    return tuple(int(v) for v in values) + (255,) * (4 - len(values))


def flatten(image: NDArray[np.uint8], background: Color = "white") -> NDArray[np.uint8]:
    """Lay an image over a background colour (premultiplied source-over).

    ``result = p + bg * (255 - alpha) / 255`` rounded to nearest, limited to
    255, with the background premultiplied; the ``morvex`` tool's
    ``--background``. An opaque background gives an opaque result.

    Parameters
    ----------
    image : ndarray of uint8, shape (height, width, 4)
        Premultiplied BGRA.
    background : str or sequence of int, default "white"
        A name (black, white, red, green, blue, transparent), ``"#RRGGBB"``,
        ``"#RRGGBBAA"`` or (r, g, b[, a]), straight.

    Returns
    -------
    ndarray of uint8, shape (height, width, 4)

    Examples
    --------
    >>> import numpy as np, morvex
    >>> half_red = np.array([[[0, 0, 128, 128]]], np.uint8)
    >>> morvex.flatten(half_red, "white")[0, 0].tolist()
    [127, 127, 255, 255]
    """
    P.image(image, "image", P.U8)
    r, g, b, a = parse_color(background)
    premultiply = _table("premultiply")
    bg = np.array([premultiply[a << 8 | c] for c in (b, g, r)] + [a], np.int64)
    cover = 255 - image[..., 3:4].astype(np.int64)
    return np.minimum(image + (2 * bg * cover + 255) // 510, 255).astype(np.uint8)


# The names of earlier versions.
premultiply = from_rgba
unpremultiply = to_rgba
