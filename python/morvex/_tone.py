"""Desaturation, histograms and HSL adjustments."""

from collections import namedtuple

import numpy as np

from . import _planes as P
from ._native import call, functions
from ._pixel import _inplace_image

Histogram = namedtuple("Histogram", "red green blue luma largest")
Histogram.__doc__ = ("Counts of the red, green, blue and luminance values (int32 arrays of 256) "
                     "and the largest count.")
_Histogram = functions["Histogram"]


def desaturate(image, also_alpha=False, out=None):
    """Blue, green and red become the integer BT.601 luminance; alpha too when also_alpha."""
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


def histogram(image, out=None):
    """Counts the red, green, blue and luminance values of a uint8 image.
    Returns Histogram(red, green, blue, luma, largest); `out` may give the
    four int32 arrays of 256 (arrays given twice receive the sum of both counts)."""
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


def hsl_scale_offset(image, hue_scale=1.0, saturation_scale=1.0, lightness_scale=1.0,
                     hue_offset=0.0, saturation_offset=0.0, lightness_offset=0.0, out=None):
    """Hue, saturation and lightness (0..1) of every pixel, each times its
    scale plus its offset, unclamped; alpha passes through."""
    values = [P.real(v, n) for v, n in ((hue_scale, "hue_scale"),
                                         (saturation_scale, "saturation_scale"),
                                         (lightness_scale, "lightness_scale"),
                                         (hue_offset, "hue_offset"),
                                         (saturation_offset, "saturation_offset"),
                                         (lightness_offset, "lightness_offset"))]
    work, pending, (p, stride, width, height) = _inplace_image(image, out, P.U8)
    P.finish(work, image, pending)
    call("HslScaleOffset", (p, stride, width, height, *values))
    return work
