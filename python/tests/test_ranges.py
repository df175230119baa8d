"""Numbers outside what an operation honours raise ValueError naming the
argument and its range (MorvexError, a ValueError, for what the library
itself refuses), before anything is written."""

import numpy as np
import pytest

import morvex

IMG = np.full((4, 5, 4), 100, np.uint8)
FIMG = IMG.astype(np.float32)
MASK = IMG[..., 0].copy()
FMASK = FIMG[..., 0].copy()
NAN, INF = float("nan"), float("inf")

CASES = [
    (lambda: morvex.gaussian_blur(IMG, 0.0), "sigma_horizontal must be a number from 0.5 to 54"),
    (lambda: morvex.gaussian_blur(IMG, 2.0, 100), "sigma_vertical must be a number from 0.5 to 54"),
    (lambda: morvex.gaussian_blur(IMG, NAN), "sigma_horizontal must be a number from 0.5"),
    (lambda: morvex.gaussian_blur(IMG, 2.0, row_sigmas=[1, 2, 0.1, 3]),
     "row_sigmas must hold numbers from 0.5 to 54, got 0.1"),
    (lambda: morvex.gaussian_blur_mask(MASK, 2.0, column_sigmas=[1, 2, NAN, 3, 4]),
     "column_sigmas must hold numbers from 0.5 to 54, got nan"),
    (lambda: morvex.gaussian_blur_mask(MASK, 2.0, output_scale=INF), "output_scale must be a finite"),
    (lambda: morvex.gaussian_blur_mask(MASK, 2.0, output_offset=1e39), "output_offset must fit a 32-bit"),
    (lambda: morvex.composite(IMG, IMG, "normal", 1.7), "opacity must be a number from 0 to 1"),
    (lambda: morvex.composite(IMG, IMG, 2), "mode must be one of 1 (normal), 3 (add)"),
    (lambda: morvex.multiply(IMG, 1.5), "factor must be a number from 0 to 1"),
    (lambda: morvex.multiply(IMG, -0.01), "factor must be a number from 0 to 1"),
    (lambda: morvex.blend(IMG, IMG, 2000), "dst_weight must be a number from -1000 to 1000"),
    (lambda: morvex.blend(IMG, IMG, NAN), "dst_weight must be a number from -1000 to 1000"),
    (lambda: morvex.multiply_channel(IMG, 0, IMG, 1, 40.0), "reach weights beyond the library's"),
    (lambda: morvex.mask_multiply(IMG, IMG, 1, 1.0, -9000.0), "reach weights beyond the library's"),
    (lambda: morvex.mask_multiply(IMG, IMG, None, NAN), "scale must be a finite number"),
    (lambda: morvex.multiply_channel(IMG, 4, IMG, 0), "each must be 0..3"),
    (lambda: morvex.mask_multiply(IMG, IMG, 4), "mask_channel 4 is 4 or more"),
    (lambda: morvex.clip_restore(FIMG, NAN), "clip_level must be a number from -1e+36"),
    (lambda: morvex.focus_prep(FIMG, 0.5, 1e40), "restore_min must be a number from -1e+36"),
    (lambda: morvex.edge_detect(IMG, 1.5), "threshold must be a number from 0 to 1"),
    (lambda: morvex.edge_detect(IMG, NAN), "threshold must be a number from 0 to 1"),
    (lambda: morvex.radial_blur_mask(MASK, 2, 2, 0, 1), "scale_x must not be 0"),
    (lambda: morvex.radial_blur_mask(MASK, 2, NAN, 1.1, 1), "center_y must be a finite"),
    (lambda: morvex.radial_blur_mask(MASK, 2, 2, 1.1, 1, -1), "gain must be a number of 0 or more"),
    (lambda: morvex.radial_blur_mask(np.zeros((48, 64), np.uint8), 32, 24, 1e-6, 1e-6),
     "more than max_samples=4.29e+09; pass a larger max_samples"),
    (lambda: morvex.radial_blur_mask(MASK, 2, 2, 2, 2, max_samples=1), "more than max_samples=1"),
    (lambda: morvex.hsl_scale_offset(IMG, saturation_scale=1001), "saturation_scale must be a number from -1000"),
    (lambda: morvex.hsl_scale_offset(IMG, hue_offset=INF), "hue_offset must be a number from -1000"),
    (lambda: morvex.hsl(IMG, hue_shift=40000), "hue_shift must be a number from -36000 to 36000"),
    (lambda: morvex.hsl(IMG, lightness_offset=NAN), "lightness_offset must be a number from -1000"),
    (lambda: morvex.channel_merge_lut(IMG, 5, np.zeros((256, 4), np.uint8)),
     "channel_count must be 0, 1, 2, 3 or 4, got 5"),
    (lambda: morvex.channel_map(IMG, 4, np.zeros((256, 4), np.uint8)),
     "ChannelMap: invalid channel value"),
    (lambda: morvex.gaussian_blur(IMG, 1.0, temp=np.zeros(79, np.float32)),
     "GaussianBlur: we need a bigger temporary buffer"),
    (lambda: morvex.gaussian_blur_mask(MASK, 1.0, temp=np.zeros(19, np.float32)),
     "GaussianBlurMask: we need a bigger temporary buffer"),
    (lambda: morvex.generate_noise_mask((2, 2), 0, 1e39), "high must fit a 32-bit float"),
    (lambda: morvex.generate_noise_mask((2, 2), NAN, 1), "low must be a finite number"),
    (lambda: morvex.scale_mask(FMASK, (0, 0, 5, 4), FMASK, (0, 0, 0, 4)),
     "src_rect must have a width and height above 0"),
    (lambda: morvex.scale_mask(FMASK, (0, 0, 5, 4), FMASK, (0, 0, 5, 4), 7), "mode must be 0 (replace)"),
    (lambda: morvex.scale_mask(FMASK, (0, INF, 5, 4), FMASK, (0, 0, 5, 4)), "dst_rect[1] must be a finite"),
    (lambda: morvex.scale_mask(FMASK, (0, 0, 5, 4), FMASK, (0, 0, 5, 4), "blend", NAN), "amount must be a finite"),
    (lambda: morvex.shear(IMG, 2, NAN), "factor must be a finite number"),
    (lambda: morvex.shear(IMG, 2, 1e12), "the sheared image would be"),
    (lambda: morvex.fpu_control(0x400, 0x400), "new_value has bits 0x400 outside the control word"),
    (lambda: morvex.save_image("x.png", IMG, background="#12345"), "is not a colour"),
    
]


@pytest.mark.parametrize("call, words", CASES, ids=[w[:40] for _, w in CASES])
def test_out_of_range(call, words):
    before = IMG.copy()
    with pytest.raises(ValueError) as caught:
        call()
    assert words in str(caught.value)
    assert (IMG == before).all()
