"""Every function against the export called directly on packed copies, for
inputs and outputs in every layout, into new arrays, into `out` and in place."""

import numpy as np
import pytest

import morvex
from morvex import _native
from conftest import LAYOUTS, addr, bytes8, floats, image8, place, same

H, W = 6, 11


@pytest.fixture(autouse=True)
def one_row_a_band(monkeypatch):
    """Every row-independent export runs row by row, so each comparison with
    one direct call also shows the bands give exactly its results."""
    monkeypatch.setattr(_native, "BAND_PIXELS", 1)


def check(fn, ref, arrays, inplace=False, layouts=LAYOUTS, out_layouts=None):
    """fn(*views) and fn(*arrays, out=view) equal ref(*packed copies) for
    every layout; inputs stay untouched; with `inplace`, out=the first input
    works in place."""
    expected = ref(*[np.ascontiguousarray(a).copy() for a in arrays])
    for kind in layouts:
        views = [place(a, kind) for a in arrays]
        before = [v.copy() for v in views]
        same(fn(*views), expected)
        for view, old in zip(views, before):
            same(view, old)
    for kind in out_layouts or layouts:
        out = place(np.zeros_like(expected), kind)
        assert fn(*arrays, out=out) is out
        same(out, expected)
    if inplace:
        for kind in layouts:
            views = [place(a, kind) for a in arrays]
            assert fn(*views, out=views[0]) is views[0]
            same(views[0], expected)
    return expected


def inplace_ref(export, *scalars_after, planes_after=()):
    """A reference for an in-place export of one image: (ptr, stride, w, h, ...)."""
    def ref(img, *extra):
        out = img.copy()
        h, w = out.shape[:2]
        args = [addr(out), out.strides[0], w, h]
        args += [addr(x) if isinstance(x, np.ndarray) else x for x in extra]
        export(*args, *scalars_after)
        return out
    return ref


# ---- copies and tables ----

def test_bitmap_copy(c, rng):
    for shape, dtype in (((H, W, 4), np.uint8), ((H, W, 3), np.uint8), ((H, W), np.float32),
                         ((H, W, 2, 3), np.int16)):
        src = (rng.integers(-300, 300, shape)).astype(dtype)

        def ref(s):
            out = np.zeros_like(s)
            element = s.itemsize * int(np.prod(s.shape[2:], dtype=np.int64))
            assert c.BitmapCopy(addr(out), out.strides[0], addr(s), s.strides[0], element,
                                W, H) == 1
            return out
        same(check(morvex.bitmap_copy, ref, [src]), src)


def test_channel_copy(c, rng):
    plane = bytes8(rng, (H, W))

    def ref(s):
        out = np.zeros_like(s)
        c.ChannelCopy(addr(out), out.strides[0], 1, W, H, addr(s), s.strides[0], 1)
        return out
    layouts = LAYOUTS + ("channel",)
    same(check(morvex.channel_copy, ref, [plane], layouts=layouts), plane)
    # Into an image's channel: only that channel changes.
    img = image8(rng)
    want = img.copy()
    want[..., 3] = plane
    morvex.channel_copy(plane, out=img[..., 3])
    same(img, want)


@pytest.mark.parametrize("name", ["lut", "lut_with_alpha_clamp"])
def test_lut(c, rng, name):
    img, table = image8(rng), bytes8(rng, (256, 4))
    export = {"lut": c.Lut, "lut_with_alpha_clamp": c.LutWithAlphaClamp}[name]
    fn = getattr(morvex, name)
    check(lambda i, out=None: fn(i, table, out=out),
          lambda i: inplace_ref(export)(i, table), [img], inplace=True)
    # An integer table of another dtype is taken when its entries fit.
    same(fn(img, table.astype(np.int64)), fn(img, table))


