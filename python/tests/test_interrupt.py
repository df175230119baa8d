"""Ctrl-C during a long call raises KeyboardInterrupt at once: a call split
into row bands stops between bands (later rows untouched), and the radial
blur, which cannot be split, returns control from its worker thread leaving
`out` untouched. Each runs in a child process that sends itself SIGINT."""

import subprocess
import sys
import textwrap

import pytest

SCRIPTS = {
    "row bands": """
        import morvex
        from morvex import _native
        _native.BAND_PIXELS = 2000           # one row a band
        image = np.random.default_rng(1).integers(0, 256, (6000, 2000, 4), np.uint8)
        before = image.copy()
        started = lambda: not np.array_equal(image[0], before[0])
        call = lambda: morvex.hsl_scale_offset(image, saturation_scale=0.5, out=image)
        untouched = lambda: np.array_equal(image[-1], before[-1])
    """,
    "radial blur": """
        import morvex
        mask = np.random.default_rng(1).integers(0, 256, (1500, 1500), np.uint8)
        out = np.zeros_like(mask)
        assert morvex.radial_samples(1500, 1500, 750, 750, 0.25, 0.25) > 3e9
        begin = time.perf_counter()
        started = lambda: time.perf_counter() - begin > 0.3
        call = lambda: morvex.radial_blur_mask(mask, 750, 750, 0.25, 0.25, out=out,
                                               max_samples=1e10)
        untouched = lambda: not out.any()
    """,
}
DRIVER = """
    import os, signal, sys, threading, time
    import numpy as np
    {setup}
    sent = []
    def interrupt():
        while not started():
            time.sleep(0.0005)
        sent.append(time.perf_counter())
        os.kill(os.getpid(), signal.SIGINT)
    threading.Thread(target=interrupt, daemon=True).start()
    try:
        call()
        print("finished")
    except KeyboardInterrupt:
        print(f"interrupted after {{time.perf_counter() - sent[0]:.3f}} s", untouched())
    sys.stdout.flush()
    os._exit(0)
"""


@pytest.mark.parametrize("kind", SCRIPTS)
def test_ctrl_c_stops_a_long_call(kind):
    script = textwrap.dedent(DRIVER).format(setup=textwrap.dedent(SCRIPTS[kind]))
    run = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                         timeout=300)
    assert run.returncode == 0, run.stderr
    words = run.stdout.split()
    assert words[0] == "interrupted" and words[-1] == "True", run.stdout
    assert float(words[2]) < 1.0, run.stdout
