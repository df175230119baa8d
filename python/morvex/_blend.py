"""Blending, compositing and scaling of 8-bit and float images."""

from . import _planes as P
from ._native import call
from ._pixel import _inplace_image

COMPOSITE_MODES = {"normal": 1, "add": 3, "multiply": 4, "overlay": 5, "screen": 6, "average": 7}


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


def blend(dst, src, dst_weight, out=None):
    """Mixes the colour of `src` into `dst` with weight 1 - dst_weight
    (12-bit fixed point), clamped to dst's alpha; alpha stays dst's."""
    dst_weight = P.real(dst_weight, "dst_weight")
    work, (d, d_stride, width, height), [(s, s_stride)], _inputs = _dst_and(
        dst, out, (src, "src", True))
    call("Blend", (d, d_stride, s, s_stride, width, height, dst_weight))
    return work


def masked_blend(dst, mask, src, weight_lut=None, out=None):
    """Per colour channel c, mixes src into dst by mask[..., c] / 255 (or by
    weight_lut[mask[..., c], c] when a (256, 4) uint8 table is given),
    clamped to dst's alpha."""
    if weight_lut is not None:
        weight_lut = P.table(weight_lut, "weight_lut", (256, 4), P.U8)
    work, (d, d_stride, width, height), [(m, m_stride), (s, s_stride)], _inputs = _dst_and(
        dst, out, (mask, "mask", False), (src, "src", True))
    call("MaskedBlend", (d, d_stride, m, m_stride, s, s_stride, width, height,
                         None if weight_lut is None else weight_lut.ctypes.data))
    return work


def masked_fade(dst, mask, src, out=None):
    """As masked_blend for all four channels: alpha mixed by mask[..., 3]
    first, colours clamped to the new alpha."""
    work, (d, d_stride, width, height), [(m, m_stride), (s, s_stride)], _inputs = _dst_and(
        dst, out, (mask, "mask", False), (src, "src", True))
    call("MaskedFade", (d, d_stride, m, m_stride, s, s_stride, width, height))
    return work


def composite(dst, src, mode, opacity=1.0, out=None):
    """Lays src over dst in a blend mode (1 or "normal", 3 "add", 4
    "multiply", 5 "overlay", 6 "screen", 7 "average"), mixed with dst by
    opacity. Other mode numbers are refused by the library (MorvexError)."""
    mode = P.named(mode, COMPOSITE_MODES, "mode")
    opacity = P.real(opacity, "opacity")
    work, (d, d_stride, width, height), [(s, s_stride)], _inputs = _dst_and(
        dst, out, (src, "src", True))
    call("Composite", (d, d_stride, s, s_stride, width, height, mode, opacity),
         f"mode {mode} is not one of 1, 3, 4, 5, 6, 7")
    return work


def multiply(image, factor, out=None):
    """Every byte b (alpha included) becomes (b * k + 127) / 256, k = trunc(factor * 256 + 0.5)."""
    factor = P.real(factor, "factor")
    work, pending, (p, stride, width, height) = _inplace_image(image, out, P.U8)
    P.finish(work, image, pending)
    call("Multiply", (p, stride, width, height, factor))
    return work


def multiply_channel(dst, dst_channel, mask, mask_channel, scale=1.0, offset=0.0, out=None):
    """Scales byte dst_channel of every dst pixel by byte mask_channel of the
    mask pixel (mask: a uint8 image of dst's shape, which may be dst itself).
    Channels above 3 are refused by the library (MorvexError)."""
    dst_channel = P.uint32(dst_channel, "dst_channel")
    mask_channel = P.uint32(mask_channel, "mask_channel")
    scale = P.real(scale, "scale")
    offset = P.real(offset, "offset")
    work, (d, d_stride, width, height), [(m, m_stride)], _inputs = _dst_and(
        dst, out, (mask, "mask", True))
    call("MultiplyChannel", (d, d_stride, dst_channel, m, m_stride, mask_channel, width, height,
                             scale, offset),
         f"channels {dst_channel} and {mask_channel}: each must be 0..3")
    return work


def mask_multiply(dst, mask, mask_channel=None, scale=1.0, offset=0.0, out=None):
    """Scales all four bytes of every dst pixel as multiply_channel does: by
    the mask byte of the same index (mask_channel None or negative) or by
    mask byte mask_channel. A mask_channel of 4 or more is refused by the
    library (MorvexError)."""
    mask_channel = -1 if mask_channel is None else P.int32(mask_channel, "mask_channel")
    scale = P.real(scale, "scale")
    offset = P.real(offset, "offset")
    work, (d, d_stride, width, height), [(m, m_stride)], _inputs = _dst_and(
        dst, out, (mask, "mask", True))
    call("MaskMultiply", (d, d_stride, m, m_stride, width, height, mask_channel, scale, offset),
         f"mask_channel {mask_channel} is 4 or more")
    return work


def _clip(name, image, clip_level, restore_min, out):
    clip_level = P.real(clip_level, "clip_level")
    restore_min = P.real(restore_min, "restore_min")
    work, pending, (p, stride, width, height) = _inplace_image(image, out, P.F32)
    P.finish(work, image, pending)
    call(name, (p, stride, width, height, clip_level, restore_min))
    return work


def clip_restore(image, clip_level, restore_min=0.0, out=None):
    """On a float32 image, every colour value above clip_level * 255 becomes
    the pixel's alpha, or restore_min * 255 when the alpha is below that."""
    return _clip("ClipRestore", image, clip_level, restore_min, out)


def focus_prep(image, clip_level, restore_min=0.0, out=None):
    """The same operation as clip_restore, through the FocusPrep export."""
    return _clip("FocusPrep", image, clip_level, restore_min, out)
