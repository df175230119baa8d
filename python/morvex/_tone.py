"""Desaturation, histograms and HSL adjustments."""

from __future__ import annotations

from collections import namedtuple
from typing import Optional, Sequence

import numpy as np
from numpy.typing import NDArray

from . import _planes as P
from ._native import call, functions
from ._pixel import _inplace_image

Histogram = namedtuple("Histogram", "red green blue luma largest")
Histogram.__doc__ = ("Counts of the red, green, blue and luminance values (int32 arrays of 256) "
                     "and the largest count.")
_Histogram = functions["Histogram"]


def desaturate(image: NDArray[np.uint8], also_alpha: bool = False,
               out: Optional[NDArray[np.uint8]] = None) -> NDArray[np.uint8]:
    """Replace colour by its integer BT.601 luminance (``Desaturate``).

    ``y = (19595 red + 38469 green + 7472 blue + 32768) >> 16`` of the
    premultiplied bytes goes into blue, green and red (never above the
    largest of them, so the result stays premultiplied).

    Parameters
    ----------
    image : ndarray of uint8, shape (height, width, 4)
        Premultiplied BGRA.
    also_alpha : bool, default False
        Write the luminance into alpha as well; otherwise alpha is kept.
    out : ndarray of uint8, optional
        Where the result goes; ``out=image`` works in place.

    Returns
    -------
    ndarray of uint8, shape (height, width, 4)

    Examples
    --------
    >>> import numpy as np, morvex
    >>> red = np.array([[[0, 0, 255, 255]]], np.uint8)
    >>> morvex.desaturate(red)[0, 0].tolist()
    [76, 76, 76, 255]
    """
    also_alpha = P.flag(also_alpha, "also_alpha")
    work, pending, (p, stride, width, height) = _inplace_image(image, out, P.U8)
    P.finish(work, image, pending)
    call("Desaturate", (p, stride, width, height, also_alpha))
    return work


def _counts(arr, name):
    P._array(arr, name)
    P._dtype(arr, name, P.I32)
    if arr.shape != (256,):
        raise ValueError(f"{name} must have shape (256,), not {arr.shape}")
    if arr.strides[0] != 4:
        raise ValueError(f"{name} must be contiguous")
    P._writable(arr, name)
    return arr.ctypes.data


def histogram(image: NDArray[np.uint8],
              out: Optional[Sequence[NDArray[np.int32]]] = None) -> Histogram:
    """Count the red, green, blue and luminance values (``Histogram``).

    Alpha is not counted; the counts are of the premultiplied bytes as
    stored.

    Parameters
    ----------
    image : ndarray of uint8, shape (height, width, 4)
        Premultiplied BGRA.
    out : tuple of four ndarrays of int32, shape (256,), optional
        Arrays for the red, green, blue and luma counts (an array given
        twice receives the sum of both counts); they must not share memory
        with `image`.

    Returns
    -------
    Histogram
        ``(red, green, blue, luma, largest)``: four int32 arrays of 256
        counts and the largest count (0 for an empty image).

    Examples
    --------
    >>> import numpy as np, morvex
    >>> img = np.array([[[10, 20, 30, 5]]], np.uint8)
    >>> h = morvex.histogram(img)
    >>> int(h.red[30]), int(h.luma[22]), h.largest
    (1, 1, 1)
    """
    p, stride, width, height = P.image(image, "image", P.U8)
    if out is None:
        counts = np.empty((4, 256), P.I32)
        arrays = tuple(counts)
        first = counts.ctypes.data
        pointers = (first, first + 1024, first + 2048, first + 3072)
    else:
        if not isinstance(out, (tuple, list)) or len(out) != 4:
            raise TypeError("out must be a tuple of four int32 arrays of 256 "
                            "(red, green, blue, luma)")
        arrays = tuple(out)
        pointers = [_counts(arr, f"out[{k}]") for k, arr in enumerate(arrays)]
        for arr in arrays:
            if np.may_share_memory(arr, image):
                raise ValueError("out: the count arrays must not share memory with image")
    largest = _Histogram(p, stride, width, height, *pointers)
    return Histogram(*arrays, largest)


# The tool's limit on the six numbers.
HSL_LIMIT = 1000.0


