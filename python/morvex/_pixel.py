"""Copies, channel routing, lookup tables and format conversions."""

from __future__ import annotations

from functools import partial
from typing import Optional

import numpy as np
from numpy.typing import ArrayLike, NDArray

from . import _planes as P
from ._native import call, refuse_with_line

CHANNEL_MAP_LINE = "ChannelMap: invalid channel value"


def _rows(arr, name, out=False):
    """(address, stride, element bytes, width, height) of an array of shape
    (height, width, ...) whose elements (the trailing axes) are packed."""
    P._array(arr, name)
    if arr.dtype.hasobject:
        raise TypeError(f"{name}: arrays of Python objects cannot be copied as bytes")
    if arr.ndim < 2:
        raise ValueError(f"{name} must have shape (height, width, ...), not {arr.shape}")
    height, width = arr.shape[:2]
    element = arr.itemsize
    if arr.size == 0:
        element *= int(np.prod(arr.shape[2:]))
        P._size(name, height, width)
        if out:
            P._writable(arr, name)
        return arr.ctypes.data, 0, element, width, height
    for axis in range(arr.ndim - 1, 1, -1):
        if arr.shape[axis] > 1 and arr.strides[axis] != element:
            raise ValueError(f"{name}: each element (the axes after the first two) must be "
                             f"packed, not strides {arr.strides}")
        element *= arr.shape[axis]
    if width > 1 and arr.strides[1] != element:
        raise ValueError(f"{name}: the elements of each row must be packed (step {element} "
                         f"bytes), not strides {arr.strides}")
    P._size(name, height, width)
    if not P.fits_int32(element):
        raise ValueError(f"{name}: an element of {element} bytes does not fit 32 bits")
    row_bytes = width * element
    stride = P._row_stride(arr, name, height, row_bytes)
    if out:
        P._writable(arr, name)
        if height > 1 and abs(stride) < row_bytes:
            raise ValueError(f"{name}: its rows overlap (stride {stride}, {row_bytes} bytes a row)")
    return arr.ctypes.data, stride, element, width, height


def bitmap_copy(src: np.ndarray, out: Optional[np.ndarray] = None) -> np.ndarray:
    """Copy the rows of an array of any dtype (``BitmapCopy``).

    Parameters
    ----------
    src : ndarray, shape (height, width, ...)
        Any dtype but object; the elements (the axes after the first two)
        packed, rows at any spacing, negative included (``img[::-1]``).
    out : ndarray, optional
        Same shape and dtype as `src`. May be `src` itself (nothing to do).

    Returns
    -------
    ndarray
        `out`, or a new array equal to `src`.

    Examples
    --------
    >>> import numpy as np, morvex
    >>> img = np.arange(24, dtype=np.uint8).reshape(2, 3, 4)
    >>> bool((morvex.bitmap_copy(img[::-1]) == img[::-1]).all())
    True
    """
    out, (dst, dst_stride, element, width, height), src, src_plane = P.into(
        src, _rows, out, partial(_rows, out=True), same_ok=True)
    s, s_stride = src_plane[:2]
    call("BitmapCopy", (dst, dst_stride, s, s_stride, element, width, height))
    return out


def channel_copy(src: np.ndarray, out: Optional[np.ndarray] = None) -> np.ndarray:
    """Copy the bytes of one strided byte plane into another (``ChannelCopy``).

    Parameters
    ----------
    src : ndarray of uint8, shape (height, width)
        A mask, or one channel of an image such as ``image[..., 2]`` (any
        element step, negative included).
    out : ndarray of uint8, shape (height, width), optional
        Another such plane, for example ``image[..., 3]`` to route red into
        alpha; the image's other channels are not touched.

    Returns
    -------
    ndarray of uint8
        `out`, or a new packed mask.

    Examples
    --------
    >>> import numpy as np, morvex
    >>> img = np.zeros((2, 2, 4), np.uint8); img[..., 2] = 200
    >>> _ = morvex.channel_copy(img[..., 2], out=img[..., 3])   # red into alpha
    >>> img[0, 0].tolist()
    [0, 0, 200, 200]
    """
    out, (dst, dst_stride, dst_step, width, height), src, src_plane = P.into(
        src, P.byte_plane, out, P.OUT_BYTES, P.U8, same_ok=True)
    s, s_stride, s_step = src_plane[:3]
    call("ChannelCopy", (dst, dst_stride, dst_step, width, height, s, s_stride, s_step))
    return out


