"""Copies, channel routing, lookup tables and format conversions."""

from functools import partial

import numpy as np

from . import _planes as P
from ._native import call, call_with_diagnostic


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


def bitmap_copy(src, out=None):
    """Copies the rows of `src`, an array of shape (height, width, ...) of any
    dtype whose elements are packed, into a new array or `out`."""
    out, (dst, dst_stride, element, width, height), src, src_plane = P.into(
        src, _rows, out, partial(_rows, out=True), same_ok=True)
    s, s_stride = src_plane[:2]
    call("BitmapCopy", (dst, dst_stride, s, s_stride, element, width, height))
    return out


def channel_copy(src, out=None):
    """Copies the bytes of a 2-D uint8 plane with any element step (a mask, or
    one channel of an image such as image[..., 2]) into `out`, another such
    plane (for example image[..., 3]), or a new mask."""
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


def lut(image, table, out=None):
    """Each channel c of every pixel becomes table[value, c]; `table` is
    (256, 4) uint8, column c for channel c (B, G, R, A)."""
    return _lut("Lut", image, table, out)


def lut_with_alpha_clamp(image, table, out=None):
    """As lut, then blue, green and red are limited to the new alpha."""
    return _lut("LutWithAlphaClamp", image, table, out)


def channel_map(image, channel, table, out=None):
    """Every pixel becomes the BGRA pixel table[v] with v its byte `channel`.
    A channel other than 0..3 is refused by the library (MorvexError)."""
    channel = P.int32(channel, "channel")
    table = _table(table)
    work, pending, (p, stride, width, height) = _inplace_image(image, out, P.U8)
    P.finish(work, image, pending)
    call_with_diagnostic("ChannelMap", (p, stride, channel, width, height, table.ctypes.data),
                         "ChannelMap", not 0 <= channel <= 3)
    return work


def channel_map_ex(src, channel, table, out=None):
    """As channel_map, into `out` or a new image; src is not modified."""
    channel = P.int32(channel, "channel")
    table = _table(table)
    out, (dst, dst_stride, width, height), src, (s, s_stride, _, _) = P.into(
        src, P.IMAGE_U8, out, P.OUT_IMAGE_U8, P.U8, same_ok=True)
    call_with_diagnostic("ChannelMapEx", (dst, dst_stride, s, s_stride, channel, width, height,
                                          table.ctypes.data),
                         "ChannelMap", not 0 <= channel <= 3)
    return out


def channel_merge_lut(image, channel_count, table, out=None):
    """Every pixel becomes table[min(255, sum of its first channel_count bytes)]."""
    channel_count = P.int32(channel_count, "channel_count")
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


def convert_argb_to_argb_float(src, out=None):
    """uint8 (height, width, 4) pixels to float32 pixels of the same values."""
    return _convert("ConvertARGBToARGBFloat", src, out, P.IMAGE_U8, P.OUT_IMAGE_F32, P.F32)


def convert_argb_float_to_argb(src, out=None):
    """float32 (height, width, 4) pixels to bytes, rounded half to even and clamped."""
    return _convert("ConvertARGBFloatToARGB", src, out, P.IMAGE_F32, P.OUT_IMAGE_U8, P.U8)


def convert_channel_to_float_mask(src, channel, table, out=None):
    """A float32 (height, width) mask of table[byte `channel` of each pixel];
    `table` holds 256 float32 values."""
    channel = P.int32(channel, "channel")
    if not 0 <= channel <= 3:
        raise ValueError(f"channel must be 0, 1, 2 or 3 (blue, green, red, alpha), got {channel}")
    table = P.table(table, "table", (256,), P.F32)
    return _convert("ConvertChannelToFloatMask", src, out, P.IMAGE_U8, P.OUT_MASK_F32, P.F32,
                    lambda shape: shape[:2], (channel, table.ctypes.data))


def convert_float_mask_to_argb(src, out=None):
    """A float32 (height, width) mask to grey pixels (v, v, v, v), v rounded and clamped."""
    return _convert("ConvertFloatMaskToARGB", src, out, P.MASK_F32, P.OUT_IMAGE_U8, P.U8,
                    lambda shape: shape + (4,))
