"""Float masks: noise, products, scaling; and the shear of images."""

import numpy as np

from . import _planes as P
from ._native import call

SCALE_MASK_MODES = {"replace": 0, "blend": 1, "multiply": 2}


def _shape2(shape, name):
    try:
        height, width = shape
    except (TypeError, ValueError):
        raise ValueError(f"{name} must be (height, width), not {shape!r}") from None
    height = P.int32(height, f"{name}[0]")
    width = P.int32(width, f"{name}[1]")
    if height < 0 or width < 0:
        raise ValueError(f"{name} must hold sizes of 0 or more, not {shape!r}")
    return height, width


def generate_noise_mask(shape, low, high, seed=0, out=None):
    """A float32 mask of reproducible noise: 1024 levels from low to high,
    picked per element by a generator seeded with `seed`. Give the mask's
    (height, width) as `shape`, or `out` (shape may then be None)."""
    low = P.real(low, "low")
    high = P.real(high, "high")
    seed = P.uint32(seed, "seed")
    if out is None:
        if shape is None:
            raise TypeError("generate_noise_mask needs a shape or out")
        out = np.empty(_shape2(shape, "shape"), P.F32)
    elif shape is not None and tuple(out.shape) != _shape2(shape, "shape"):
        raise ValueError(f"out has shape {out.shape}, not the shape {tuple(shape)} given")
    dst, dst_stride, width, height = P.mask(out, "out", P.F32, out=True)
    call("GenerateNoiseMask", (dst, dst_stride, width, height, low, high, seed))
    return out


def multiply_masks(dst, src, out=None):
    """dst * src element by element (float32 masks of one shape)."""
    P.mask(dst, "dst", P.F32)
    work, pending = P.target(dst, out)
    d, d_stride, width, height = P.mask(work, "out", P.F32, out=True)
    P.mask(src, "src", P.F32)
    if src.shape != dst.shape:
        raise ValueError(f"src must have the same shape as dst {dst.shape}, not {src.shape}")
    src = P.apart(src, work, pending, same_ok=True)
    P.finish(work, dst, pending)
    s, s_stride, _, _ = P.mask(src, "src", P.F32)
    call("MultiplyMasks", (d, d_stride, s, s_stride, width, height))
    return work


def _rect(rect, name):
    try:
        values = tuple(rect)
    except TypeError:
        raise TypeError(f"{name} must be (x, y, width, height)") from None
    if len(values) != 4:
        raise ValueError(f"{name} must be (x, y, width, height), not {len(values)} values")
    return [P.real(v, f"{name}[{k}]") for k, v in enumerate(values)]


def scale_mask(dst, dst_rect, src, src_rect, mode="replace", amount=1.0, out=None):
    """Maps the rectangle src_rect (x, y, width, height) of the float32 mask
    src onto dst_rect of dst by bilinear sampling, clipped to both masks:
    mode "replace" (0), "blend" (1: s * amount + (1 - amount) * d) or
    "multiply" (2). A span of 1.0 or less is refused by the library (MorvexError)."""
    mode = P.named(mode, SCALE_MASK_MODES, "mode")
    amount = P.real(amount, "amount")
    dst_values = _rect(dst_rect, "dst_rect")
    src_values = _rect(src_rect, "src_rect")
    P.mask(dst, "dst", P.F32)
    work, pending = P.target(dst, out)
    d, d_stride, d_width, d_height = P.mask(work, "out", P.F32, out=True)
    P.mask(src, "src", P.F32)
    src = P.apart(src, work, pending)
    P.finish(work, dst, pending)
    s, s_stride, s_width, s_height = P.mask(src, "src", P.F32)
    call("ScaleMask", (d, d_stride, d_width, d_height, *dst_values, s, s_stride, s_width,
                       s_height, *src_values, mode, amount),
         "the clipped span, or the source span it maps to, is 1.0 or less wide or high")
    return work


def shear(src, direction, factor, *, shape=None, out=None):
    """Skews a uint8 image: direction 2 shifts row i right by i * factor
    pixels (1 counts from the bottom row), 3 shifts column i down (0 counts
    from the last column). The result is `out`, or a new transparent image of
    `shape` (height, width; by default src's)."""
    direction = P.uint32(direction, "direction")
    if direction > 3:
        raise ValueError(f"direction must be 0, 1, 2 or 3, got {direction}")
    factor = P.real(factor, "factor")
    src_plane = P.image(src, "src", P.U8)
    if out is None:
        size = src.shape[:2] if shape is None else _shape2(shape, "shape")
        out = np.zeros(tuple(size) + (4,), P.U8)
    elif shape is not None and tuple(out.shape[:2]) != _shape2(shape, "shape"):
        raise ValueError(f"out has shape {out.shape}, not the shape {tuple(shape)} given")
    d, d_stride, d_width, d_height = P.image(out, "out", P.U8, out=True)
    copy = P.apart(src, out, False)
    s, s_stride, s_width, s_height = (src_plane if copy is src else P.image(copy, "src", P.U8))
    call("Shear", (s, s_stride, s_width, s_height, d, d_stride, d_width, d_height, direction,
                   factor))
    return out
