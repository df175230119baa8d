"""Refusals of the library raise MorvexError with the library's own line,
and print nothing: the binding knows them from the arguments and never
redirects standard error."""

import subprocess
import sys
import textwrap

import numpy as np
import pytest

import morvex
from conftest import addr, bytes8, floats, image8

H, W = 5, 9


def direct_line(capfd, call):
    """The line the export writes to standard error when called directly."""
    capfd.readouterr()
    assert call() == 0
    return capfd.readouterr().err.rstrip("\n")


def test_refusals_with_a_line(c, rng, capfd):
    img, table = image8(rng, H, W), bytes8(rng, (256, 4))
    plane = bytes8(rng, (H, W))
    small = np.empty(W * H * 4 - 1, np.float32)
    mask_small = np.empty(W * H - 1, np.float32)
    cases = [
        ("ChannelMap", lambda: morvex.channel_map(img, 4, table, out=img),
         lambda: c.ChannelMap(addr(img), img.strides[0], 4, W, H, addr(table))),
        ("ChannelMap", lambda: morvex.channel_map(img, -1, table),
         lambda: c.ChannelMap(addr(img), img.strides[0], -1, W, H, addr(table))),
        ("ChannelMapEx", lambda: morvex.channel_map_ex(img, 7, table),
         lambda: c.ChannelMapEx(addr(img), img.strides[0], addr(img), img.strides[0], 7, W, H,
                                addr(table))),
        ("GaussianBlur", lambda: morvex.gaussian_blur(img, 2.0, temp=small, out=img),
         lambda: c.GaussianBlur(addr(img), img.strides[0], 4, W, H, addr(small), small.nbytes,
                                2.0, 2.0, None, None)),
        ("GaussianBlurMask", lambda: morvex.gaussian_blur_mask(plane, 2.0, temp=mask_small),
         lambda: c.GaussianBlurMask(addr(plane), plane.strides[0], 1, W, H, addr(mask_small),
                                    mask_small.nbytes, 2.0, 2.0, 1.0, 0.0, None, None)),
    ]
    before = img.copy()
    for export, binding, direct in cases:
        line = direct_line(capfd, direct)
        assert line.startswith(export.replace("Ex", "") + ":")
        with pytest.raises(morvex.MorvexError) as caught:
            binding()
        assert capfd.readouterr().err == ""
        assert caught.value.export == export
        assert caught.value.diagnostic == line
        assert str(caught.value) == line
    assert (img == before).all()


def test_refusals_without_a_line(rng, capfd):
    img, mask = image8(rng, H, W), bytes8(rng, (H, W, 4))
    fmask = floats(rng, (H, W))
    cases = [
        ("Composite", lambda: morvex.composite(img, img, 2, 0.5, out=img), "got 2"),
        ("MultiplyChannel", lambda: morvex.multiply_channel(img, 4, mask, 0, out=img), "0..3"),
        ("MultiplyChannel", lambda: morvex.multiply_channel(img, 0, mask, 2**32 - 1), "0..3"),
        ("MaskMultiply", lambda: morvex.mask_multiply(img, mask, 4), "4 or more"),
        ("ScaleMask", lambda: morvex.scale_mask(fmask, (0, 0, 0.5, 5), fmask.copy(),
                                                (0, 0, 9, 5)), "1.0 or less"),
    ]
    before = img.copy()
    for export, call, words in cases:
        with pytest.raises(morvex.MorvexError) as caught:
            call()
        assert caught.value.export == export and caught.value.diagnostic is None
        assert words in str(caught.value) and export in str(caught.value)
    assert capfd.readouterr().err == ""
    assert (img == before).all()


STRESS = textwrap.dedent("""
    import os, sys, threading
    import numpy as np, morvex
    img, table = np.zeros((5, 9, 4), np.uint8), np.zeros((256, 4), np.uint8)
    seen = []
    def refuse():
        for _ in range(200):
            try:
                morvex.channel_map(img, 9, table)
            except morvex.MorvexError as error:
                seen.append(error.diagnostic)
            morvex.channel_map(img, 1, table)
    def talk():
        for k in range(300):
            os.write(2, b"line %d\\n" % k)
    threads = [threading.Thread(target=refuse) for _ in range(3)] + [threading.Thread(target=talk)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    print(len(seen), set(seen))
""")


def test_refusals_while_another_thread_writes_to_stderr():
    """Threads making refused calls while another writes 300 lines to file
    descriptor 2: every line arrives, every refusal has its line, and
    nothing else is written."""
    run = subprocess.run([sys.executable, "-c", STRESS], capture_output=True, text=True,
                         timeout=120)
    assert run.returncode == 0, run.stderr
    assert run.stderr.splitlines() == [f"line {k}" for k in range(300)]
    assert run.stdout.strip() == "600 {'ChannelMap: invalid channel value'}"