def test_channel_map(c, rng):
    img, table = image8(rng), bytes8(rng, (256, 4))
    for channel in range(4):
        def ref(i):
            out = i.copy()
            c.ChannelMap(addr(out), out.strides[0], channel, W, H, addr(table))
            return out
        check(lambda i, out=None: morvex.channel_map(i, channel, table, out=out), ref, [img],
              inplace=True)

        def ref_ex(i):
            out = np.zeros_like(i)
            c.ChannelMapEx(addr(out), out.strides[0], addr(i), i.strides[0], channel, W, H,
                           addr(table))
            return out
        check(lambda i, out=None: morvex.channel_map_ex(i, channel, table, out=out), ref_ex,
              [img], inplace=True)


def test_channel_merge_lut(c, rng):
    img, table = image8(rng), bytes8(rng, (256, 4))
    for count in (0, 2, 3, 4):
        def ref(i):
            out = i.copy()
            c.ChannelMergeLut(addr(out), out.strides[0], count, W, H, addr(table))
            return out
        check(lambda i, out=None: morvex.channel_merge_lut(i, count, table, out=out), ref, [img],
              inplace=True)


# ---- conversions ----

def _convert_ref(export, shape, dtype):
    def ref(s):
        out = np.zeros(shape, dtype)
        export(addr(out), out.strides[0], addr(s), s.strides[0], W, H)
        return out
    return ref


def test_conversions(c, rng):
    img = image8(rng)
    as_float = check(morvex.convert_argb_to_argb_float,
                     _convert_ref(c.ConvertARGBToARGBFloat, (H, W, 4), np.float32), [img])
    same(as_float, img.astype(np.float32))
    fimg = floats(rng, (H, W, 4))
    fimg[0, :4, 0] = [np.nan, np.inf, -np.inf, 2.0**31]
    check(morvex.convert_argb_float_to_argb,
          _convert_ref(c.ConvertARGBFloatToARGB, (H, W, 4), np.uint8), [fimg])
    fmask = floats(rng, (H, W))
    check(morvex.convert_float_mask_to_argb,
          _convert_ref(c.ConvertFloatMaskToARGB, (H, W, 4), np.uint8), [fmask])
    ftable = floats(rng, (256,))
    for channel in range(4):
        def ref(s):
            out = np.zeros((H, W), np.float32)
            c.ConvertChannelToFloatMask(addr(out), out.strides[0], addr(s), s.strides[0],
                                        channel, W, H, addr(ftable))
            return out
        got = check(lambda s, out=None: morvex.convert_channel_to_float_mask(
            s, channel, ftable, out=out), ref, [img])
        same(got, ftable[img[..., channel]])


# ---- blending ----

def _two_plane_ref(export, *scalars, third=None):
    """Reference for exports of (dst, [mask,] src, ...) working on dst."""
    def ref(dst, *planes):
        out = dst.copy()
        args = [addr(out), out.strides[0]]
        for p in planes:
            args += [addr(p), p.strides[0]]
        export(*args, W, H, *scalars, *([] if third is None else [third]))
        return out
    return ref


def test_blend(c, rng):
    dst, src = image8(rng), image8(rng)
    for weight in (0.0, 0.37, 1.0, -0.5, 900.0):
        check(lambda d, s, out=None: morvex.blend(d, s, weight, out=out),
              _two_plane_ref(c.Blend, weight), [dst, src], inplace=True)


def test_masked_blend_and_fade(c, rng):
    dst, mask, src, table = image8(rng), bytes8(rng, (H, W, 4)), image8(rng), bytes8(rng, (256, 4))
    for lut in (None, table):
        def ref(d, m, s):
            out = d.copy()
            c.MaskedBlend(addr(out), out.strides[0], addr(m), m.strides[0], addr(s), s.strides[0],
                          W, H, None if lut is None else addr(lut))
            return out
        check(lambda d, m, s, out=None: morvex.masked_blend(d, m, s, lut, out=out), ref,
              [dst, mask, src], inplace=True)
    check(lambda d, m, s, out=None: morvex.masked_fade(d, m, s, out=out),
          _two_plane_ref(c.MaskedFade), [dst, mask, src], inplace=True)


