"""No argument makes the library touch memory the arrays do not own: each
case runs in a forked child on arrays fenced by inaccessible pages, so an
access outside them kills the child and fails the case. And empty arrays,
whatever numpy gives as their strides, are valid planes."""

import numpy as np
import pytest

import morvex
import isolated
from isolated import fenced as F, run_isolated

U8, F32, F64, I32 = np.uint8, np.float32, np.float64, np.int32


def img(h, w):
    return F((h, w, 4))


# name, case, expected: "ok", or (exception type, words of its message).
CASES = [
    ("shear 2 beyond the source rows", lambda: morvex.shear(img(8, 10), 2, 0.3, shape=(12, 16)),
     ("ValueError", "src has 8 rows")),
    ("shear 1 of two rows to 2000", lambda: morvex.shear(img(2, 64), 1, 0.3, shape=(2000, 64)),
     ("ValueError", "src has 2 rows")),
    ("shear 3 wider than the source", lambda: morvex.shear(img(8, 10), 3, 0.7, shape=(5, 30)),
     "ok"),
    ("shear 0 taller, bottom-up", lambda: morvex.shear(img(8, 10)[::-1], 0, -2.5, shape=(40, 9)),
     "ok"),
    ("shear 2 into a short result", lambda: morvex.shear(img(8, 10), 2, 1.5, out=img(8, 3)),
     "ok"),
    ("shear 1 whole extent", lambda: morvex.shear(img(9, 5), 1, -0.8), "ok"),
    ("scale_mask beyond both planes", lambda: morvex.scale_mask(
        F((6, 7), F32), (-3.3, -2.2, 20.7, 20.1), F((5, 9), F32), (-1.5, -1, 12.25, 9.5)), "ok"),
    ("scale_mask far coordinates", lambda: morvex.scale_mask(
        F((6, 7), F32), (-1e7, -1e7, 3e7, 3e7), F((5, 9), F32), (0, 0, 9, 5), "blend", 0.5),
     ("MorvexError", "1.0 or less")),
    ("scale_mask tiny source span", lambda: morvex.scale_mask(
        F((6, 7), F32), (0, 0, 7, 6), F((5, 9), F32), (8.9, 4.9, 0.001, 0.001)),
     ("MorvexError", "1.0 or less")),
    ("scale_mask a source corner onto all", lambda: morvex.scale_mask(
        F((6, 7), F32), (0.5, 0.5, 6.4, 5.3), F((5, 9), F32), (7.9, 3.9, 1.1, 1.1), "multiply"),
     "ok"),
    ("radial centre outside, outwards", lambda: morvex.radial_blur_mask(
        F((9, 13)), -50, 80, 0.3, 0.4, 2.0), "ok"),
    ("radial channel into channel", lambda: morvex.radial_blur_mask(
        img(9, 13)[..., 3], 6, 4, 1.7, 1.7, out=img(9, 13)[::-1, :, 0]), "ok"),
    ("radial reversed columns", lambda: morvex.radial_blur_mask(
        F((9, 13))[:, ::-1], 3, 3, 0.2, 5.0), "ok"),
    ("blur with exact temp and sigmas", lambda: morvex.gaussian_blur(
        img(7, 9), 3.0, row_sigmas=F((7,), F64, 0), column_sigmas=F((9,), F64, 0),
        temp=F((7 * 9 * 4,), F32)), ("ValueError", "row_sigmas must hold numbers")),
    ("blur float with fenced sigmas", lambda: morvex.gaussian_blur(
        F((7, 9, 4), F32, 0), 3.0, row_sigmas=_sigmas(7), column_sigmas=_sigmas(9),
        temp=F((7 * 9 * 4,), F32)), "ok"),
    ("blur mask channel, exact temp", lambda: morvex.gaussian_blur_mask(
        img(7, 9)[..., 1], 54.0, temp=F((63,), F32), out=img(7, 9)[..., 2]), "ok"),
    ("blur temp one float short", lambda: morvex.gaussian_blur(img(7, 9), 2.0,
                                                               temp=F((7 * 9 * 4 - 1,), F32)),
     ("MorvexError", "GaussianBlur: we need a bigger temporary buffer")),
    ("1x1 and 1x2 filters", lambda: (morvex.blur3x3(img(1, 1)), morvex.edge_detect(img(1, 2), 0),
                                     morvex.blur3x3(img(2, 1)[::-1])), "ok"),
    ("histogram into fenced counts", lambda: morvex.histogram(
        img(5, 3), out=tuple(F((256,), I32) for _ in range(4))), "ok"),
    ("fenced tables", lambda: (
        morvex.channel_merge_lut(img(3, 5), 4, F((256, 4))), morvex.lut(img(3, 5), F((256, 4))),
        morvex.masked_blend(img(3, 5), img(3, 5), img(3, 5), F((256, 4))),
        morvex.channel_map_ex(img(3, 5), 3, F((256, 4))),
        morvex.convert_channel_to_float_mask(img(3, 5), 3, F((256,), F32, 0))), "ok"),
    ("odd elements and steps", lambda: (
        morvex.bitmap_copy(F((3, 5, 7))[::-1]),
        morvex.channel_copy(img(4, 6)[:, ::-1, 2], out=img(4, 6)[::-1, :, 1]),
        morvex.generate_noise_mask(None, 0, 1, 7, out=F((5, 7), F32))), "ok"),
    ("every pixel export bottom-up", lambda: [f(img(5, 3)[::-1]) for f in (
        lambda a: morvex.hsl(a, saturation_scale=2), lambda a: morvex.multiply(a, 0.3),
        lambda a: morvex.desaturate(a, True), lambda a: morvex.composite(a, a, "overlay", 0.5),
        lambda a: morvex.mask_multiply(a, a, None, 2.5, -3), lambda a: morvex.flatten(a),
        lambda a: morvex.clip_restore(morvex.convert_argb_to_argb_float(a), 0.2, 0.9))], "ok"),
]


