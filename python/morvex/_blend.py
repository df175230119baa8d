"""Blending, compositing and scaling of 8-bit and float images."""

from __future__ import annotations

import math
from typing import Optional, Union

import numpy as np
from numpy.typing import ArrayLike, NDArray

from . import _planes as P
from ._native import call, refuse
from ._pixel import _inplace_image

COMPOSITE_MODES = {"normal": 1, "add": 3, "multiply": 4, "overlay": 5, "screen": 6, "average": 7}
_MODE_WORDS = ", ".join(f"{v} ({k})" for k, v in COMPOSITE_MODES.items())


def _dst_and(dst, out, *others):
    """For an export working on the uint8 image dst: the array it works on,
    dst's plane, the (address, stride) of each other input, given as
    (array, name, may be dst itself), all of dst's shape, and the arrays
    those address (inputs that share memory with the result are copied
    first); the caller keeps them referenced until the call returns."""
    work, pending, plane = _inplace_image(dst, out, P.U8, "dst")
    arrays = []
    for arr, name, same_ok in others:
        P.image(arr, name, P.U8)
        if arr.shape != dst.shape:
            raise ValueError(f"{name} must have the same shape as dst {dst.shape}, not {arr.shape}")
        arrays.append(P.apart(arr, work, pending, same_ok))
    P.finish(work, dst, pending)
    planes = [P.image(arr, other[1], P.U8)[:2] for arr, other in zip(arrays, others)]
    return work, plane, planes, arrays


def blend(dst: NDArray[np.uint8], src: NDArray[np.uint8], dst_weight: float,
          out: Optional[NDArray[np.uint8]] = None) -> NDArray[np.uint8]:
    """Mix the colour of one image into another with one weight (``Blend``).

    Per colour channel: ``(Ws * src + Wd * dst + 2048) / 4096`` truncated,
    with ``Ws = trunc((1 - dst_weight) * 4096)`` and ``Wd = trunc(dst_weight *
    4096)``, then limited to 0 .. dst's alpha. Alpha stays dst's: only colour
    is mixed.

    Parameters
    ----------
    dst : ndarray of uint8, shape (height, width, 4)
        Premultiplied BGRA; gives the alpha and weight `dst_weight`.
    src : ndarray of uint8, shape (height, width, 4)
        Premultiplied BGRA, weight ``1 - dst_weight``; may be `dst`.
    dst_weight : float
        0 takes src's colour, 1 keeps dst's, 0.5 is the mean (halves up).
        Values outside 0..1 extrapolate (away from src or dst), the results
        clamped to 0 .. alpha; -1000..1000, where the fixed-point sums stay
        exact.
    out : ndarray of uint8, optional
        Where the result goes; ``out=dst`` works in place.

    Returns
    -------
    ndarray of uint8, shape (height, width, 4)

    Examples
    --------
    >>> import numpy as np, morvex
    >>> a = np.array([[[0, 0, 200, 255]]], np.uint8)
    >>> b = np.array([[[200, 0, 0, 255]]], np.uint8)
    >>> morvex.blend(a, b, 0.5)[0, 0].tolist()
    [100, 0, 100, 255]
    """
    dst_weight = P.number(dst_weight, "dst_weight", -1000, 1000)
    work, (d, d_stride, width, height), [(s, s_stride)], _inputs = _dst_and(
        dst, out, (src, "src", True))
    call("Blend", (d, d_stride, s, s_stride, width, height, dst_weight))
    return work