def _inplace_image(img, out, dtype, name="image"):
    """The array an in-place export of one image works on, whether `img` must
    still be copied into it, and its plane."""
    if out is img:
        return img, False, P.image(img, name, dtype, out=True)
    plane = P.image(img, name, dtype)
    if out is None:
        # A new packed array: its plane follows from the input's.
        work = np.empty(img.shape, dtype)
        _, _, width, height = plane
        stride = width * 4 * dtype.itemsize
        if height > 1 and stride > P.INT32_MAX:
            raise ValueError(f"{name}: a row of {stride} bytes does not fit 32 bits")
        return work, True, (work.ctypes.data, stride if stride <= P.INT32_MAX else 0, width,
                            height)
    work, pending = P.target(img, out)
    return work, pending, P.image(work, "out", dtype, out=True)


def _table(table):
    return P.table(table, "table", (256, 4), P.U8)


def _lut(export, image, table, out):
    """Runs Lut or LutWithAlphaClamp (the table array stays referenced
    here until the call returns)."""
    table = _table(table)
    work, pending, (p, stride, width, height) = _inplace_image(image, out, P.U8)
    P.finish(work, image, pending)
    call(export, (p, stride, width, height, table.ctypes.data))
    return work


def lut(image: NDArray[np.uint8], table: ArrayLike,
        out: Optional[NDArray[np.uint8]] = None) -> NDArray[np.uint8]:
    """Remap every channel through its own column of a table (``Lut``).

    Channel c of every pixel becomes ``table[value, c]``, alpha included;
    colour is not limited to the new alpha (see `lut_with_alpha_clamp`).

    Parameters
    ----------
    image : ndarray of uint8, shape (height, width, 4)
        Premultiplied BGRA (channel 0 blue, 1 green, 2 red, 3 alpha); use
        `from_rgba` for straight RGBA arrays.
    table : array_like of int, shape (256, 4)
        Column c is channel c's curve; entries 0..255.
    out : ndarray of uint8, optional
        Where the result goes; ``out=image`` works in place.

    Returns
    -------
    ndarray of uint8, shape (height, width, 4)

    Examples
    --------
    >>> import numpy as np, morvex
    >>> img = np.full((1, 1, 4), 100, np.uint8)
    >>> inverted = np.repeat(255 - np.arange(256)[:, None], 4, axis=1)
    >>> inverted[:, 3] = np.arange(256)          # alpha kept
    >>> morvex.lut(img, inverted)[0, 0].tolist()
    [155, 155, 155, 100]
    """
    return _lut("Lut", image, table, out)


def lut_with_alpha_clamp(image: NDArray[np.uint8], table: ArrayLike,
                         out: Optional[NDArray[np.uint8]] = None) -> NDArray[np.uint8]:
    """Remap every channel through a table, colour limited to the new alpha
    (``LutWithAlphaClamp``).

    As `lut`, then blue, green and red are each limited to the pixel's new
    alpha ``table[alpha, 3]``, so the result stays premultiplied.

    Parameters
    ----------
    image : ndarray of uint8, shape (height, width, 4)
        Premultiplied BGRA.
    table : array_like of int, shape (256, 4)
        Column c is channel c's curve; entries 0..255.
    out : ndarray of uint8, optional
        Where the result goes; ``out=image`` works in place.

    Returns
    -------
    ndarray of uint8, shape (height, width, 4)

    Examples
    --------
    >>> import numpy as np, morvex
    >>> img = np.array([[[90, 90, 90, 200]]], np.uint8)
    >>> half_alpha = np.repeat(np.arange(256)[:, None], 4, axis=1)
    >>> half_alpha[:, 3] //= 4
    >>> morvex.lut_with_alpha_clamp(img, half_alpha)[0, 0].tolist()
    [50, 50, 50, 50]
    """
    return _lut("LutWithAlphaClamp", image, table, out)


def channel_map(image: NDArray[np.uint8], channel: int, table: ArrayLike,
                out: Optional[NDArray[np.uint8]] = None) -> NDArray[np.uint8]:
    """Replace every pixel by the table entry its channel selects (``ChannelMap``).

    Parameters
    ----------
    image : ndarray of uint8, shape (height, width, 4)
        Premultiplied BGRA.
    channel : int
        0 blue, 1 green, 2 red, 3 alpha. Any other value is refused by the
        library: `MorvexError` with its line ``"ChannelMap: invalid channel
        value"``.
    table : array_like of int, shape (256, 4)
        256 whole BGRA pixels (premultiplied, to keep the result so).
    out : ndarray of uint8, optional
        Where the result goes; ``out=image`` works in place.

    Returns
    -------
    ndarray of uint8, shape (height, width, 4)

    Examples
    --------
    >>> import numpy as np, morvex
    >>> ramp = np.zeros((256, 4), np.uint8); ramp[:, 2] = ramp[:, 3] = 255
    >>> img = np.zeros((1, 2, 4), np.uint8)
    >>> morvex.channel_map(img, 0, ramp)[0, 0].tolist()      # opaque red
    [0, 0, 255, 255]
    """
    channel = P.int32(channel, "channel")
    if not 0 <= channel <= 3:
        refuse_with_line("ChannelMap", CHANNEL_MAP_LINE)
    table = _table(table)
    work, pending, (p, stride, width, height) = _inplace_image(image, out, P.U8)
    P.finish(work, image, pending)
    call("ChannelMap", (p, stride, channel, width, height, table.ctypes.data))
    return work


