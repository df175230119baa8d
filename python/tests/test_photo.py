"""The photo-level functions give the bytes of the morvex tool built beside
them: file loading of every PNG kind and of JPEGs, saving with a
background, and hsl."""

import os
import subprocess

import numpy as np
import pytest
from PIL import Image

import morvex
import pngfile
from conftest import PHOTO, TOOL, skip_without_tool

skip_without_tool()


def tool(*args):
    run = subprocess.run([TOOL, *map(str, args)], capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
    return run


def tool_load(path, folder):
    """The tool's reading of a file: an identity command's PNG, read back."""
    copy = folder / (os.path.basename(path) + "-tool.png")
    tool("copy-channel", path, copy, "--from", "alpha", "--to", "alpha")
    return morvex.load_image(copy)


def _jpegs():
    photo = Image.open(PHOTO).convert("RGB").crop((0, 0, 150, 100))
    return [("rgb-420", photo, {"quality": 80}), ("rgb-444", photo, {"subsampling": 0}),
            ("progressive", photo, {"progressive": True}), ("grey", photo.convert("L"), {}),
            ("cmyk", photo.convert("CMYK"), {})]


FILES = [(name, "png", data) for name, data in pngfile.cases(np.random.default_rng(23))] + [
    (name, "jpg", picture) for name, picture, _ in _jpegs()]


@pytest.mark.parametrize("name, kind, data", FILES, ids=[f[0] for f in FILES])
def test_load_image_reads_as_the_tool(tmp_path, name, kind, data):
    path = tmp_path / f"{name}.{kind}"
    if kind == "png":
        path.write_bytes(data)
    else:
        data.save(path, **{n: o for n, _, o in _jpegs()}[name])
    got = morvex.load_image(path)
    np.testing.assert_array_equal(got, tool_load(path, tmp_path))
    # The float32 load rounds to exactly the same bytes.
    as_float = morvex.load_image(path, np.float32)
    np.testing.assert_array_equal(morvex.convert_argb_float_to_argb(as_float), got)


def test_a_16_bit_ramp_keeps_its_levels(tmp_path):
    ramp = np.arange(65536, dtype=np.uint16).reshape(256, 256)
    path = tmp_path / "ramp.png"
    path.write_bytes(pngfile.png_bytes(ramp, 0, 16))
    as_float = morvex.load_image(path, np.float32)
    assert len(np.unique(as_float[..., 0])) == 65536
    assert len(np.unique(morvex.load_image(path)[..., 0])) == 256


@pytest.mark.parametrize("extension, background, options", [
    (".png", "#336699", ()), (".jpg", "white", ()), (".jpg", (10, 200, 30), ("--quality", 80)),
    (".png", "transparent", ()), (".png", None, ())])
def test_save_image_writes_as_the_tool(tmp_path, extension, background, options):
    src = tmp_path / "fade.png"
    rgba = np.asarray(Image.open(PHOTO).convert("RGBA").crop((0, 0, 160, 90))).copy()
    rgba[..., 3] = np.linspace(0, 255, 160).astype(np.uint8)
    Image.fromarray(rgba).save(src)
    ours, theirs = tmp_path / f"ours{extension}", tmp_path / f"tool{extension}"
    colour = background if background is None or isinstance(background, str) else \
        "#" + "".join(f"{v:02x}" for v in background)
    tool("copy-channel", src, theirs, "--from", "alpha", "--to", "alpha", *options,
         *(() if colour is None else ("--background", colour)))
    kwargs = {"quality": int(options[1])} if options else {}
    morvex.save_image(ours, morvex.load_image(src), background=background, **kwargs)
    np.testing.assert_array_equal(morvex.load_image(ours), morvex.load_image(theirs))
    if extension == ".jpg":  # the same encoder settings give the same file
        assert ours.read_bytes() == theirs.read_bytes()


def test_a_translucent_jpeg_needs_a_background(tmp_path):
    with pytest.raises(ValueError, match="JPEG has no alpha, and 1 of the 4 pixels"):
        morvex.save_image(tmp_path / "x.jpg", np.array([[[0, 0, 0, 255]] * 3 + [[0, 0, 0, 9]]],
                                                       np.uint8).reshape(2, 2, 4))
    assert list(tmp_path.iterdir()) == []


HSL = [((), {}), (("--saturation-scale", 1.3), {"saturation_scale": 1.3}),
       (("--hue-shift", 120, "--saturation-scale", 1.2), {"hue_shift": 120, "saturation_scale": 1.2}),
       (("--hue-shift", -500, "--lightness-scale", 1.5, "--hue-scale", 1.3),
        {"hue_shift": -500, "lightness_scale": 1.5, "hue_scale": 1.3}),
       (("--lightness-offset", 0.3, "--saturation-offset", -0.2),
        {"lightness_offset": 0.3, "saturation_offset": -0.2}),
       (("--saturation-scale", 1.3, "--wrap"), {"saturation_scale": 1.3, "wrap": True})]


@pytest.mark.parametrize("options, kwargs", HSL, ids=[" ".join(map(str, o)) for o, _ in HSL])
def test_hsl_is_the_tools(tmp_path, options, kwargs):
    out = tmp_path / "hsl.png"
    tool("hsl", PHOTO, out, *options)
    np.testing.assert_array_equal(morvex.hsl(morvex.load_image(PHOTO), **kwargs),
                                  morvex.load_image(out))
