"""The recursive Gaussian blurs."""

from __future__ import annotations

from typing import Optional

import numpy as np
from numpy.typing import ArrayLike, NDArray

from . import _planes as P
from ._native import call_with_line, refuse_with_line
from ._pixel import _inplace_image

_FORMATS = {P.U8: 4, P.F32: 16}
# The sigmas the filter honours; the library clamps others into this range.
SIGMA_MIN, SIGMA_MAX = 0.5, 54.0
_TEMP_LINE = "{}: we need a bigger temporary buffer"


def _check_temp_size(name, needed):
    if not P.fits_int32(needed):
        raise ValueError(f"{name}: the temporary buffer would need {needed} bytes, more than "
                         f"the library's 32-bit size allows; blur a smaller region")


def _temp(temp, needed, planes):
    """The float32 scratch: new, or the caller's `temp` (any shape, packed,
    writable) with its size in bytes as the library takes it."""
    if temp is None:
        return np.empty(needed // 4, P.F32), needed
    P._array(temp, "temp")
    P._dtype(temp, "temp", P.F32)
    if not temp.flags.c_contiguous:
        raise ValueError("temp must be contiguous")
    P._writable(temp, "temp")
    for plane in planes:
        if np.may_share_memory(temp, plane):
            raise ValueError("temp must not share memory with the image")
    return temp, min(temp.nbytes, P.INT32_MAX)


def _sigma(value, name):
    return P.number(value, name, SIGMA_MIN, SIGMA_MAX)


def _sigma_array(values, name, count):
    arr = P.sigmas(values, name, count)
    if arr is not None and arr.size and not (
            np.isfinite(arr).all() and arr.min() >= SIGMA_MIN and arr.max() <= SIGMA_MAX):
        bad = arr[~(np.isfinite(arr) & (arr >= SIGMA_MIN) & (arr <= SIGMA_MAX))][0]
        raise ValueError(f"{name} must hold numbers from {SIGMA_MIN:g} to {SIGMA_MAX:g}, "
                         f"got {bad!r}")
    return arr


def _sigma_args(sigma_horizontal, sigma_vertical, row_sigmas, column_sigmas, width, height):
    sigma_horizontal = _sigma(sigma_horizontal, "sigma_horizontal")
    sigma_vertical = (sigma_horizontal if sigma_vertical is None
                      else _sigma(sigma_vertical, "sigma_vertical"))
    rows = _sigma_array(row_sigmas, "row_sigmas", height)
    columns = _sigma_array(column_sigmas, "column_sigmas", width)
    return sigma_horizontal, sigma_vertical, rows, columns


def _address(arr):
    return None if arr is None else arr.ctypes.data


_SIGMA_DOC = """sigma_horizontal : float
        Standard deviation of the horizontal pass in pixels, 0.5..54 (the
        range the recursive filter honours; the cost does not depend on it).
    sigma_vertical : float, optional
        The vertical pass's, 0.5..54; default `sigma_horizontal`.
    row_sigmas : array_like of float, shape (height,), optional
        A horizontal sigma for every row (0.5..54), replacing
        `sigma_horizontal`.
    column_sigmas : array_like of float, shape (width,), optional
        A vertical sigma for every column (0.5..54), replacing
        `sigma_vertical`."""


def gaussian_blur(image: NDArray, sigma_horizontal: float, sigma_vertical: Optional[float] = None,
                  *, row_sigmas: Optional[ArrayLike] = None,
                  column_sigmas: Optional[ArrayLike] = None,
                  temp: Optional[NDArray[np.float32]] = None,
                  out: Optional[NDArray] = None) -> NDArray:
    """Gaussian blur of an 8-bit or float image (``GaussianBlur``).

    A third-order recursive Gaussian, forward and backward in each direction;
    all four channels alike (premultiplied colour is blurred as stored, which
    is right for premultiplied images). 8-bit results are rounded to nearest
    and saturated; float results are not clamped. On processors with SSE2 the
    8-bit image runs in single precision, otherwise in double precision.

    Parameters
    ----------
    image : ndarray of uint8 or float32, shape (height, width, 4)
        Premultiplied BGRA (floats on the 0..255 scale).
    {sigmas}
    temp : ndarray of float32, optional
        Scratch of at least ``height * width * 4`` floats to reuse across
        calls (it receives the horizontal pass); allocated when None. A
        smaller one raises `MorvexError` with the library's line
        ``"GaussianBlur: we need a bigger temporary buffer"``.
    out : ndarray, optional
        Same shape and dtype; ``out=image`` works in place.

    Returns
    -------
    ndarray, shape (height, width, 4), the dtype of `image`

    Examples
    --------
    >>> import numpy as np, morvex
    >>> row = np.zeros((1, 9, 4), np.uint8); row[0, 4] = 255
    >>> morvex.gaussian_blur(row, 1.0)[0, :, 0].tolist()
    [1, 5, 18, 52, 102, 52, 18, 5, 2]
    """
    if not isinstance(image, np.ndarray):
        raise TypeError(f"image must be a numpy array, not {type(image).__name__}")
    fmt = _FORMATS.get(image.dtype)
    if fmt is None:
        raise TypeError(f"image must have dtype uint8 or float32, not {image.dtype}")
    _, _, width, height = P.image(image, "image", image.dtype)
    needed = width * height * 16
    _check_temp_size("image", needed)
    sh, sv, rows, columns = _sigma_args(sigma_horizontal, sigma_vertical, row_sigmas,
                                        column_sigmas, width, height)
    work, pending, (p, stride, _, _) = _inplace_image(image, out, image.dtype)
    temp, temp_bytes = _temp(temp, needed, (work, image))
    line = _TEMP_LINE.format("GaussianBlur")
    if temp_bytes < needed:
        refuse_with_line("GaussianBlur", line)
    P.finish(work, image, pending)
    call_with_line("GaussianBlur", (p, stride, fmt, width, height, temp.ctypes.data, temp_bytes,
                                    sh, sv, _address(rows), _address(columns)), line)
    return work


def _mask_format(step, name):
    if step == 1:
        return 1
    if step == 4:
        return 4
    raise ValueError(f"{name} must be a packed mask (element step 1) or one channel of an "
                     f"image (step 4, e.g. image[..., 3]), not step {step}")


def gaussian_blur_mask(mask: NDArray[np.uint8], sigma_horizontal: float,
                       sigma_vertical: Optional[float] = None, *, output_scale: float = 1.0,
                       output_offset: float = 0.0, row_sigmas: Optional[ArrayLike] = None,
                       column_sigmas: Optional[ArrayLike] = None,
                       temp: Optional[NDArray[np.float32]] = None,
                       out: Optional[NDArray[np.uint8]] = None) -> NDArray[np.uint8]:
    """Gaussian blur of a byte mask or of one image channel (``GaussianBlurMask``).

    The same filter as `gaussian_blur`, in double precision; each result
    ``y * output_scale + output_offset`` is rounded half to even and clamped
    to 0..255 (the clamp is the meaning: an offset of 300 gives 255).

    Parameters
    ----------
    mask : ndarray of uint8, shape (height, width)
        A packed mask, or one channel of a uint8 image (``image[..., 3]``:
        element step 4; the other channels are not touched).
    {sigmas}
    output_scale : float, default 1.0
        Factor on each blurred value (-1 with offset 255 inverts); any value
        a 32-bit float holds.
    output_offset : float, default 0.0
        Added after the factor, on the 0..255 scale.
    temp : ndarray of float32, optional
        Scratch of at least ``height * width`` floats; allocated when None.
    out : ndarray of uint8, shape (height, width), optional
        A mask or an image channel; ``out=mask`` works in place. A new
        result is a packed mask.

    Returns
    -------
    ndarray of uint8, shape (height, width)

    Examples
    --------
    >>> import numpy as np, morvex
    >>> img = np.zeros((1, 9, 4), np.uint8); img[0, 4, 3] = 255
    >>> _ = morvex.gaussian_blur_mask(img[..., 3], 2.0, out=img[..., 3])   # feather alpha
    >>> img[0, :, 3].tolist()
    [8, 16, 28, 43, 53, 45, 32, 22, 19]
    """
    _, _, step, width, height = P.byte_plane(mask, "mask")
    if mask.size:
        _mask_format(step, "mask")
    needed = width * height * 4
    _check_temp_size("mask", needed)
    output_scale = P.number32(output_scale, "output_scale")
    output_offset = P.number32(output_offset, "output_offset")
    sh, sv, rows, columns = _sigma_args(sigma_horizontal, sigma_vertical, row_sigmas,
                                        column_sigmas, width, height)
    work, pending = P.target(mask, out)
    p, stride, work_step, _, _ = P.byte_plane(work, "out", out=True)
    fmt = _mask_format(work_step, "out") if work.size else 1
    temp, temp_bytes = _temp(temp, needed, (work, mask))
    line = _TEMP_LINE.format("GaussianBlurMask")
    if temp_bytes < needed:
        refuse_with_line("GaussianBlurMask", line)
    P.finish(work, mask, pending)
    call_with_line("GaussianBlurMask", (p, stride, fmt, width, height, temp.ctypes.data,
                                        temp_bytes, sh, sv, output_scale, output_offset,
                                        _address(rows), _address(columns)), line)
    return work


gaussian_blur.__doc__ = gaussian_blur.__doc__.replace("{sigmas}", _SIGMA_DOC)
gaussian_blur_mask.__doc__ = gaussian_blur_mask.__doc__.replace("{sigmas}", _SIGMA_DOC)
