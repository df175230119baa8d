"""morvex: the Morvex.Native image library on numpy arrays.

Images are numpy arrays of shape (height, width, 4): uint8 **premultiplied
BGRA** (blue, green, red, alpha; colour multiplied by alpha), or float32 in
the same order on the 0..255 scale for the float exports; masks are 2-D
uint8 or float32 arrays. Arrays from Pillow or image files are straight RGBA:
convert them with `from_rgba` (and back with `to_rgba`), or read and write
files with `load_image` and `save_image`, which convert as the ``morvex``
command-line tool does.

Every export is a function (`gaussian_blur`, `composite`, ...) that returns
a new array or writes into ``out=`` (``out=`` the input works in place).
Arguments the library would refuse raise `MorvexError` (a ValueError),
numbers outside what an operation honours raise ValueError naming the
range, and nothing reaches memory the arrays do not own. `hsl`, `flatten`,
`load_image` and `save_image` are the tool's photo-level operations. See the
package README for the conventions.
"""

from ._native import MorvexError, SIGNATURES, library_path
from ._fpu import fpu_control, fpu_reset, fpu_status
from ._pixel import (bitmap_copy, channel_copy, channel_map, channel_map_ex, channel_merge_lut,
                     convert_argb_float_to_argb, convert_argb_to_argb_float,
                     convert_channel_to_float_mask, convert_float_mask_to_argb, lut,
                     lut_with_alpha_clamp)
from ._blend import (COMPOSITE_MODES, blend, clip_restore, composite, focus_prep, mask_multiply,
                     masked_blend, masked_fade, multiply, multiply_channel)
from ._tone import Histogram, desaturate, histogram, hsl, hsl_scale_offset
from ._blur import gaussian_blur, gaussian_blur_mask
from ._filters import blur3x3, edge_detect, radial_blur_mask, radial_samples
from ._mask import (SCALE_MASK_MODES, generate_noise_mask, multiply_masks, scale_mask, shear,
                    sheared_shape)
from ._straight import flatten, from_rgba, parse_color, premultiply, to_rgba, unpremultiply
from ._io import from_pil, load_image, save_image, to_pil

__version__ = "1.1.0"

# The Python name of every export (its C name in snake case).
EXPORTS = {
    "FPU_Control": fpu_control, "FPU_Status": fpu_status, "FPU_Reset": fpu_reset,
    "BitmapCopy": bitmap_copy, "ChannelCopy": channel_copy, "Lut": lut,
    "LutWithAlphaClamp": lut_with_alpha_clamp, "ChannelMap": channel_map,
    "ChannelMapEx": channel_map_ex, "ChannelMergeLut": channel_merge_lut,
    "ConvertARGBToARGBFloat": convert_argb_to_argb_float,
    "ConvertARGBFloatToARGB": convert_argb_float_to_argb,
    "ConvertChannelToFloatMask": convert_channel_to_float_mask,
    "ConvertFloatMaskToARGB": convert_float_mask_to_argb, "Blend": blend,
    "MaskedBlend": masked_blend, "MaskedFade": masked_fade, "Composite": composite,
    "Multiply": multiply, "MultiplyChannel": multiply_channel, "MaskMultiply": mask_multiply,
    "ClipRestore": clip_restore, "FocusPrep": focus_prep, "Desaturate": desaturate,
    "Histogram": histogram, "HslScaleOffset": hsl_scale_offset, "GaussianBlur": gaussian_blur,
    "GaussianBlurMask": gaussian_blur_mask, "Blur3x3": blur3x3, "EdgeDetect": edge_detect,
    "RadialBlurMask": radial_blur_mask, "GenerateNoiseMask": generate_noise_mask,
    "MultiplyMasks": multiply_masks, "ScaleMask": scale_mask, "Shear": shear,
}

# The photo-level functions, with the morvex tool's conversions and limits.
PHOTO = (hsl, flatten, from_rgba, to_rgba, load_image, save_image, from_pil, to_pil)

__all__ = sorted(f.__name__ for f in EXPORTS.values()) + sorted(f.__name__ for f in PHOTO) + [
    "MorvexError", "Histogram", "COMPOSITE_MODES", "SCALE_MASK_MODES", "EXPORTS", "PHOTO",
    "library_path", "parse_color", "radial_samples", "sheared_shape", "premultiply",
    "unpremultiply"]
