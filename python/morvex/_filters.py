"""The 3x3 blur, edge detection and the radial blur."""

from . import _planes as P
from ._native import call


def blur3x3(src, out=None):
    """Binomial 3x3 blur of a uint8 image (borders clamped, truncating)."""
    out, (dst, dst_stride, width, height), src, (s, s_stride, _, _) = P.into(
        src, P.IMAGE_U8, out, P.OUT_IMAGE_U8)
    call("Blur3x3", (dst, dst_stride, s, s_stride, width, height))
    return out


def edge_detect(src, threshold, single_channel=False, out=None):
    """Edge strengths of a uint8 image against threshold * 255: grey
    strengths from blue (single_channel) or per-channel flags; opaque."""
    threshold = P.real(threshold, "threshold")
    single_channel = P.flag(single_channel, "single_channel")
    out, (dst, dst_stride, width, height), src, (s, s_stride, _, _) = P.into(
        src, P.IMAGE_U8, out, P.OUT_IMAGE_U8)
    call("EdgeDetect", (dst, dst_stride, s, s_stride, width, height, single_channel, threshold))
    return out


def radial_blur_mask(src, center_x, center_y, scale_x, scale_y, gain=1.0, out=None):
    """Zoom blur of a 2-D uint8 plane (a mask, or a channel such as
    image[..., 3]) towards (center_x, center_y); `out` is another such plane
    or, by default, a new mask."""
    values = [P.real(v, n) for v, n in ((center_x, "center_x"), (center_y, "center_y"),
                                         (scale_x, "scale_x"), (scale_y, "scale_y"),
                                         (gain, "gain"))]
    out, (dst, dst_stride, dst_step, width, height), src, src_plane = P.into(
        src, P.byte_plane, out, P.OUT_BYTES, P.U8)
    s, s_stride, s_step = src_plane[:3]
    call("RadialBlurMask", (dst, dst_stride, dst_step, s, s_stride, s_step, width, height,
                            *values))
    return out
