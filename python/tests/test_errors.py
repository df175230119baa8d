"""Bad input raises TypeError or ValueError naming the argument, before any
call: wrong types, dtypes and shapes, unpacked views, mismatched sizes,
unusable outputs, channel indices and sizes beyond 32 bits."""

import numpy as np
import pytest
from numpy.lib.stride_tricks import as_strided

import morvex

IMG = np.zeros((4, 5, 4), np.uint8)
FIMG = np.zeros((4, 5, 4), np.float32)
MASK = np.zeros((4, 5), np.uint8)
FMASK = np.zeros((4, 5), np.float32)
TABLE = np.zeros((256, 4), np.uint8)
READ_ONLY = IMG.copy()
READ_ONLY.flags.writeable = False
# Views whose memory is never touched: the binding refuses them first.
HUGE_STRIDE = as_strided(IMG, shape=(2, 5, 4), strides=(2**31, 4, 1))
OVERLAPPING_ROWS = as_strided(IMG.copy(), shape=(4, 5, 4), strides=(8, 4, 1))
BIG_FOR_TEMP = as_strided(IMG, shape=(12000, 12000, 4), strides=(0, 4, 1), writeable=False)

CASES = [
    ("object array", lambda: morvex.bitmap_copy(np.empty((2, 2), object)),
     TypeError, "arrays of Python objects"),
    ("exception traps", lambda: morvex.fpu_control(0, 0x10),
     ValueError, "would unmask floating-point exceptions (bits 0x10)"),
    # what is passed, the call, the exception, words of its message
    ("a list", lambda: morvex.multiply([[1, 2, 3, 4]], 0.5),
     TypeError, "image must be a numpy array"),
    ("int16 image", lambda: morvex.lut(IMG.astype(np.int16), TABLE),
     TypeError, "image must have dtype uint8"),
    ("uint8 for float", lambda: morvex.clip_restore(IMG, 0.5), TypeError, "dtype float32"),
    ("float64 image", lambda: morvex.gaussian_blur(FIMG.astype(np.float64), 1.0),
     TypeError, "uint8 or float32"),
    ("3 channels", lambda: morvex.blur3x3(IMG[..., :3]),
     ValueError, "src must have shape (height, width, 4)"),
    ("2-D image", lambda: morvex.desaturate(MASK), ValueError, "image must have shape"),
    ("3-D mask", lambda: morvex.multiply_masks(FIMG, FIMG), ValueError, "dst must be a 2-D mask"),
    ("every other pixel", lambda: morvex.multiply(np.zeros((4, 10, 4), np.uint8)[:, ::2], 0.5),
     ValueError, "packed"),
    ("reversed channels", lambda: morvex.multiply(IMG[..., ::-1], 0.5), ValueError, "packed"),
    ("transposed", lambda: morvex.blur3x3(IMG.transpose(1, 0, 2)), ValueError, "packed"),
    ("reversed row", lambda: morvex.multiply_masks(FMASK[:, ::-1], FMASK), ValueError, "packed"),
    ("src size", lambda: morvex.blend(IMG, IMG[:3], 0.5),
     ValueError, "src must have the same shape"),
    ("mask size", lambda: morvex.masked_fade(IMG, IMG[:, :4], IMG),
     ValueError, "mask must have the same shape"),
    ("out size", lambda: morvex.blur3x3(IMG, out=IMG[:3].copy()),
     ValueError, "out must have shape"),
    ("out dtype", lambda: morvex.convert_argb_to_argb_float(IMG, out=IMG.copy()),
     TypeError, "out must have dtype float32"),
    ("read-only out", lambda: morvex.multiply(IMG, 0.5, out=READ_ONLY),
     ValueError, "out is read-only"),
    ("read-only in place", lambda: morvex.desaturate(READ_ONLY, out=READ_ONLY),
     ValueError, "read-only"),
    ("overlapping out rows", lambda: morvex.blur3x3(IMG, out=OVERLAPPING_ROWS),
     ValueError, "rows overlap"),
    ("broadcast out", lambda: morvex.channel_copy(MASK, out=np.broadcast_to(MASK[:1], (4, 5))),
     ValueError, "read-only"),
    ("mask step 2", lambda: morvex.gaussian_blur_mask(np.zeros((4, 10), np.uint8)[:, ::2], 1.0),
     ValueError, "step 2"),
    ("channel 4", lambda: morvex.convert_channel_to_float_mask(IMG, 4, np.zeros(256, np.float32)),
     ValueError, "channel must be 0, 1, 2 or 3"),
    ("direction 4", lambda: morvex.shear(IMG, 4, 0.5), ValueError, "direction must be"),
    ("mode name", lambda: morvex.composite(IMG, IMG, "darken"), ValueError, "mode must be one of"),
    ("channel 2**31", lambda: morvex.channel_map(IMG, 2**31, TABLE),
     ValueError, "channel must fit a signed 32-bit"),
    ("negative channel", lambda: morvex.multiply_channel(IMG, -1, IMG, 0),
     ValueError, "dst_channel must fit an unsigned"),
    ("seed -1", lambda: morvex.generate_noise_mask((2, 2), 0, 1, -1), ValueError, "seed must fit"),
    ("stride 2**31", lambda: morvex.multiply(HUGE_STRIDE, 0.5),
     ValueError, "row stride 2147483648"),
    ("temp over 2 GiB", lambda: morvex.gaussian_blur(BIG_FOR_TEMP, 1.0), ValueError, "32-bit size"),
    ("float channel", lambda: morvex.channel_map(IMG, 1.5, TABLE),
     TypeError, "channel must be an integer"),
    ("string factor", lambda: morvex.multiply(IMG, "0.5"),
     TypeError, "factor must be a real number"),
    ("table shape", lambda: morvex.lut(IMG, TABLE[:255]),
     ValueError, "table must have shape (256, 4)"),
    ("table values", lambda: morvex.lut(IMG, np.full((256, 4), 256)),
     ValueError, "entries must lie in 0..255"),
    ("table floats", lambda: morvex.lut(IMG, TABLE.astype(np.float32)),
     TypeError, "table must have dtype uint8"),
    ("row sigmas", lambda: morvex.gaussian_blur(IMG, 1.0, row_sigmas=[1.0] * 5),
     ValueError, "row_sigmas must hold 4 values"),
    ("rect", lambda: morvex.scale_mask(FMASK, (0, 0, 5), FMASK, (0, 0, 5, 4)),
     ValueError, "dst_rect must be (x, y, width, height)"),
    ("temp dtype", lambda: morvex.gaussian_blur(IMG, 1.0, temp=np.zeros(80, np.float64)),
     TypeError, "temp must have dtype float32"),
    ("temp in image", lambda: morvex.gaussian_blur(FIMG, 1.0, out=FIMG, temp=FIMG.reshape(-1)),
     ValueError, "temp must not share memory"),
    ("histogram out", lambda: morvex.histogram(IMG, out=(np.zeros(256, np.int32),) * 3),
     TypeError, "four int32 arrays"),
    ("noise shape", lambda: morvex.generate_noise_mask(None, 0.0, 1.0),
     TypeError, "needs a shape or out"),
]


@pytest.mark.parametrize("what, call, error, words", CASES, ids=[c[0] for c in CASES])
def test_bad_input(what, call, error, words):
    with pytest.raises(error) as caught:
        call()
    assert words in str(caught.value)


def test_refused_views_leave_out_untouched():
    out = np.full((4, 5, 4), 7, np.uint8)
    with pytest.raises(ValueError):
        morvex.blend(IMG[..., ::-1], IMG, 0.5, out=out)
    assert (out == 7).all()