def masked_blend(dst: NDArray[np.uint8], mask: NDArray[np.uint8], src: NDArray[np.uint8],
                 weight_lut: Optional[ArrayLike] = None,
                 out: Optional[NDArray[np.uint8]] = None) -> NDArray[np.uint8]:
    """Mix src into dst with a weight per pixel and channel (``MaskedBlend``).

    Per colour channel c: ``w = mask[..., c]`` (or ``weight_lut[mask[..., c],
    c]``), ``(src * w + dst * (255 - w)) / 255`` truncated, limited to dst's
    alpha. Alpha and mask channel 3 are not used; alpha stays dst's.

    Parameters
    ----------
    dst : ndarray of uint8, shape (height, width, 4)
        Premultiplied BGRA.
    mask : ndarray of uint8, shape (height, width, 4)
        Weights, not colour: byte c weighs channel c, 255 takes src.
    src : ndarray of uint8, shape (height, width, 4)
        Premultiplied BGRA; may be `dst`.
    weight_lut : array_like of int, shape (256, 4), optional
        Remaps each mask byte through its channel's column (0..255).
    out : ndarray of uint8, optional
        Where the result goes; ``out=dst`` works in place.

    Returns
    -------
    ndarray of uint8, shape (height, width, 4)

    Examples
    --------
    >>> import numpy as np, morvex
    >>> dst = np.array([[[100, 100, 100, 255]]], np.uint8)
    >>> src = np.array([[[200, 200, 200, 255]]], np.uint8)
    >>> mask = np.array([[[128, 0, 255, 0]]], np.uint8)
    >>> morvex.masked_blend(dst, mask, src)[0, 0].tolist()
    [150, 100, 200, 255]
    """
    if weight_lut is not None:
        weight_lut = P.table(weight_lut, "weight_lut", (256, 4), P.U8)
    work, (d, d_stride, width, height), [(m, m_stride), (s, s_stride)], _inputs = _dst_and(
        dst, out, (mask, "mask", False), (src, "src", True))
    call("MaskedBlend", (d, d_stride, m, m_stride, s, s_stride, width, height,
                         None if weight_lut is None else weight_lut.ctypes.data))
    return work


def masked_fade(dst: NDArray[np.uint8], mask: NDArray[np.uint8], src: NDArray[np.uint8],
                out: Optional[NDArray[np.uint8]] = None) -> NDArray[np.uint8]:
    """Mix all four channels of src into dst by a mask (``MaskedFade``).

    Alpha first: ``a = (src.a * m + dst.a * (255 - m)) / 255`` with ``m =
    mask[..., 3]``; then each colour channel as in `masked_blend` by its own
    mask byte, limited to the new alpha.

    Parameters
    ----------
    dst : ndarray of uint8, shape (height, width, 4)
        Premultiplied BGRA.
    mask : ndarray of uint8, shape (height, width, 4)
        Weights per channel, 255 takes src.
    src : ndarray of uint8, shape (height, width, 4)
        Premultiplied BGRA; may be `dst`.
    out : ndarray of uint8, optional
        Where the result goes; ``out=dst`` works in place.

    Returns
    -------
    ndarray of uint8, shape (height, width, 4)

    Examples
    --------
    >>> import numpy as np, morvex
    >>> dst = np.array([[[200, 200, 200, 255]]], np.uint8)
    >>> clear = np.zeros((1, 1, 4), np.uint8)
    >>> morvex.masked_fade(dst, np.full((1, 1, 4), 255, np.uint8), clear)[0, 0].tolist()
    [0, 0, 0, 0]
    """
    work, (d, d_stride, width, height), [(m, m_stride), (s, s_stride)], _inputs = _dst_and(
        dst, out, (mask, "mask", False), (src, "src", True))
    call("MaskedFade", (d, d_stride, m, m_stride, s, s_stride, width, height))
    return work


