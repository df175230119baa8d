"""morvex.dask's arrays: every offered function, computed from odd chunks,
gives the bytes of the in-memory call on the whole array (and on each image
of a stack); arguments are refused before anything is computed; and the
package works without Dask."""

import subprocess
import types
import sys

import numpy as np
import pytest

import morvex
from conftest import bytes8, floats, image8, same

da = pytest.importorskip("dask.array")
import morvex.dask as md  # noqa: E402

H, W = 7, 13


def table(rng):
    return bytes8(rng, (256, 4))


# Every offered function: its arrays (made from rng) and its other arguments.
CASES = [
    ("bitmap_copy", lambda r: {"src": bytes8(r, (H, W, 3))}, {}),
    ("channel_copy", lambda r: {"src": bytes8(r, (H, W))}, {}),
    ("lut", lambda r: {"image": image8(r, H, W)}, {"table": table}),
    ("lut_with_alpha_clamp", lambda r: {"image": image8(r, H, W)}, {"table": table}),
    ("channel_map", lambda r: {"image": image8(r, H, W)}, {"channel": 1, "table": table}),
    ("channel_map_ex", lambda r: {"src": image8(r, H, W)}, {"channel": 2, "table": table}),
    ("channel_merge_lut", lambda r: {"image": image8(r, H, W)},
     {"channel_count": 3, "table": table}),
    ("convert_argb_to_argb_float", lambda r: {"src": image8(r, H, W)}, {}),
    ("convert_argb_float_to_argb", lambda r: {"src": floats(r, (H, W, 4))}, {}),
    ("convert_channel_to_float_mask", lambda r: {"src": image8(r, H, W)},
     {"channel": 3, "table": lambda r: r.random(256) * 255}),
    ("convert_float_mask_to_argb", lambda r: {"src": floats(r, (H, W))}, {}),
    ("blend", lambda r: {"dst": image8(r, H, W), "src": image8(r, H, W)}, {"dst_weight": 0.3}),
    ("masked_blend", lambda r: {"dst": image8(r, H, W), "mask": bytes8(r, (H, W, 4)),
                                "src": image8(r, H, W)}, {"weight_lut": table}),
    ("masked_fade", lambda r: {"dst": image8(r, H, W), "mask": bytes8(r, (H, W, 4)),
                               "src": image8(r, H, W)}, {}),
    ("composite", lambda r: {"dst": image8(r, H, W), "src": image8(r, H, W)},
     {"mode": "overlay", "opacity": 0.7}),
    ("multiply", lambda r: {"image": image8(r, H, W)}, {"factor": 0.6}),
    ("multiply_channel", lambda r: {"dst": image8(r, H, W), "mask": bytes8(r, (H, W, 4))},
     {"dst_channel": 2, "mask_channel": 0, "scale": 1.5, "offset": -20}),
    ("mask_multiply", lambda r: {"dst": image8(r, H, W), "mask": bytes8(r, (H, W, 4))},
     {"scale": 0.8, "offset": 12}),
    ("clip_restore", lambda r: {"image": floats(r, (H, W, 4))},
     {"clip_level": 0.8, "restore_min": 0.2}),
    ("focus_prep", lambda r: {"image": floats(r, (H, W, 4))},
     {"clip_level": 0.7, "restore_min": 0.4}),
    ("desaturate", lambda r: {"image": image8(r, H, W)}, {"also_alpha": True}),
    ("hsl_scale_offset", lambda r: {"image": image8(r, H, W)},
     {"saturation_scale": 1.3, "lightness_scale": 0.9, "hue_offset": 0.1,
      "lightness_offset": 0.05}),
    ("multiply_masks", lambda r: {"dst": floats(r, (H, W)), "src": floats(r, (H, W))}, {}),
    ("hsl", lambda r: {"image": image8(r, H, W)}, {"hue_shift": 40, "saturation_scale": 1.4}),
    ("from_rgba", lambda r: {"rgba": r.integers(0, 65536, (H, W, 2), dtype=np.uint16)},
     {"dtype": np.float32}),
    ("to_rgba", lambda r: {"bgra": image8(r, H, W)}, {}),
    ("flatten", lambda r: {"image": image8(r, H, W)}, {"background": "#336699"}),
    ("blur3x3", lambda r: {"src": image8(r, H, W)}, {}),
    ("edge_detect", lambda r: {"src": image8(r, H, W)}, {"threshold": 0.1}),
    ("gaussian_blur", lambda r: {"image": image8(r, H, W)},
     {"sigma_horizontal": 2.5, "row_sigmas": np.linspace(1, 4, H)}),
    ("gaussian_blur_mask", lambda r: {"mask": bytes8(r, (H, W))},
     {"sigma_horizontal": 1.5, "output_scale": 2.0, "output_offset": -10.0,
      "column_sigmas": np.linspace(0.5, 3, W)}),
    ("radial_blur_mask", lambda r: {"src": bytes8(r, (H, W))},
     {"center_x": 4, "center_y": 3, "scale_x": 1.2, "scale_y": 1.1}),
    ("scale_mask", lambda r: {"dst": floats(r, (H, W)), "src": floats(r, (H + 4, W - 5))},
     {"dst_rect": (1, 1, W - 3, H - 2), "src_rect": (0.5, 0.5, W - 7, H + 2), "mode": "blend",
      "amount": 0.4}),
    ("shear", lambda r: {"src": image8(r, H, W)}, {"direction": 2, "factor": 0.7}),
    ("histogram", lambda r: {"image": image8(r, H, W)}, {}),
]

