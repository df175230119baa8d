"""Float masks: noise, products, scaling; and the shear of images."""

from __future__ import annotations

import math
from typing import Optional, Sequence, Tuple, Union

import numpy as np
from numpy.typing import NDArray

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


def generate_noise_mask(shape: Optional[Tuple[int, int]], low: float, high: float,
                        seed: int = 0, out: Optional[NDArray[np.float32]] = None
                        ) -> NDArray[np.float32]:
    """A float mask of reproducible noise (``GenerateNoiseMask``).

    1024 evenly spaced levels from `low` to `high`; each element, in row
    order, takes the level picked by the next output of a linear
    congruential generator seeded with `seed` (``state * 214013 + 2531011``
    modulo 2**32, level ``(state >> 16) & 1023``). The same seed and size
    always give the same mask, whatever the row stride.

    Parameters
    ----------
    shape : (int, int) or None
        (height, width) of a new mask; None when `out` is given.
    low, high : float
        The values of level 0 and level 1023 (finite 32-bit floats; high
        below low gives descending levels).
    seed : int, default 0
        0 .. 2**32 - 1.
    out : ndarray of float32, shape (height, width), optional
        The mask to fill.

    Returns
    -------
    ndarray of float32, shape (height, width)

    Examples
    --------
    >>> import morvex
    >>> morvex.generate_noise_mask((1, 5), 0, 1023, seed=1).tolist()
    [[41.0, 35.0, 190.0, 900.0, 737.0]]
    """
    low = P.number32(low, "low")
    high = P.number32(high, "high")
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


def multiply_masks(dst: NDArray[np.float32], src: NDArray[np.float32],
                   out: Optional[NDArray[np.float32]] = None) -> NDArray[np.float32]:
    """``dst * src`` element by element in single precision (``MultiplyMasks``).

    Parameters
    ----------
    dst, src : ndarray of float32, shape (height, width)
        Masks of one shape (src may be dst: squares it).
    out : ndarray of float32, optional
        Where the result goes; ``out=dst`` works in place.

    Returns
    -------
    ndarray of float32, shape (height, width)

    Examples
    --------
    >>> import numpy as np, morvex
    >>> m = np.array([[2.0, 3.0]], np.float32)
    >>> morvex.multiply_masks(m, m).tolist()
    [[4.0, 9.0]]
    """
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
    return [P.number32(v, f"{name}[{k}]") for k, v in enumerate(values)]


def scale_mask(dst: NDArray[np.float32], dst_rect: Sequence[float], src: NDArray[np.float32],
               src_rect: Sequence[float], mode: Union[str, int] = "replace",
               amount: float = 1.0, out: Optional[NDArray[np.float32]] = None
               ) -> NDArray[np.float32]:
    """Map a rectangle of one float mask onto a rectangle of another (``ScaleMask``).

    Bilinear sampling in steps of 1/2048 pixel, the first and last elements
    of the destination span on the first and last of the source span
    (endpoints aligned, not centres). The destination rectangle is clipped
    to `dst` and to the area `src` covers; elements outside it are kept.
    Values are plain numbers: nothing is clamped.

    Parameters
    ----------
    dst : ndarray of float32, shape (height, width)
        The destination mask.
    dst_rect : (x, y, width, height) of float
        In dst's pixels (sub-pixel positions allowed).
    src : ndarray of float32, shape (h, w)
        The source mask (any size).
    src_rect : (x, y, width, height) of float
        In src's pixels; width and height above 0.
    mode : str or int, default "replace"
        "replace" (0), "blend" (1: ``s * amount + (1 - amount) * d``) or
        "multiply" (2: ``s * d``).
    amount : float, default 1.0
        The sample's weight in "blend".
    out : ndarray of float32, optional
        Where the result goes; ``out=dst`` works in place.

    Returns
    -------
    ndarray of float32, shape (height, width)

    Raises
    ------
    MorvexError
        The clipped span, or the source span it maps to, is 1.0 or less wide
        or high: the library refuses it.

    Examples
    --------
    >>> import numpy as np, morvex
    >>> src = np.array([[0, 10, 20, 30]] * 2, np.float32)
    >>> dst = np.zeros((2, 2), np.float32)
    >>> morvex.scale_mask(dst, (0, 0, 2, 2), src, (0, 0, 4, 2)).tolist()
    [[0.0, 30.0], [0.0, 30.0]]
    """
    if isinstance(mode, str):
        mode = P.named(mode, SCALE_MASK_MODES, "mode")
    else:
        mode = P.int32(mode, "mode")
        if mode not in SCALE_MASK_MODES.values():
            raise ValueError(f"mode must be 0 (replace), 1 (blend) or 2 (multiply), got {mode}")
    amount = P.number32(amount, "amount")
    dst_values = _rect(dst_rect, "dst_rect")
    src_values = _rect(src_rect, "src_rect")
    if not (src_values[2] > 0 and src_values[3] > 0):
        raise ValueError(f"src_rect must have a width and height above 0, not {tuple(src_rect)}")
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