def composite(dst: NDArray[np.uint8], src: NDArray[np.uint8], mode: Union[str, int],
              opacity: float = 1.0, out: Optional[NDArray[np.uint8]] = None
              ) -> NDArray[np.uint8]:
    """Lay src over dst in a blend mode, mixed by an opacity (``Composite``).

    Each mode works on the premultiplied bytes (S source, D destination, Sa
    and Da their alphas); divisions truncate:

    ========  ========================================  ==================
    mode      colour                                    alpha
    ========  ========================================  ==================
    normal    (255 S + (255 - Sa) D + 127) / 255        the same on alpha
    add       min(S + D, 255)                           alpha union
    multiply  S D / 255                                 Sa Da / 255
    overlay   D < 128: 2 D S / 255, else                alpha union
              255 - 2 (255 - D)(255 - S) / 255
    screen    255 - (255 - S)(255 - D) / 255            alpha union
    average   (S + D) / 2                               (Sa + Da) / 2
    ========  ========================================  ==================

    (alpha union: ((255 - Sa) Da + 255 Sa + 127) / 255). Then every channel,
    alpha included, is mixed with dst by ``o = trunc(opacity * 255 + 0.5)``:
    ``(x o + D (255 - o)) / 255``. add, overlay and screen can leave colour
    above alpha.

    Parameters
    ----------
    dst : ndarray of uint8, shape (height, width, 4)
        Premultiplied BGRA.
    src : ndarray of uint8, shape (height, width, 4)
        Premultiplied BGRA; may be `dst`.
    mode : str or int
        "normal" (1), "add" (3), "multiply" (4), "overlay" (5), "screen"
        (6), "average" (7). Other numbers are refused by the library:
        `MorvexError`.
    opacity : float, default 1.0
        0..1 (0 leaves dst unchanged).
    out : ndarray of uint8, optional
        Where the result goes; ``out=dst`` works in place.

    Returns
    -------
    ndarray of uint8, shape (height, width, 4)

    Examples
    --------
    >>> import numpy as np, morvex
    >>> dst = np.array([[[200, 100, 50, 255]]], np.uint8)
    >>> src = np.array([[[64, 64, 64, 128]]], np.uint8)
    >>> morvex.composite(dst, src, "normal")[0, 0].tolist()
    [164, 114, 89, 255]
    """
    if isinstance(mode, str):
        mode = P.named(mode, COMPOSITE_MODES, "mode")
    else:
        mode = P.int32(mode, "mode")
        if mode not in COMPOSITE_MODES.values():
            refuse("Composite", f"mode must be one of {_MODE_WORDS}, got {mode}")
    opacity = P.number(opacity, "opacity", 0, 1)
    work, (d, d_stride, width, height), [(s, s_stride)], _inputs = _dst_and(
        dst, out, (src, "src", True))
    call("Composite", (d, d_stride, s, s_stride, width, height, mode, opacity))
    return work


def multiply(image: NDArray[np.uint8], factor: float,
             out: Optional[NDArray[np.uint8]] = None) -> NDArray[np.uint8]:
    """Scale all four bytes of every pixel, alpha included (``Multiply``).

    Every byte b becomes ``(b * k + 127) / 256`` (truncated) with ``k =
    trunc(factor * 256 + 0.5)``. Colour and alpha scale alike, so the image
    **fades** (becomes more transparent) and stays premultiplied; to darken
    colour alone keep the alpha, e.g. ``mask_multiply`` with a mask of
    ``(f, f, f, 255)`` or restore ``out[..., 3]`` afterwards.

    Parameters
    ----------
    image : ndarray of uint8, shape (height, width, 4)
        Premultiplied BGRA.
    factor : float
        0..1; 1 leaves the image unchanged, 0 makes it transparent black.
    out : ndarray of uint8, optional
        Where the result goes; ``out=image`` works in place.

    Returns
    -------
    ndarray of uint8, shape (height, width, 4)

    Examples
    --------
    >>> import numpy as np, morvex
    >>> img = np.array([[[255, 200, 128, 255]]], np.uint8)
    >>> morvex.multiply(img, 0.5)[0, 0].tolist()      # alpha halves too
    [127, 100, 64, 127]
    """
    factor = P.number(factor, "factor", 0, 1)
    work, pending, (p, stride, width, height) = _inplace_image(image, out, P.U8)
    P.finish(work, image, pending)
    call("Multiply", (p, stride, width, height, factor))
    return work


def _weight(scale, offset):
    """scale and offset of the masked multiplies: finite, and on the general
    path (outside the identity's tolerance) such that every d * (m * Ks +
    Ko) + 130560 fits 32 bits (Ks, Ko: scale and offset in 1/1024 steps)."""
    scale = P.number(scale, "scale")
    offset = P.number(offset, "offset")
    if abs(scale - 1) > 0.0001 or abs(offset) > 0.0001:
        ks, ko = math.trunc(scale * 1024), math.trunc(offset * 1024)
        ends = (ko, 255 * ks + ko)
        if 255 * max(ends) + 130560 > P.INT32_MAX or 255 * min(ends) + 130560 < P.INT32_MIN:
            raise ValueError(
                f"scale {scale!r} and offset {offset!r} reach weights beyond the library's 32-bit "
                f"sums: 255 * (m * scale + offset) * 1024 must stay within about +-2**31 for every "
                f"mask byte m (|scale| up to 32 with offset 0, |offset| up to 8000 with scale 0)")
    return scale, offset