def hsl_scale_offset(image: NDArray[np.uint8], hue_scale: float = 1.0,
                     saturation_scale: float = 1.0, lightness_scale: float = 1.0,
                     hue_offset: float = 0.0, saturation_offset: float = 0.0,
                     lightness_offset: float = 0.0,
                     out: Optional[NDArray[np.uint8]] = None) -> NDArray[np.uint8]:
    """Scale and offset hue, saturation and lightness, unclamped (``HslScaleOffset``).

    The raw export: every pixel goes to hue, saturation and lightness (each
    0..1), each becomes ``value * scale + offset`` and the pixel is converted
    back, channels ``round(v * 255)`` keeping the low 8 bits. Nothing is
    clamped: a saturation or lightness beyond 0..1 gives channels beyond
    0..255 that **wrap** (white with lightness_offset 0.2 becomes grey 50),
    and a hue more than one turn outside 0..1 comes out wrong. For
    photographs use `hsl`, which limits saturation and lightness per pixel
    as the ``morvex hsl`` tool does. Works on the premultiplied bytes; alpha
    passes through unchanged.

    Parameters
    ----------
    image : ndarray of uint8, shape (height, width, 4)
        Premultiplied BGRA.
    hue_scale, saturation_scale, lightness_scale : float, default 1.0
        Factors, -1000..1000.
    hue_offset : float, default 0.0
        Added to the hue, in turns (1/3 turns red into green), -1000..1000.
    saturation_offset, lightness_offset : float, default 0.0
        Added on the 0..1 scale, -1000..1000.
    out : ndarray of uint8, optional
        Where the result goes; ``out=image`` works in place.

    Returns
    -------
    ndarray of uint8, shape (height, width, 4)

    Examples
    --------
    >>> import numpy as np, morvex
    >>> red = np.array([[[0, 0, 255, 255]]], np.uint8)
    >>> morvex.hsl_scale_offset(red, hue_offset=1 / 3)[0, 0].tolist()   # green
    [0, 255, 0, 255]
    >>> white = np.full((1, 1, 4), 255, np.uint8)
    >>> morvex.hsl_scale_offset(white, lightness_offset=0.2)[0, 0].tolist()   # wraps
    [50, 50, 50, 255]
    """
    values = [P.number(v, n, -HSL_LIMIT, HSL_LIMIT)
              for v, n in ((hue_scale, "hue_scale"), (saturation_scale, "saturation_scale"),
                           (lightness_scale, "lightness_scale"), (hue_offset, "hue_offset"),
                           (saturation_offset, "saturation_offset"),
                           (lightness_offset, "lightness_offset"))]
    work, pending, (p, stride, width, height) = _inplace_image(image, out, P.U8)
    P.finish(work, image, pending)
    call("HslScaleOffset", (p, stride, width, height, *values))
    return work


def _saturation_lightness():
    """The saturation and lightness HslScaleOffset computes for a pixel, in
    its own double arithmetic and order, for every (smallest, largest)
    colour byte (they depend on nothing else), indexed [largest, smallest]."""
    k = 0.00392156862745098
    lo = np.arange(256)[None, :] * k
    hi = np.arange(256)[:, None] * k
    d = hi - lo
    lightness = (lo + hi) * 0.5
    with np.errstate(divide="ignore", invalid="ignore"):
        saturation = np.where(lightness < 0.5, d / (lo + hi), d / ((2 - hi) - lo))
    saturation[d < 0.003917647058823529] = 0
    return saturation.reshape(-1), lightness.reshape(-1)


_GROUP_ROW = 4096


def _kind(value):
    """0 within 0..1, 1 below, 2 above (NaN counts as within)."""
    return np.where(value > 1, 2, np.where(value < 0, 1, 0))