# Chunks of one image's rows and columns.
CHUNKS = {"rows of 1": ((1,) * H, W), "uneven": ((4, 3), (5, 1, W - 6)),
          "single": (H, W)}


def test_every_offered_function_is_tested():
    assert {case[0] for case in CASES} | {"generate_noise_mask"} == set(md.OFFERED)


def _chunked(arr, chunking, stacked):
    """arr as a dask array chunked as `chunking` says in rows and columns
    (a plane of another size, scale_mask's src, in two uneven row chunks),
    one image a chunk on a stack, and for "uneven" the channels split too."""
    shape = arr.shape[stacked:]
    pixels = CHUNKS[chunking] if shape[:2] == (H, W) else ((shape[0] - 3, 3), shape[1])
    rest = tuple((n - 1, 1) if n > 1 and chunking == "uneven" else n for n in shape[2:])
    return da.from_array(arr, chunks=((1,) * arr.shape[0],) * stacked + pixels + rest)


def _computed(result):
    if isinstance(result, morvex.Histogram):
        return [np.asarray(part.compute()) for part in result]
    return [result.compute()]


def _expected(result):
    if isinstance(result, morvex.Histogram):
        return [*result[:4], np.int32(result.largest)]
    return [result]


@pytest.mark.parametrize("chunking", CHUNKS)
@pytest.mark.parametrize("name, arrays, arguments", CASES, ids=[c[0] for c in CASES])
def test_chunked_results_are_the_in_memory_call(rng, name, arrays, arguments, chunking):
    """Computed from chunks, the result is byte for byte the in-memory call:
    on one image, and image by image on a stack of two (where the function
    takes stacks)."""
    fn, lazy = getattr(morvex, name), getattr(md, name)
    kwargs = {k: v(rng) if isinstance(v, types.FunctionType) else v for k, v in arguments.items()}
    stacks = (False, True) if None not in md.ARRAYS[name].values() else (False,)
    for stacked in stacks:
        images = [arrays(rng) for _ in range(2 if stacked else 1)]
        inputs = {k: np.stack([i[k] for i in images]) if stacked else images[0][k]
                  for k in images[0]}
        got = _computed(lazy(**{k: _chunked(v, chunking, stacked) for k, v in inputs.items()},
                             **kwargs))
        for index, image in enumerate(images):
            expected = _expected(fn(**image, **kwargs))
            for part, want in zip(got, expected):
                same(np.asarray(part[index] if stacked else part), np.asarray(want))


@pytest.mark.parametrize("chunks", [(1, W), ((3, 4), (5, 1, 7)), (H, W), (2, 13)])
def test_noise_from_chunks_is_the_in_memory_call(chunks):
    same(md.generate_noise_mask((H, W), -1.0, 3.0, 77, chunks=chunks).compute(),
         morvex.generate_noise_mask((H, W), -1.0, 3.0, 77))


IMAGE = np.zeros((H, W, 4), np.uint8)
REFUSALS = [
    (md.multiply, (da.from_array(IMAGE), 2.0), {}, ValueError, "factor must be a number"),
    (md.blur3x3, (da.from_array(IMAGE.astype(np.float32)),), {}, TypeError, "dtype uint8"),
    (md.blend, (da.from_array(IMAGE), da.from_array(IMAGE[:, 1:])), {"dst_weight": 0.5},
     ValueError, r"src must have the same shape as dst \(7, 13, 4\)"),
    (md.gaussian_blur, (da.from_array(np.stack([IMAGE] * 2)), 2.0),
     {"row_sigmas": np.ones(H - 1)}, ValueError, "row_sigmas must hold 7 values"),
    (md.radial_blur_mask, (da.zeros((3000, 4000), dtype=np.uint8), 0, 0, 0.01, 1), {},
     ValueError, "more than max_samples"),
    (md.shear, (da.from_array(IMAGE), 5, 1.0), {}, ValueError, "direction must be"),
    (md.generate_noise_mask, ((H, W), 0, 1, -1), {}, ValueError, "seed must fit"),
]


@pytest.mark.parametrize("fn, args, kwargs, error, message", REFUSALS,
                         ids=[r[0].__name__ for r in REFUSALS])
def test_arguments_are_refused_before_anything_is_computed(fn, args, kwargs, error, message):
    with pytest.raises(error, match=message):
        fn(*args, **kwargs)


def test_the_package_works_without_dask():
    code = ("import sys; sys.modules['dask'] = None\n"
            "import numpy as np, morvex\n"
            "morvex.gaussian_blur(np.zeros((2, 2, 4), np.uint8), 1.0)\n"
            "try:\n    import morvex.dask\nexcept ImportError as error:\n    print(error)\n")
    run = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
    assert run.stdout.startswith("morvex.dask needs Dask: install it with")