_WEIGHT_DOC = """
    The mask byte m is remapped to ``m * scale + offset`` (offset in mask-byte
    units, 255 = x1). Within 1e-4 of scale 1 and offset 0 the exact
    ``(d * m + 127) / 255`` is used; otherwise ``(d * (m * Ks + Ko) + 130560)
    / 261120`` clamped to 0..255, with ``Ks = trunc(scale * 1024)``, ``Ko =
    trunc(offset * 1024)``."""


def multiply_channel(dst: NDArray[np.uint8], dst_channel: int, mask: NDArray[np.uint8],
                     mask_channel: int, scale: float = 1.0, offset: float = 0.0,
                     out: Optional[NDArray[np.uint8]] = None) -> NDArray[np.uint8]:
    """Scale one channel of dst by one channel of a mask (``MultiplyChannel``).
    {weight}
    Only byte `dst_channel` is written; it is not limited to alpha.

    Parameters
    ----------
    dst : ndarray of uint8, shape (height, width, 4)
        Premultiplied BGRA.
    dst_channel : int
        0 blue, 1 green, 2 red, 3 alpha.
    mask : ndarray of uint8, shape (height, width, 4)
        Weights (255 = x1); may be `dst` itself.
    mask_channel : int
        The mask byte used, 0..3.
    scale, offset : float
        The remapping above; finite, and small enough for the library's
        32-bit sums (|scale| up to 32 with offset 0).
    out : ndarray of uint8, optional
        Where the result goes; ``out=dst`` works in place.

    Returns
    -------
    ndarray of uint8, shape (height, width, 4)

    Raises
    ------
    MorvexError
        A channel above 3: the library refuses it.

    Examples
    --------
    >>> import numpy as np, morvex
    >>> img = np.array([[[200, 200, 200, 255]]], np.uint8)
    >>> m = np.array([[[128, 0, 0, 0]]], np.uint8)
    >>> morvex.multiply_channel(img, 2, m, 0)[0, 0].tolist()   # red by blue of m
    [200, 200, 100, 255]
    """
    dst_channel = P.uint32(dst_channel, "dst_channel")
    mask_channel = P.uint32(mask_channel, "mask_channel")
    scale, offset = _weight(scale, offset)
    if dst_channel > 3 or mask_channel > 3:
        refuse("MultiplyChannel", f"dst_channel {dst_channel} and mask_channel {mask_channel}: "
                                  f"each must be 0..3")
    work, (d, d_stride, width, height), [(m, m_stride)], _inputs = _dst_and(
        dst, out, (mask, "mask", True))
    call("MultiplyChannel", (d, d_stride, dst_channel, m, m_stride, mask_channel, width, height,
                             scale, offset))
    return work


def mask_multiply(dst: NDArray[np.uint8], mask: NDArray[np.uint8],
                  mask_channel: Optional[int] = None, scale: float = 1.0, offset: float = 0.0,
                  out: Optional[NDArray[np.uint8]] = None) -> NDArray[np.uint8]:
    """Scale all four channels of dst by a mask (``MaskMultiply``).
    {weight}
    Alpha is scaled with the colours.

    Parameters
    ----------
    dst : ndarray of uint8, shape (height, width, 4)
        Premultiplied BGRA.
    mask : ndarray of uint8, shape (height, width, 4)
        Weights (255 = x1); may be `dst` itself.
    mask_channel : int, optional
        None (or negative): each channel by the mask byte of the same index;
        0..3: all four by that one mask byte.
    scale, offset : float
        The remapping above, as in `multiply_channel`.
    out : ndarray of uint8, optional
        Where the result goes; ``out=dst`` works in place.

    Returns
    -------
    ndarray of uint8, shape (height, width, 4)

    Raises
    ------
    MorvexError
        A mask_channel of 4 or more: the library refuses it.

    Examples
    --------
    >>> import numpy as np, morvex
    >>> img = np.array([[[200, 200, 200, 255]]], np.uint8)
    >>> darker = np.array([[[128, 128, 128, 255]]], np.uint8)   # colour x0.5, alpha kept
    >>> morvex.mask_multiply(img, darker)[0, 0].tolist()
    [100, 100, 100, 255]
    """
    mask_channel = -1 if mask_channel is None else P.int32(mask_channel, "mask_channel")
    scale, offset = _weight(scale, offset)
    if mask_channel >= 4:
        refuse("MaskMultiply", f"mask_channel {mask_channel} is 4 or more (0..3, or None for "
                               f"each channel by its own)")
    work, (d, d_stride, width, height), [(m, m_stride)], _inputs = _dst_and(
        dst, out, (mask, "mask", True))
    call("MaskMultiply", (d, d_stride, m, m_stride, width, height, mask_channel, scale, offset))
    return work


