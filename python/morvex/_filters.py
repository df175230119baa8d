"""The 3x3 blur, edge detection and the radial blur."""

from __future__ import annotations

from typing import Optional

import numpy as np
from numpy.typing import NDArray

from . import _planes as P
from ._native import call, call_in_worker, refuse

# The default bound on radial_blur_mask's work, in samples (about 2 ns each
# on a current x86 core), and the work above which it runs on a worker
# thread so that Ctrl-C is answered at once.
RADIAL_MAX_SAMPLES = 2**32
_WORKER_SAMPLES = 2**24


def blur3x3(src: NDArray[np.uint8], out: Optional[NDArray[np.uint8]] = None
            ) -> NDArray[np.uint8]:
    """Binomial 3x3 blur of all four channels (``Blur3x3``).

    ``(1 2 1; 2 4 2; 1 2 1) / 16`` truncated, the borders clamped (edge
    pixels see themselves in place of missing neighbours); a premultiplied
    image stays premultiplied.

    Parameters
    ----------
    src : ndarray of uint8, shape (height, width, 4)
        Premultiplied BGRA.
    out : ndarray of uint8, shape (height, width, 4), optional
        The destination (it may overlap `src`: the binding then reads a copy).

    Returns
    -------
    ndarray of uint8, shape (height, width, 4)

    Examples
    --------
    >>> import numpy as np, morvex
    >>> img = np.zeros((3, 3, 4), np.uint8); img[1, 1] = 255
    >>> morvex.blur3x3(img)[..., 0].tolist()
    [[15, 31, 15], [31, 63, 31], [15, 31, 15]]
    """
    out, (dst, dst_stride, width, height), src, (s, s_stride, _, _) = P.into(
        src, P.IMAGE_U8, out, P.OUT_IMAGE_U8)
    call("Blur3x3", (dst, dst_stride, s, s_stride, width, height))
    return out


def edge_detect(src: NDArray[np.uint8], threshold: float, single_channel: bool = False,
                out: Optional[NDArray[np.uint8]] = None) -> NDArray[np.uint8]:
    """Edge map from the largest difference of opposite neighbours (``EdgeDetect``).

    A pixel's strength is the largest of ``|up-left - down-right|``, ``|up -
    down|``, ``|up-right - down-left|`` and ``|left - right|`` (rows clamped
    at the top and bottom). The result is opaque; the first and last column
    are black. Alpha of `src` is not read.

    Parameters
    ----------
    src : ndarray of uint8, shape (height, width, 4)
        Premultiplied BGRA.
    threshold : float
        0..1, compared as ``T = trunc(threshold * 255)``.
    single_channel : bool, default False
        True: grey strengths of the blue channel, 0 below T (threshold 0
        shows every strength). False: per colour channel 0, or T where its
        strength reaches T (threshold 0 gives black).
    out : ndarray of uint8, shape (height, width, 4), optional
        The destination (it may overlap `src`: the binding reads a copy).

    Returns
    -------
    ndarray of uint8, shape (height, width, 4)

    Examples
    --------
    >>> import numpy as np, morvex
    >>> step = np.zeros((1, 6, 4), np.uint8); step[:, 3:] = 255
    >>> morvex.edge_detect(step, 0.5, single_channel=True)[0, :, 0].tolist()
    [0, 0, 255, 255, 0, 0]
    """
    threshold = P.number(threshold, "threshold", 0, 1)
    single_channel = P.flag(single_channel, "single_channel")
    out, (dst, dst_stride, width, height), src, (s, s_stride, _, _) = P.into(
        src, P.IMAGE_U8, out, P.OUT_IMAGE_U8)
    call("EdgeDetect", (dst, dst_stride, s, s_stride, width, height, single_channel, threshold))
    return out


def _displacement_ceilings(count, centre, scale):
    """ceil(|displacement|) along one axis for positions 0 .. count - 1, in
    the library's own double arithmetic; NaN (a copied element) as 0."""
    k = 1.0 / scale
    positions = np.arange(count, dtype=np.float64)
    with np.errstate(invalid="ignore", over="ignore"):
        n = np.ceil(np.abs((centre + (positions - centre) * k) - positions))
    return np.where(np.isnan(n), 0.0, n)


def radial_samples(width: int, height: int, center_x: float, center_y: float, scale_x: float,
                   scale_y: float) -> float:
    """The number of samples `radial_blur_mask` takes over a width x height
    plane with these parameters (its work is proportional to it)."""
    a = _displacement_ceilings(width, center_x, scale_x)
    b = np.sort(_displacement_ceilings(height, center_y, scale_y))
    # A displacement beyond the 32-bit range takes width + height samples.
    cap = float(width + height)
    a = np.where(a > P.INT32_MAX, cap, a)
    b = np.where(b > P.INT32_MAX, cap, b)
    if not a.size or not b.size:
        return 0.0
    # The sum over the grid of max(a[x], b[y]).
    b = np.sort(b)
    below = np.searchsorted(b, a, side="right")
    above_sum = np.concatenate([np.cumsum(b[::-1])[::-1], [0.0]])
    return float(np.sum(a * below + above_sum[below]))