def channel_map_ex(src: NDArray[np.uint8], channel: int, table: ArrayLike,
                   out: Optional[NDArray[np.uint8]] = None) -> NDArray[np.uint8]:
    """As `channel_map`, into a separate image (``ChannelMapEx``).

    Parameters
    ----------
    src : ndarray of uint8, shape (height, width, 4)
        Premultiplied BGRA; not modified.
    channel : int
        0..3; others raise `MorvexError` with the library's line
        ``"ChannelMap: invalid channel value"``.
    table : array_like of int, shape (256, 4)
        256 BGRA pixels.
    out : ndarray of uint8, optional
        The destination image (may be `src`).

    Returns
    -------
    ndarray of uint8, shape (height, width, 4)

    Examples
    --------
    >>> import numpy as np, morvex
    >>> grey = np.repeat(np.arange(256, dtype=np.uint8)[:, None], 4, axis=1)
    >>> img = np.array([[[10, 20, 30, 255]]], np.uint8)
    >>> morvex.channel_map_ex(img, 2, grey)[0, 0].tolist()   # red as grey
    [30, 30, 30, 30]
    """
    channel = P.int32(channel, "channel")
    if not 0 <= channel <= 3:
        refuse_with_line("ChannelMapEx", CHANNEL_MAP_LINE)
    table = _table(table)
    out, (dst, dst_stride, width, height), src, (s, s_stride, _, _) = P.into(
        src, P.IMAGE_U8, out, P.OUT_IMAGE_U8, P.U8, same_ok=True)
    call("ChannelMapEx", (dst, dst_stride, s, s_stride, channel, width, height,
                          table.ctypes.data))
    return out


def channel_merge_lut(image: NDArray[np.uint8], channel_count: int, table: ArrayLike,
                      out: Optional[NDArray[np.uint8]] = None) -> NDArray[np.uint8]:
    """Replace every pixel by the table entry of the sum of its first channels
    (``ChannelMergeLut``).

    Parameters
    ----------
    image : ndarray of uint8, shape (height, width, 4)
        Premultiplied BGRA.
    channel_count : int
        0..4: how many channels from blue on are summed (3: blue + green +
        red, 4: with alpha, 0: none, so entry 0 everywhere). The sum is
        limited to 255.
    table : array_like of int, shape (256, 4)
        256 BGRA pixels.
    out : ndarray of uint8, optional
        Where the result goes; ``out=image`` works in place.

    Returns
    -------
    ndarray of uint8, shape (height, width, 4)

    Raises
    ------
    ValueError
        A channel_count outside 0..4.

    Examples
    --------
    >>> import numpy as np, morvex
    >>> grey = np.repeat(np.arange(256, dtype=np.uint8)[:, None], 4, axis=1)
    >>> img = np.array([[[200, 100, 50, 255]]], np.uint8)
    >>> morvex.channel_merge_lut(img, 3, grey)[0, 0].tolist()   # 350 limited to 255
    [255, 255, 255, 255]
    """
    channel_count = P.int32(channel_count, "channel_count")
    if not 0 <= channel_count <= 4:
        raise ValueError(f"channel_count must be 0, 1, 2, 3 or 4, got {channel_count}")
    work, pending, (p, stride, width, height) = _inplace_image(image, out, P.U8)
    table = _table(table)
    P.finish(work, image, pending)
    call("ChannelMergeLut", (p, stride, channel_count, width, height, table.ctypes.data))
    return work


def _convert(export, src, out, src_plane_of, out_plane_of, dtype, shape=None, extra=()):
    """A conversion export (dst plane, src plane, sizes); `extra` is
    ConvertChannelToFloatMask's (channel, table), which stand before and
    after the sizes."""
    out, (dst, dst_stride, width, height), src, (s, s_stride, _, _) = P.into(
        src, src_plane_of, out, out_plane_of, dtype, shape)
    call(export, (dst, dst_stride, s, s_stride, *extra[:1], width, height, *extra[1:]))
    return out


