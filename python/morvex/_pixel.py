"""Copies, channel routing, lookup tables and format conversions."""

import numpy as np

from . import _planes as P
from ._native import call, call_with_diagnostic


def _rows(arr, name, out=False):
    """(address, stride, element bytes, width, height) of an array of shape
    (height, width, ...) whose elements (the trailing axes) are packed."""
    P._array(arr, name)
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
    _rows(src, "src")
    out = P.result(out, src.shape, src.dtype)
    dst, dst_stride, element, width, height = _rows(out, "out", out=True)
    src = P.apart(src, out, False, same_ok=True)
    s, s_stride, _, _, _ = _rows(src, "src")
    call("BitmapCopy", (dst, dst_stride, s, s_stride, element, width, height))
    return out


def channel_copy(src, out=None):
    """Copies the bytes of a 2-D uint8 plane with any element step (a mask, or
    one channel of an image such as image[..., 2]) into `out`, another such
    plane (for example image[..., 3]), or a new mask."""
    src_plane = P.byte_plane(src, "src")
    out = P.result(out, src.shape, P.U8)
    dst, dst_stride, dst_step, width, height = P.byte_plane(out, "out", out=True)
    copy = P.apart(src, out, False, same_ok=True)
    s, s_stride, s_step, _, _ = (src_plane if copy is src else P.byte_plane(copy, "src"))
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


def _channel_table(table):
    return P.table(table, "table", (256, 4), P.U8)


def lut(image, table, out=None):
    """Each channel c of every pixel becomes table[value, c]; `table` is
    (256, 4) uint8, column c for channel c (B, G, R, A)."""
    table = _channel_table(table)
    work, pending, (p, stride, width, height) = _inplace_image(image, out, P.U8)
    P.finish(work, image, pending)
    call("Lut", (p, stride, width, height, table.ctypes.data))
    return work


def lut_with_alpha_clamp(image, table, out=None):
    """As lut, then blue, green and red are limited to the new alpha."""
    table = _channel_table(table)
    work, pending, (p, stride, width, height) = _inplace_image(image, out, P.U8)
    P.finish(work, image, pending)
    call("LutWithAlphaClamp", (p, stride, width, height, table.ctypes.data))
    return work


def _pixel_table(table):
    return P.table(table, "table", (256, 4), P.U8)


def channel_map(image, channel, table, out=None):
    """Every pixel becomes the BGRA pixel table[v] with v its byte `channel`.
    A channel other than 0..3 is refused by the library (MorvexError)."""
    channel = P.int32(channel, "channel")
    table = _pixel_table(table)
    work, pending, (p, stride, width, height) = _inplace_image(image, out, P.U8)
    P.finish(work, image, pending)
    call_with_diagnostic("ChannelMap", (p, stride, channel, width, height, table.ctypes.data),
                         "ChannelMap", not 0 <= channel <= 3)
    return work


def channel_map_ex(src, channel, table, out=None):
    """As channel_map, into `out` or a new image; src is not modified."""
    channel = P.int32(channel, "channel")
    table = _pixel_table(table)
    src_plane = P.image(src, "src", P.U8)
    out = P.result(out, src.shape, P.U8)
    dst, dst_stride, width, height = P.image(out, "out", P.U8, out=True)
    copy = P.apart(src, out, False, same_ok=True)
    s, s_stride, _, _ = (src_plane if copy is src else P.image(copy, "src", P.U8))
    call_with_diagnostic("ChannelMapEx", (dst, dst_stride, s, s_stride, channel, width, height,
                                          table.ctypes.data),
                         "ChannelMap", not 0 <= channel <= 3)
    return out


def channel_merge_lut(image, channel_count, table, out=None):
    """Every pixel becomes table[min(255, sum of its first channel_count bytes)]."""
    channel_count = P.int32(channel_count, "channel_count")
    table = _pixel_table(table)
    work, pending, (p, stride, width, height) = _inplace_image(image, out, P.U8)
    P.finish(work, image, pending)
    call("ChannelMergeLut", (p, stride, channel_count, width, height, table.ctypes.data))
    return work


def convert_argb_to_argb_float(src, out=None):
    """uint8 (height, width, 4) pixels to float32 pixels of the same values."""
    src_plane = P.image(src, "src", P.U8)
    out = P.result(out, src.shape, P.F32)
    dst, dst_stride, width, height = P.image(out, "out", P.F32, out=True)
    copy = P.apart(src, out, False)
    s, s_stride, _, _ = (src_plane if copy is src else P.image(copy, "src", P.U8))
    call("ConvertARGBToARGBFloat", (dst, dst_stride, s, s_stride, width, height))
    return out


def convert_argb_float_to_argb(src, out=None):
    """float32 (height, width, 4) pixels to bytes, rounded half to even and clamped."""
    src_plane = P.image(src, "src", P.F32)
    out = P.result(out, src.shape, P.U8)
    dst, dst_stride, width, height = P.image(out, "out", P.U8, out=True)
    copy = P.apart(src, out, False)
    s, s_stride, _, _ = (src_plane if copy is src else P.image(copy, "src", P.F32))
    call("ConvertARGBFloatToARGB", (dst, dst_stride, s, s_stride, width, height))
    return out


def convert_channel_to_float_mask(src, channel, table, out=None):
    """A float32 (height, width) mask of table[byte `channel` of each pixel];
    `table` holds 256 float32 values."""
    channel = P.int32(channel, "channel")
    if not 0 <= channel <= 3:
        raise ValueError(f"channel must be 0, 1, 2 or 3 (blue, green, red, alpha), got {channel}")
    table = P.table(table, "table", (256,), P.F32)
    src_plane = P.image(src, "src", P.U8)
    out = P.result(out, src.shape[:2], P.F32)
    dst, dst_stride, width, height = P.mask(out, "out", P.F32, out=True)
    copy = P.apart(src, out, False)
    s, s_stride, _, _ = (src_plane if copy is src else P.image(copy, "src", P.U8))
    call("ConvertChannelToFloatMask", (dst, dst_stride, s, s_stride, channel, width, height,
                                       table.ctypes.data))
    return out


def convert_float_mask_to_argb(src, out=None):
    """A float32 (height, width) mask to grey pixels (v, v, v, v), v rounded and clamped."""
    src_plane = P.mask(src, "src", P.F32)
    out = P.result(out, src.shape + (4,), P.U8)
    dst, dst_stride, width, height = P.image(out, "out", P.U8, out=True)
    copy = P.apart(src, out, False)
    s, s_stride, _, _ = (src_plane if copy is src else P.mask(copy, "src", P.F32))
    call("ConvertFloatMaskToARGB", (dst, dst_stride, s, s_stride, width, height))
    return out