def sheared_shape(shape: Tuple[int, ...], direction: int, factor: float) -> Tuple[int, int]:
    """The (height, width) that holds a whole shear of an image of `shape`:
    ``ceil(length + |factor| * (lines - 1))`` along the shear, as the
    ``morvex shear`` tool makes it."""
    height, width = shape[:2]
    vertical = direction in (0, 3)
    length, lines = (height, width) if vertical else (width, height)
    extent = math.ceil(length + abs((lines - 1) * factor)) if length and lines else length
    if extent > P.INT32_MAX:
        raise ValueError(f"the sheared image would be {extent} pixels long; use a smaller "
                         f"factor or give shape=")
    return (extent, width) if vertical else (height, extent)


def shear(src: NDArray[np.uint8], direction: int, factor: float, *,
          shape: Optional[Tuple[int, int]] = None,
          out: Optional[NDArray[np.uint8]] = None) -> NDArray[np.uint8]:
    """Skew an image along its rows or columns (``Shear``).

    Line i (a row, or a column) is shifted by ``i * factor`` pixels, each
    pixel the mix of its two source neighbours in 12-bit fixed point; the
    uncovered ends repeat the line's first or last pixel. Premultiplied
    pixels stay premultiplied.

    Parameters
    ----------
    src : ndarray of uint8, shape (height, width, 4)
        Premultiplied BGRA.
    direction : int
        2: row i shifts right (rows counted from the top), 1: the same
        counted from the right edge; 3: column i shifts down, 0: the same
        counted from the last row. A negative factor shifts the other way.
    factor : float
        Shift per line, in pixels.
    shape : (int, int), optional
        (height, width) of the result; by default the whole sheared extent
        (`sheared_shape`, as the tool makes it). A smaller one shows the
        start of each line; directions 1 and 2 need a `src` of at least as
        many rows.
    out : ndarray of uint8, shape (height, width, 4), optional
        The destination (any size, with the same row limit); not `src`.

    Returns
    -------
    ndarray of uint8

    Examples
    --------
    >>> import numpy as np, morvex
    >>> img = np.zeros((3, 2, 4), np.uint8); img[:, 0] = 255
    >>> morvex.shear(img, 2, 1.0)[..., 0].tolist()
    [[255, 0, 0, 0], [255, 255, 0, 0], [255, 255, 255, 0]]
    """
    direction = P.uint32(direction, "direction")
    if direction > 3:
        raise ValueError(f"direction must be 0, 1, 2 or 3, got {direction}")
    factor = P.number(factor, "factor")
    src_plane = P.image(src, "src", P.U8)
    if out is None:
        size = sheared_shape(src.shape, direction, factor) if shape is None else _shape2(
            shape, "shape")
        out = np.zeros(tuple(size) + (4,), P.U8)
    elif shape is not None and tuple(out.shape[:2]) != _shape2(shape, "shape"):
        raise ValueError(f"out has shape {out.shape}, not the shape {tuple(shape)} given")
    d, d_stride, d_width, d_height = P.image(out, "out", P.U8, out=True)
    if direction in (1, 2) and d_height > src.shape[0] and src.shape[1] > 0:
        raise ValueError(f"shear direction {direction} reads one source row per result row: "
                         f"src has {src.shape[0]} rows, the result {d_height}")
    copy = P.apart(src, out, False)
    s, s_stride, s_width, s_height = (src_plane if copy is src else P.image(copy, "src", P.U8))
    call("Shear", (s, s_stride, s_width, s_height, d, d_stride, d_width, d_height, direction,
                   factor))
    return out