multiply_channel.__doc__ = multiply_channel.__doc__.replace("{weight}", _WEIGHT_DOC)
mask_multiply.__doc__ = mask_multiply.__doc__.replace("{weight}", _WEIGHT_DOC)

# A clip level times 255 is held as a float32.
_LEVEL_LIMIT = 1e36


def _clip(name, image, clip_level, restore_min, out):
    clip_level = P.number(clip_level, "clip_level", -_LEVEL_LIMIT, _LEVEL_LIMIT)
    restore_min = P.number(restore_min, "restore_min", -_LEVEL_LIMIT, _LEVEL_LIMIT)
    work, pending, (p, stride, width, height) = _inplace_image(image, out, P.F32)
    P.finish(work, image, pending)
    call(name, (p, stride, width, height, clip_level, restore_min))
    return work


def clip_restore(image: NDArray[np.float32], clip_level: float, restore_min: float = 0.0,
                 out: Optional[NDArray[np.float32]] = None) -> NDArray[np.float32]:
    """Replace colour values above a clip level by the alpha (``ClipRestore``).

    With ``T = float32(clip_level * 255)`` and ``F = float32(restore_min *
    255)``, every colour value above T becomes the pixel's alpha, or F when
    the alpha is below F. Alpha is never changed; NaN colours stay.

    Parameters
    ----------
    image : ndarray of float32, shape (height, width, 4)
        Premultiplied BGRA on the 0..255 scale (`convert_argb_to_argb_float`).
    clip_level : float
        Fraction of 255 (any finite value; above 1 clips nothing at most
        255, below 0 replaces every positive colour).
    restore_min : float, default 0.0
        Fraction of 255 below which the replacement never goes.
    out : ndarray of float32, optional
        Where the result goes; ``out=image`` works in place.

    Returns
    -------
    ndarray of float32, shape (height, width, 4)

    Examples
    --------
    >>> import numpy as np, morvex
    >>> f = np.array([[[240, 100, 230, 200]]], np.float32)
    >>> morvex.clip_restore(f, 0.9, 0.5)[0, 0].tolist()
    [200.0, 100.0, 200.0, 200.0]
    """
    return _clip("ClipRestore", image, clip_level, restore_min, out)


def focus_prep(image: NDArray[np.float32], clip_level: float, restore_min: float = 0.0,
               out: Optional[NDArray[np.float32]] = None) -> NDArray[np.float32]:
    """The same operation as `clip_restore`, through the ``FocusPrep`` export.

    Parameters
    ----------
    image : ndarray of float32, shape (height, width, 4)
        Premultiplied BGRA on the 0..255 scale.
    clip_level : float
        Fraction of 255 above which a colour value is replaced.
    restore_min : float, default 0.0
        Fraction of 255 below which the replacement never goes.
    out : ndarray of float32, optional
        Where the result goes; ``out=image`` works in place.

    Returns
    -------
    ndarray of float32, shape (height, width, 4)

    Examples
    --------
    >>> import numpy as np, morvex
    >>> f = np.array([[[250, 250, 250, 100]]], np.float32)
    >>> morvex.focus_prep(f, 0.9, 0.5)[0, 0].tolist()
    [127.5, 127.5, 127.5, 100.0]
    """
    return _clip("FocusPrep", image, clip_level, restore_min, out)