def check_samples(width: int, height: int, center_x: float, center_y: float, scale_x: float,
                  scale_y: float, max_samples: float) -> float:
    """radial_samples for a plane of this size, or ValueError when it is
    more than max_samples."""
    samples = radial_samples(width, height, center_x, center_y, scale_x, scale_y)
    if samples > max_samples:
        raise ValueError(f"radial_blur_mask would take {samples:.3g} samples (about "
                         f"{samples * 2e-9:.3g} s), more than max_samples={max_samples:.3g}; "
                         f"pass a larger max_samples to allow it")
    return samples


def radial_blur_mask(src: NDArray[np.uint8], center_x: float, center_y: float, scale_x: float,
                     scale_y: float, gain: float = 1.0, out: Optional[NDArray[np.uint8]] = None,
                     *, max_samples: float = RADIAL_MAX_SAMPLES) -> NDArray[np.uint8]:
    """Zoom blur of a byte plane towards a centre (``RadialBlurMask``).

    Every element becomes ``gain`` times the mean of bilinear samples from
    itself towards ``centre + (position - centre) / scale``, one per unit of
    the longer axis of that segment; the result is truncated and limited to
    255 (the limit is the meaning of a gain above 1). Samples beyond the
    plane take its edge values. The work grows with the segments' length:
    with scale 1.2 on a 4000 x 3000 plane about 2e9 samples (4 s), and a
    scale near 0 (or far from 1 on a big plane) much more, so calls of more
    than `max_samples` samples are refused. Long calls run on a worker
    thread and Ctrl-C raises KeyboardInterrupt at once (the call runs to
    its end in the background, into an array of its own; `out` is
    untouched).

    Parameters
    ----------
    src : ndarray of uint8, shape (height, width)
        A mask, or one channel of an image (``image[..., 3]``).
    center_x, center_y : float
        The centre, in columns and rows (anywhere, also outside the plane).
    scale_x, scale_y : float
        Above 1 blurs inwards (towards the centre), below 1 outwards, 1
        leaves that axis sharp; not 0.
    gain : float, default 1.0
        Factor on the mean, 0 or more.
    out : ndarray of uint8, shape (height, width), optional
        Another such plane (for example ``image[..., 3]``); by default a new
        packed mask.
    max_samples : float, default 2**32
        The bound on the work (about 8 s); raise it to allow longer calls.

    Returns
    -------
    ndarray of uint8, shape (height, width)

    Raises
    ------
    ValueError
        A parameter out of range, or more than `max_samples` samples.

    Examples
    --------
    >>> import numpy as np, morvex
    >>> row = np.array([[0, 40, 80, 120, 160]], np.uint8)
    >>> morvex.radial_blur_mask(row, 0, 0, 2.0, 1.0).tolist()
    [[0, 40, 80, 105, 140]]
    """
    center_x = P.number(center_x, "center_x")
    center_y = P.number(center_y, "center_y")
    scale_x = P.number(scale_x, "scale_x")
    scale_y = P.number(scale_y, "scale_y")
    for value, name in ((scale_x, "scale_x"), (scale_y, "scale_y")):
        if value == 0:
            raise ValueError(f"{name} must not be 0 (1 leaves that axis sharp)")
    gain = P.number(gain, "gain", 0)
    max_samples = P.number(max_samples, "max_samples", 0)
    _, _, _, width, height = P.byte_plane(src, "src")
    samples = check_samples(width, height, center_x, center_y, scale_x, scale_y, max_samples)
    values = (center_x, center_y, scale_x, scale_y, gain)
    if samples <= _WORKER_SAMPLES:
        out, (dst, dst_stride, dst_step, _, _), src, src_plane = P.into(
            src, P.byte_plane, out, P.OUT_BYTES, P.U8)
        call("RadialBlurMask", (dst, dst_stride, dst_step, *src_plane[:3], width, height,
                                *values))
        return out
    # Into an array of the binding's own, copied into `out` when done.
    result, (dst, dst_stride, dst_step, _, _), src, src_plane = P.into(
        src, P.byte_plane, None, P.OUT_BYTES, P.U8)
    if out is not None:
        out = P.result(out, src.shape, P.U8)
        P.byte_plane(out, "out", out=True)
    if call_in_worker("RadialBlurMask", (dst, dst_stride, dst_step, *src_plane[:3], width,
                                         height, *values), (result, src)) == 0:
        refuse("RadialBlurMask", "arguments refused")
    if out is None:
        return result
    np.copyto(out, result)
    return out