def test_composite(c, rng):
    dst, src = image8(rng), image8(rng)
    for mode in (1, 3, 4, 5, 6, 7, "screen"):
        number = morvex.COMPOSITE_MODES.get(mode, mode)

        def ref(d, s):
            out = d.copy()
            c.Composite(addr(out), out.strides[0], addr(s), s.strides[0], W, H, number, 0.7)
            return out
        check(lambda d, s, out=None: morvex.composite(d, s, mode, 0.7, out=out), ref,
              [dst, src], inplace=True)


def test_multiply_family(c, rng):
    img, mask = image8(rng), bytes8(rng, (H, W, 4))
    for factor in (0.0, 0.6, 1.0):
        check(lambda i, out=None: morvex.multiply(i, factor, out=out),
              inplace_ref(c.Multiply, factor), [img], inplace=True)
    for dc, mc, scale, offset in ((2, 3, 1.0, 0.0), (0, 1, 1.5, -0.25), (3, 3, 0.5, 0.5)):
        def ref(d, m):
            out = d.copy()
            c.MultiplyChannel(addr(out), out.strides[0], dc, addr(m), m.strides[0], mc, W, H,
                              scale, offset)
            return out
        check(lambda d, m, out=None: morvex.multiply_channel(d, dc, m, mc, scale, offset,
                                                             out=out), ref, [img, mask],
              inplace=True)
    for channel, number in ((None, -1), (-3, -3), (1, 1)):
        def ref(d, m):
            out = d.copy()
            c.MaskMultiply(addr(out), out.strides[0], addr(m), m.strides[0], W, H, number, 0.8,
                           0.1)
            return out
        check(lambda d, m, out=None: morvex.mask_multiply(d, m, channel, 0.8, 0.1, out=out),
              ref, [img, mask], inplace=True)


@pytest.mark.parametrize("name", ["clip_restore", "focus_prep"])
def test_clip_restore(c, rng, name):
    fimg = floats(rng, (H, W, 4))
    export = {"clip_restore": c.ClipRestore, "focus_prep": c.FocusPrep}[name]
    check(lambda i, out=None: getattr(morvex, name)(i, 0.9, 0.2, out=out),
          inplace_ref(export, 0.9, 0.2), [fimg], inplace=True)


# ---- tone ----

def test_desaturate_and_hsl(c, rng):
    img = image8(rng)
    for also_alpha in (False, True):
        check(lambda i, out=None: morvex.desaturate(i, also_alpha, out=out),
              inplace_ref(c.Desaturate, int(also_alpha)), [img], inplace=True)
    values = (1.1, 0.9, 1.05, 0.1, -0.05, 0.02)
    check(lambda i, out=None: morvex.hsl_scale_offset(i, *values, out=out),
          inplace_ref(c.HslScaleOffset, *values), [img], inplace=True)


def test_histogram(c, rng):
    img = image8(rng)
    counts = np.zeros((4, 256), np.int32)
    largest = c.Histogram(addr(img), img.strides[0], W, H, *(addr(k) for k in counts))
    for kind in LAYOUTS:
        result = morvex.histogram(place(img, kind))
        assert result.largest == largest
        for got, want in zip(result[:4], counts):
            same(got, want)
    shared = np.zeros(256, np.int32)
    out = (shared, shared, np.zeros(256, np.int32), np.zeros(256, np.int32))
    result = morvex.histogram(img, out=out)
    assert result.red is shared
    same(shared, counts[0] + counts[1])


# ---- blur ----