def convert_argb_to_argb_float(src: NDArray[np.uint8], out: Optional[NDArray[np.float32]] = None
                               ) -> NDArray[np.float32]:
    """Bytes to float32 pixels of the same values, 0..255 (``ConvertARGBToARGBFloat``).

    Nothing is scaled or unpremultiplied: the float image is premultiplied
    BGRA on the 0..255 scale, as the float exports take it.

    Parameters
    ----------
    src : ndarray of uint8, shape (height, width, 4)
        Premultiplied BGRA.
    out : ndarray of float32, shape (height, width, 4), optional

    Returns
    -------
    ndarray of float32, shape (height, width, 4)

    Examples
    --------
    >>> import numpy as np, morvex
    >>> morvex.convert_argb_to_argb_float(np.full((1, 1, 4), 7, np.uint8))[0, 0].tolist()
    [7.0, 7.0, 7.0, 7.0]
    """
    return _convert("ConvertARGBToARGBFloat", src, out, P.IMAGE_U8, P.OUT_IMAGE_F32, P.F32)


def convert_argb_float_to_argb(src: NDArray[np.float32], out: Optional[NDArray[np.uint8]] = None
                               ) -> NDArray[np.uint8]:
    """Float32 pixels to bytes, rounded and clamped (``ConvertARGBFloatToARGB``).

    Each value is rounded to nearest, halves to even (whatever the thread's
    rounding mode), and clamped to 0..255; NaN, infinities and magnitudes of
    2**31 or more give 0. Colour is not limited to alpha.

    Parameters
    ----------
    src : ndarray of float32, shape (height, width, 4)
        BGRA on the 0..255 scale.
    out : ndarray of uint8, shape (height, width, 4), optional

    Returns
    -------
    ndarray of uint8, shape (height, width, 4)

    Examples
    --------
    >>> import numpy as np, morvex
    >>> f = np.array([[[0.5, 1.5, 254.5, 300.0]]], np.float32)
    >>> morvex.convert_argb_float_to_argb(f)[0, 0].tolist()
    [0, 2, 254, 255]
    """
    return _convert("ConvertARGBFloatToARGB", src, out, P.IMAGE_F32, P.OUT_IMAGE_U8, P.U8)


def convert_channel_to_float_mask(src: NDArray[np.uint8], channel: int, table: ArrayLike,
                                  out: Optional[NDArray[np.float32]] = None
                                  ) -> NDArray[np.float32]:
    """One channel through a float table into a float mask (``ConvertChannelToFloatMask``).

    Parameters
    ----------
    src : ndarray of uint8, shape (height, width, 4)
        BGRA pixels.
    channel : int
        0 blue, 1 green, 2 red, 3 alpha.
    table : array_like of float, shape (256,)
        The float for each byte value (``np.arange(256)`` gives a 0..255
        mask, ``np.arange(256) / 255`` a 0..1 mask); converted to float32.
    out : ndarray of float32, shape (height, width), optional

    Returns
    -------
    ndarray of float32, shape (height, width)

    Raises
    ------
    ValueError
        A channel outside 0..3.

    Examples
    --------
    >>> import numpy as np, morvex
    >>> img = np.array([[[0, 0, 0, 51]]], np.uint8)
    >>> morvex.convert_channel_to_float_mask(img, 3, np.arange(256) / 255).tolist()
    [[0.20000000298023224]]
    """
    channel = P.int32(channel, "channel")
    if not 0 <= channel <= 3:
        raise ValueError(f"channel must be 0, 1, 2 or 3 (blue, green, red, alpha), got {channel}")
    table = P.table(table, "table", (256,), P.F32)
    return _convert("ConvertChannelToFloatMask", src, out, P.IMAGE_U8, P.OUT_MASK_F32, P.F32,
                    lambda shape: shape[:2], (channel, table.ctypes.data))


def convert_float_mask_to_argb(src: NDArray[np.float32], out: Optional[NDArray[np.uint8]] = None
                               ) -> NDArray[np.uint8]:
    """A float mask to grey pixels (v, v, v, v) (``ConvertFloatMaskToARGB``).

    Each value is rounded as in `convert_argb_float_to_argb` (halves to
    even, clamped to 0..255) into all four bytes: grey premultiplied pixels
    whose alpha is the value too.

    Parameters
    ----------
    src : ndarray of float32, shape (height, width)
        A mask on the 0..255 scale.
    out : ndarray of uint8, shape (height, width, 4), optional

    Returns
    -------
    ndarray of uint8, shape (height, width, 4)

    Examples
    --------
    >>> import numpy as np, morvex
    >>> morvex.convert_float_mask_to_argb(np.array([[64.0]], np.float32))[0, 0].tolist()
    [64, 64, 64, 64]
    """
    return _convert("ConvertFloatMaskToARGB", src, out, P.MASK_F32, P.OUT_IMAGE_U8, P.U8,
                    lambda shape: shape + (4,))