def hsl(image: NDArray[np.uint8], *, hue_shift: float = 0.0, hue_scale: float = 1.0,
        saturation_scale: float = 1.0, saturation_offset: float = 0.0,
        lightness_scale: float = 1.0, lightness_offset: float = 0.0, wrap: bool = False,
        out: Optional[NDArray[np.uint8]] = None) -> NDArray[np.uint8]:
    """Adjust hue, saturation and lightness as the ``morvex hsl`` tool does.

    Byte for byte the tool's result: each pixel gets the library's
    `hsl_scale_offset` with these numbers, except that a pixel whose new
    saturation (lightness) would leave 0..1 gets the same call with that
    component fixed at 0 or 1, decided per pixel beforehand in the library's
    own arithmetic, so saturated colours do not wrap into neon patches. The
    hue shift is taken modulo 360 degrees into the turn the library brings
    back (exact for |hue_scale| up to 4/3). Works on the premultiplied bytes;
    alpha passes through unchanged.

    Parameters
    ----------
    image : ndarray of uint8, shape (height, width, 4)
        Premultiplied BGRA (`load_image`, `from_rgba`).
    hue_shift : float, default 0.0
        Degrees added to the hue (120 turns red green), -36000..36000.
    hue_scale : float, default 1.0
        Hue multiplier, -1000..1000.
    saturation_scale, lightness_scale : float, default 1.0
        Multipliers (saturation 0 gives grey, 1.3 richer colour),
        -1000..1000.
    saturation_offset, lightness_offset : float, default 0.0
        Added on the 0..1 scale, -1000..1000.
    wrap : bool, default False
        One call with the numbers as given (`hsl_scale_offset`, hue shift
        in degrees): channels beyond 0..255 wrap around.
    out : ndarray of uint8, optional
        Where the result goes; ``out=image`` works in place.

    Returns
    -------
    ndarray of uint8, shape (height, width, 4)

    Examples
    --------
    >>> import numpy as np, morvex
    >>> red = np.array([[[0, 0, 255, 255]]], np.uint8)
    >>> morvex.hsl(red, hue_shift=120)[0, 0].tolist()
    [0, 255, 0, 255]
    >>> morvex.hsl(red, saturation_scale=1.3)[0, 0].tolist()     # limited, not wrapped
    [0, 0, 255, 255]
    """
    hue_shift = P.number(hue_shift, "hue_shift", -36000, 36000)
    values = [P.number(v, n, -HSL_LIMIT, HSL_LIMIT)
              for v, n in ((hue_scale, "hue_scale"), (saturation_scale, "saturation_scale"),
                           (saturation_offset, "saturation_offset"),
                           (lightness_scale, "lightness_scale"),
                           (lightness_offset, "lightness_offset"))]
    hue_scale, s_scale, s_offset, l_scale, l_offset = values
    hue_offset = hue_shift / 360.0
    if P.flag(wrap, "wrap"):
        return hsl_scale_offset(image, hue_scale, s_scale, l_scale, hue_offset, s_offset,
                                l_offset, out=out)
    P.image(image, "image", P.U8)
    work, pending = P.target(image, out)
    P.image(work, "out", P.U8, out=True)
    # The hue offset moved by whole turns to the middle of the hues produced.
    hue_offset -= np.floor(hue_scale * 0.5 + hue_offset)
    pixels = np.array(image, dtype=np.uint8).reshape(-1, 4)
    saturation, lightness = _saturation_lightness()
    table = (_kind(saturation * s_scale + s_offset) * 3
             + _kind(lightness * l_scale + l_offset)).astype(np.uint8)
    b, g, r = pixels[:, 0], pixels[:, 1], pixels[:, 2]
    largest = np.maximum(np.maximum(r, g), b).astype(np.intp)
    kinds = table[largest << 8 | np.minimum(np.minimum(r, g), b)]
    # Per kind of pixel the component's scale and offset: as asked, fixed at 0, fixed at 1.
    numbers = {0: None, 1: (0.0, 0.0), 2: (0.0, 1.0)}
    order = np.argsort(kinds, kind="stable")
    grouped = pixels[order]
    start = 0
    for kind, count in enumerate(np.bincount(kinds, minlength=9).tolist()):
        s_kind, l_kind = divmod(kind, 3)
        ss, so = numbers[s_kind] or (s_scale, s_offset)
        ls, lo = numbers[l_kind] or (l_scale, l_offset)
        # The group as rows of _GROUP_ROW pixels and a last shorter row, so
        # the library walks long rows and the call still splits into bands.
        whole = count - count % _GROUP_ROW
        for part in (grouped[start:start + whole].reshape(-1, _GROUP_ROW, 4),
                     grouped[start + whole:start + count].reshape(1, -1, 4)):
            hsl_scale_offset(part, hue_scale, ss, ls, hue_offset, so, lo, out=part)
        start += count
    pixels[order] = grouped
    np.copyto(work, pixels.reshape(image.shape))
    return work