def test_gaussian_blur(c, rng):
    rows = rng.random(H) * 5 + 0.5
    columns = rng.random(W) * 5 + 0.5
    for img, fmt in ((image8(rng), 4), (floats(rng, (H, W, 4)), 16)):
        for sh, sv, rs, cs in ((2.5, 1.5, None, None), (3.0, 3.0, rows, None),
                               (1.0, 4.0, None, columns), (0.7, 0.7, rows, columns)):
            def ref(i):
                out = i.copy()
                temp = np.empty(W * H * 4, np.float32)
                assert c.GaussianBlur(addr(out), out.strides[0], fmt, W, H, addr(temp),
                                      temp.nbytes, sh, sv, None if rs is None else addr(rs),
                                      None if cs is None else addr(cs)) == 1
                return out
            check(lambda i, out=None: morvex.gaussian_blur(
                i, sh, sv, row_sigmas=rs, column_sigmas=cs, out=out), ref, [img], inplace=True)
    # A caller's scratch, larger than needed and of any shape, gives the same bits.
    img = image8(rng)
    same(morvex.gaussian_blur(img, 2.0, temp=np.empty((5, W * H), np.float32)),
         morvex.gaussian_blur(img, 2.0))


def test_gaussian_blur_mask(c, rng):
    plane = bytes8(rng, (H, W))
    for sh, sv, scale, offset in ((2.0, 1.0, 1.2, -3.0), (1.5, 2.5, 1.0, 0.0)):
        def ref(m):
            out = m.copy()
            temp = np.empty(W * H, np.float32)
            assert c.GaussianBlurMask(addr(out), out.strides[0], 1, W, H, addr(temp),
                                      temp.nbytes, sh, sv, scale, offset, None, None) == 1
            return out
        expected = check(lambda m, out=None: morvex.gaussian_blur_mask(
            m, sh, sv, output_scale=scale, output_offset=offset, out=out), ref, [plane],
            inplace=True, layouts=LAYOUTS + ("channel",))
        # In place on one channel of an image (format 4): the others stay.
        img = image8(rng)
        img[..., 1] = plane
        want = img.copy()
        want[..., 1] = expected
        morvex.gaussian_blur_mask(img[..., 1], sh, sv, output_scale=scale,
                                  output_offset=offset, out=img[..., 1])
        same(img, want)


# ---- filters ----

def test_blur3x3_and_edges(c, rng):
    img = image8(rng)
    check(morvex.blur3x3, _convert_ref(c.Blur3x3, (H, W, 4), np.uint8), [img])
    for single, threshold in ((False, 0.05), (True, 0.1), (True, 0.0)):
        def ref(s):
            out = np.zeros_like(s)
            c.EdgeDetect(addr(out), out.strides[0], addr(s), s.strides[0], W, H, int(single),
                         threshold)
            return out
        check(lambda s, out=None: morvex.edge_detect(s, threshold, single, out=out), ref, [img])


def test_radial_blur_mask(c, rng):
    plane = bytes8(rng, (H, W))
    args = (5.5, 3.0, 1.3, 0.9, 1.1)

    def ref(s):
        out = np.zeros_like(s)
        c.RadialBlurMask(addr(out), out.strides[0], 1, addr(s), s.strides[0], 1, W, H, *args)
        return out
    check(lambda s, out=None: morvex.radial_blur_mask(s, *args, out=out), ref, [plane],
          layouts=LAYOUTS + ("channel",))
    # One channel of an image into another channel of the same image.
    img = image8(rng)
    want = img.copy()
    want[..., 0] = ref(np.ascontiguousarray(img[..., 3]))
    morvex.radial_blur_mask(img[..., 3], *args, out=img[..., 0])
    same(img, want)


# ---- masks and geometry ----

def test_generate_noise_mask(c, rng):
    want = np.zeros((H, W), np.float32)
    c.GenerateNoiseMask(addr(want), want.strides[0], W, H, -0.5, 2.0, 12345)
    same(morvex.generate_noise_mask((H, W), -0.5, 2.0, 12345), want)
    for kind in LAYOUTS:
        out = place(np.zeros((H, W), np.float32), kind)
        assert morvex.generate_noise_mask(None, -0.5, 2.0, 12345, out=out) is out
        same(out, want)


def test_multiply_masks(c, rng):
    a, b = floats(rng, (H, W)), floats(rng, (H, W))
    check(morvex.multiply_masks, _two_plane_ref(c.MultiplyMasks), [a, b], inplace=True)
    same(morvex.multiply_masks(a, a), a * a)


