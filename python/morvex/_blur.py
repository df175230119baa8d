"""The recursive Gaussian blurs."""

import numpy as np

from . import _planes as P
from ._native import call_with_diagnostic
from ._pixel import _inplace_image

_FORMATS = {P.U8: 4, P.F32: 16}


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


def _sigma_args(sigma_horizontal, sigma_vertical, row_sigmas, column_sigmas, width, height):
    sigma_horizontal = P.real(sigma_horizontal, "sigma_horizontal")
    sigma_vertical = (sigma_horizontal if sigma_vertical is None
                      else P.real(sigma_vertical, "sigma_vertical"))
    rows = P.sigmas(row_sigmas, "row_sigmas", height)
    columns = P.sigmas(column_sigmas, "column_sigmas", width)
    return sigma_horizontal, sigma_vertical, rows, columns


def _address(arr):
    return None if arr is None else arr.ctypes.data


def gaussian_blur(image, sigma_horizontal, sigma_vertical=None, *, row_sigmas=None,
                  column_sigmas=None, temp=None, out=None):
    """Gaussian blur of a uint8 or float32 (height, width, 4) image.

    sigma_vertical defaults to sigma_horizontal; row_sigmas (height values)
    and column_sigmas (width values) replace the sigma of their direction.
    The float32 scratch of width * height * 4 values is allocated unless
    `temp` gives one."""
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
    P.finish(work, image, pending)
    call_with_diagnostic("GaussianBlur", (p, stride, fmt, width, height, temp.ctypes.data,
                                          temp_bytes, sh, sv, _address(rows), _address(columns)),
                         "GaussianBlur", temp_bytes < needed)
    return work


def _mask_format(step, name):
    if step == 1:
        return 1
    if step == 4:
        return 4
    raise ValueError(f"{name} must be a packed mask (element step 1) or one channel of an "
                     f"image (step 4, e.g. image[..., 3]), not step {step}")


def gaussian_blur_mask(mask, sigma_horizontal, sigma_vertical=None, *, output_scale=1.0,
                       output_offset=0.0, row_sigmas=None, column_sigmas=None, temp=None,
                       out=None):
    """Gaussian blur of a uint8 mask or of one channel of a uint8 image
    (image[..., c]: the other channels are not touched), each result
    y * output_scale + output_offset rounded half to even and clamped.
    `out` may be a mask or an image channel; a new result is a packed mask."""
    _, _, step, width, height = P.byte_plane(mask, "mask")
    _mask_format(step, "mask")
    needed = width * height * 4
    _check_temp_size("mask", needed)
    output_scale = P.real(output_scale, "output_scale")
    output_offset = P.real(output_offset, "output_offset")
    sh, sv, rows, columns = _sigma_args(sigma_horizontal, sigma_vertical, row_sigmas,
                                        column_sigmas, width, height)
    work, pending = P.target(mask, out)
    p, stride, work_step, _, _ = P.byte_plane(work, "out", out=True)
    fmt = _mask_format(work_step, "out")
    temp, temp_bytes = _temp(temp, needed, (work, mask))
    P.finish(work, mask, pending)
    call_with_diagnostic("GaussianBlurMask", (p, stride, fmt, width, height, temp.ctypes.data,
                                              temp_bytes, sh, sv, output_scale, output_offset,
                                              _address(rows), _address(columns)),
                         "GaussianBlurMask", temp_bytes < needed)
    return work