def _sigmas(count):
    arr = F((count,), F64, 0)
    arr[...] = np.linspace(0.5, 54, count)
    return arr


def _against(edge, case):
    def run():
        isolated.EDGE = edge
        return case()
    return run


@pytest.mark.parametrize("edge", ["end", "start"])
@pytest.mark.parametrize("name, case, expected", CASES, ids=[c[0] for c in CASES])
def test_no_access_outside_the_arrays(name, case, expected, edge):
    kind, message = run_isolated(_against(edge, case))
    if expected == "ok":
        assert (kind, message) == ("ok", "")
    else:
        assert kind == expected[0] and expected[1] in message, (kind, message)


EMPTY_SHAPES = [(0, 5), (5, 0), (0, 0)]
IMAGE_CALLS = [
    lambda a: morvex.bitmap_copy(a), lambda a: morvex.lut(a, np.zeros((256, 4), U8)),
    lambda a: morvex.channel_map(a, 1, np.zeros((256, 4), U8)),
    lambda a: morvex.channel_merge_lut(a, 3, np.zeros((256, 4), U8)),
    lambda a: morvex.convert_argb_to_argb_float(a),
    lambda a: morvex.convert_channel_to_float_mask(a, 0, np.zeros(256)),
    lambda a: morvex.blend(a, a, 0.5), lambda a: morvex.masked_fade(a, a, a),
    lambda a: morvex.composite(a, a, "add"), lambda a: morvex.multiply(a, 0.5, out=a),
    lambda a: morvex.mask_multiply(a, a), lambda a: morvex.desaturate(a),
    lambda a: morvex.histogram(a), lambda a: morvex.hsl(a, saturation_scale=1.2),
    lambda a: morvex.gaussian_blur(a, 2.0), lambda a: morvex.blur3x3(a),
    lambda a: morvex.edge_detect(a, 0.1), lambda a: morvex.shear(a, 2, 0.5),
    lambda a: morvex.gaussian_blur_mask(a[..., 3], 2.0),
    lambda a: morvex.radial_blur_mask(a[..., 0], 1, 1, 1.5, 1.5),
    lambda a: morvex.channel_copy(a[..., 0], out=a[..., 1]),
    lambda a: morvex.to_rgba(a), lambda a: morvex.flatten(a),
    lambda a: morvex.clip_restore(a.astype(F32), 0.5),
    lambda a: morvex.multiply_masks(a[..., 0].astype(F32), a[..., 1].astype(F32)),
    lambda a: morvex.generate_noise_mask(a.shape[:2], 0, 1),
    lambda a: morvex.convert_float_mask_to_argb(a[..., 0].astype(F32)),
]


@pytest.mark.parametrize("shape", EMPTY_SHAPES)
@pytest.mark.parametrize("call", IMAGE_CALLS, ids=range(len(IMAGE_CALLS)))
def test_empty_arrays(call, shape):
    empty = np.zeros(shape + (4,), U8)  # strides (0, 0, 0) or the like
    result = call(empty)
    arrays = result[:4] if isinstance(result, tuple) else [result]
    assert all(a.size == 0 or a.shape == (256,) for a in arrays)