def test_scale_mask(c, rng):
    dst, src = floats(rng, (H, W)), floats(rng, (H + 3, W - 2))
    dst_rect, src_rect = (1.0, 0.5, 10.0, 6.0), (0.0, 0.0, 12.5, 6.5)
    for mode, number in (("replace", 0), ("blend", 1), ("multiply", 2), (1, 1)):
        def ref(d, s):
            out = d.copy()
            assert c.ScaleMask(addr(out), out.strides[0], W, H, *dst_rect, addr(s), s.strides[0],
                               W - 2, H + 3, *src_rect, number, 0.3) == 1
            return out
        check(lambda d, s, out=None: morvex.scale_mask(d, dst_rect, s, src_rect, mode, 0.3,
                                                       out=out), ref, [dst, src], inplace=True)


def test_shear(c, rng):
    src = image8(rng)
    for direction, factor, shape in ((2, 0.35, (H, W + 4)), (3, -0.2, (H + 3, W)),
                                     (1, 0.5, (H, W)), (0, 1.25, (H + 2, W + 1))):
        def ref(s):
            out = np.zeros(shape + (4,), np.uint8)
            c.Shear(addr(s), s.strides[0], W, H, addr(out), out.strides[0], shape[1], shape[0],
                    direction, factor)
            return out
        check(lambda s, out=None: morvex.shear(s, direction, factor, shape=shape, out=out), ref,
              [src])


# ---- floating-point control ----

def test_fpu():
    morvex.fpu_reset()
    word = morvex.fpu_control(0, 0)
    assert morvex.fpu_control(0x300, 0x300) & 0x300 == 0x300
    assert morvex.fpu_control(0, 0x300) == word
    morvex.fpu_reset()
    assert morvex.fpu_control(0, 0) == word
    # Unmasking a trap is possible when asked for (and undone at once).
    unmasked = morvex.fpu_control(0, 0x10, allow_traps=True)
    morvex.fpu_reset()
    assert unmasked & 0x10 == 0 and morvex.fpu_control(0, 0) == word
    assert isinstance(morvex.fpu_status(), int)


# ---- overlap ----

def test_copies_of_overlapping_inputs_live_through_the_call(rng):
    # Planes of 256 KiB and more come from their own mappings, which are
    # unmapped once freed: a copy dropped before the call would fault here.
    for _ in range(3):
        big = image8(rng, 257, 256)
        want = morvex.blend(big[:-1].copy(), big[1:].copy(), 0.3)
        morvex.blend(big[:-1], big[1:], 0.3, out=big[:-1])
        same(big[:-1], want)
        big = image8(rng, 257, 256)
        want = morvex.blur3x3(big[1:].copy())
        morvex.blur3x3(big[1:], out=big[:-1])
        same(big[:-1], want)
        planes = bytes8(rng, (513, 512))
        want = planes[1:].copy()
        morvex.channel_copy(planes[1:], out=planes[:-1])
        same(planes[:-1], want)


def test_overlapping_inputs_read_as_if_apart(rng):
    """An input that shares memory with the result is read as it was before the call."""
    big = image8(rng, H + 1, W)
    dst, src = big[:-1], big[1:]
    want = morvex.blend(dst.copy(), src.copy(), 0.4)
    assert morvex.blend(dst, src, 0.4, out=dst) is dst
    same(dst, want)
    big = image8(rng, H + 1, W)
    want = morvex.blur3x3(big[1:].copy())
    morvex.blur3x3(big[1:], out=big[:-1])
    same(big[:-1], want)
    # A destination row that partly overlaps its source row still reads the
    # source as it was (the library alone would map pixel by pixel).
    table = bytes8(rng, (256, 4))
    wide = image8(rng, H, W + 1)
    want = morvex.channel_map_ex(wide[:, 1:].copy(), 2, table)
    morvex.channel_map_ex(wide[:, 1:], 2, table, out=wide[:, :-1])
    same(wide[:, :-1], want)
