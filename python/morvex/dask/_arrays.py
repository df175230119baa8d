"""The package's functions on dask arrays. Every block (or every image of a
stack) is one call of the in-memory function, so a computed result is byte
for byte the in-memory call on the whole array. How an array is cut into
blocks follows from what an element of the result depends on:

- the element alone (the exports called in row bands, and the photo-level
  pixel conversions): any chunks in rows and columns;
- its 3x3 neighbourhood (blur3x3, edge_detect): each block is read with one
  more pixel on every side where it has a neighbouring block (map_overlap,
  depth 1), and at the image's own edges the export clamps, or writes its
  black first and last columns, as in one call on the whole image;
- the whole plane (the Gaussian blurs, shear, scale_mask, radial_blur_mask):
  one call per image of a stack (..., height, width[, 4]); chunks that split
  an image are merged first;
- histogram: counts of each block, summed (counts add up exactly).
"""

from __future__ import annotations

import inspect
import textwrap
from typing import Any, Dict, Optional, Tuple

import dask.array as da
import numpy as np

import morvex
from .. import _blur, _filters, _mask, _native

# The image and mask parameters of every offered function, with the number
# of axes of one image: 3 for (height, width, channels), 2 for (height,
# width); None for the two functions that take one array of any trailing
# axes as it is (and so no stacks).
ARRAYS: Dict[str, Dict[str, Optional[int]]] = {
    "bitmap_copy": {"src": None}, "channel_copy": {"src": 2}, "lut": {"image": 3},
    "lut_with_alpha_clamp": {"image": 3}, "channel_map": {"image": 3},
    "channel_map_ex": {"src": 3}, "channel_merge_lut": {"image": 3},
    "convert_argb_to_argb_float": {"src": 3}, "convert_argb_float_to_argb": {"src": 3},
    "convert_channel_to_float_mask": {"src": 3}, "convert_float_mask_to_argb": {"src": 2},
    "blend": {"dst": 3, "src": 3}, "masked_blend": {"dst": 3, "mask": 3, "src": 3},
    "masked_fade": {"dst": 3, "mask": 3, "src": 3}, "composite": {"dst": 3, "src": 3},
    "multiply": {"image": 3}, "multiply_channel": {"dst": 3, "mask": 3},
    "mask_multiply": {"dst": 3, "mask": 3}, "clip_restore": {"image": 3},
    "focus_prep": {"image": 3}, "desaturate": {"image": 3}, "hsl_scale_offset": {"image": 3},
    "multiply_masks": {"dst": 2, "src": 2},
    "hsl": {"image": 3}, "from_rgba": {"rgba": None}, "to_rgba": {"bgra": 3},
    "flatten": {"image": 3},
    "blur3x3": {"src": 3}, "edge_detect": {"src": 3},
    "gaussian_blur": {"image": 3}, "gaussian_blur_mask": {"mask": 2},
    "radial_blur_mask": {"src": 2}, "scale_mask": {"dst": 2, "src": 2}, "shear": {"src": 3},
    "histogram": {"image": 3},
}

_C_NAMES = {fn.__name__: c for c, fn in morvex.EXPORTS.items()}
# Element by element: the exports called in row bands, but for the noise
# (whose elements depend on their position: generate_noise_mask below), and
# the photo-level conversions, which work pixel by pixel.
PIXELS = frozenset(
    name for name in ARRAYS
    if _C_NAMES.get(name) in _native.ROW_BANDS and _native.ROW_BANDS[_C_NAMES[name]][3] is None
) | {"hsl", "from_rgba", "to_rgba", "flatten"}
NEIGHBOURS = frozenset({"blur3x3", "edge_detect"})
PLANES = frozenset(ARRAYS) - PIXELS - NEIGHBOURS - {"histogram"}


def _as_dask(value, name):
    if isinstance(value, da.Array):
        return value
    if isinstance(value, np.ndarray):
        return da.from_array(value)
    raise TypeError(f"{name} must be a dask or numpy array, not {type(value).__name__}")


# Checks of the plane functions that need an image's real size (the sample
# the function checks its arguments on is empty); they may change the
# arguments the sample gets, and give the size of one result image when it
# is not the first array's.
def _sigma_checks(arguments, image):
    for key, count in (("row_sigmas", image[0]), ("column_sigmas", image[1])):
        if arguments.get(key) is not None:
            _blur._sigma_array(arguments[key], key, count)
            arguments[key] = None


def _shear_size(arguments, image):
    shape, arguments["shape"] = arguments["shape"], None
    if shape is None:
        return _mask.sheared_shape(image, arguments["direction"], arguments["factor"]) + (4,)
    return _mask._shape2(shape, "shape") + (4,)


def _radial_checks(arguments, image):
    _filters.check_samples(image[1], image[0], *(arguments[k] for k in (
        "center_x", "center_y", "scale_x", "scale_y", "max_samples")))


_BEFORE_SAMPLE = {"gaussian_blur": _sigma_checks, "gaussian_blur_mask": _sigma_checks,
                  "shear": _shear_size}
_AFTER_SAMPLE = {"radial_blur_mask": _radial_checks}
# ScaleMask refuses from the sizes of the planes, so an empty sample proves
# nothing: its arguments are checked with each image.
_NO_SAMPLE = frozenset({"scale_mask"})


def _histogram_counts(image):
    """The four histograms of one image or block, as (1, 1, 1024) counts."""
    return np.concatenate(morvex.histogram(image)[:4]).reshape(1, 1, 1024)


class _PerImage:
    """The task of a block: the function on each image of the blocks of its
    arrays (which share their leading stack axes), the results stacked."""

    def __init__(self, fn, keys, stack_axes, arguments, kept, tail, dtype):
        self.fn, self.keys, self.stack_axes, self.arguments = fn, keys, stack_axes, arguments
        self.kept, self.tail, self.dtype = kept, tail, dtype

    def __call__(self, *blocks):
        if not self.stack_axes:
            return self.fn(**self.arguments, **dict(zip(self.keys, blocks)))
        stack = blocks[0].shape[:self.stack_axes]
        # A block of no images still has its result's shape.
        pixels = blocks[0].shape[self.stack_axes:self.stack_axes + self.kept]
        result = np.empty(stack + pixels + self.tail, self.dtype)
        for index in np.ndindex(*stack):
            result[index] = self.fn(**self.arguments,
                                    **{k: b[index] for k, b in zip(self.keys, blocks)})
        return result


def _images(name, keys, arrays, cores):
    """The stack shape the arrays share and each one's image shape."""
    for key, arr, core in zip(keys, arrays, cores):
        if arr.ndim < core:
            raise ValueError(f"{key} must have {core} axes (one image) or more (a stack of "
                             f"images), not shape {arr.shape}")
    stacks = [a.shape[:a.ndim - c] for a, c in zip(arrays, cores)]
    images = [a.shape[a.ndim - c:] for a, c in zip(arrays, cores)]
    for key, stack, image in zip(keys, stacks, images):
        if stack != stacks[0]:
            raise ValueError(f"{key} must hold as many images as {keys[0]} {stacks[0]}, "
                             f"not {stack}")
        if name not in PLANES and image != images[0]:
            raise ValueError(f"{key} must have the same shape as {keys[0]} {images[0]}, "
                             f"not {image}")
    return stacks[0], images


def _checked(name, fn, arguments, keys, arrays, images):
    """The function's own checks of the arguments, made now on empty arrays
    of the inputs' dtypes (and those that need the image's size): the dtype
    and the shape of one result image (or block, by its first two axes)."""
    checked = dict(arguments)
    out_image = _BEFORE_SAMPLE[name](checked, images[0]) if name in _BEFORE_SAMPLE else None
    if name in _NO_SAMPLE:
        return arrays[0].dtype, images[0]
    sample = fn(**checked, **{k: np.empty((0,) + image[1:], a.dtype)
                              for k, a, image in zip(keys, arrays, images)})
    if name in _AFTER_SAMPLE:
        _AFTER_SAMPLE[name](arguments, images[0])
    if name == "histogram":
        return np.dtype(np.int32), (1, 1, 1024)
    if name in PLANES:
        return sample.dtype, out_image or images[0]
    return sample.dtype, images[0][:2] + sample.shape[2:]


def lazy(name: str, fn: Any, arguments: Dict[str, Any]) -> Any:
    """`fn` (the in-memory function `name`) on dask arrays: its arguments
    checked now, its result a dask array (a Histogram of them)."""
    keys = tuple(ARRAYS[name])
    arrays = [_as_dask(arguments.pop(k), k) for k in keys]
    cores = [a.ndim if c is None else c for a, c in zip(arrays, ARRAYS[name].values())]
    stack, images = _images(name, keys, arrays, cores)
    dtype, out_image = _checked(name, fn, arguments, keys, arrays, images)

    # Blockwise indices: the stack axes chunked as given, the rows and
    # columns too where elements do not need the whole plane (a histogram
    # block gives one count a block in them), every other axis whole.
    stack_ind = tuple(f"s{k}" for k in range(len(stack)))
    kept = 0 if name in PLANES else 2
    blockwise_args = []
    for n, (arr, core) in enumerate(zip(arrays, cores)):
        whole = {axis: -1 for axis in range(len(stack) + kept, arr.ndim)}
        blockwise_args += [arr.rechunk(whole) if whole else arr,
                           stack_ind + ("y", "x")[:kept] + tuple(f"a{n}.{k}"
                                                                 for k in range(core - kept))]
    out_ind = stack_ind + ("y", "x")[:kept] + tuple(f"o{k}" for k in range(len(out_image) - kept))
    new_axes = dict(zip(out_ind[len(stack) + kept:], out_image[kept:]))
    meta = np.empty((0,) * len(out_ind), dtype)
    if name == "histogram":
        task = _PerImage(_histogram_counts, keys, len(stack), {}, 0, out_image, dtype)
    else:
        task = _PerImage(fn, keys, len(stack), arguments, kept, out_image[kept:], dtype)

    if name in NEIGHBOURS:
        depth = {axis: int(len(stack) <= axis < len(stack) + 2)
                 for axis in range(arrays[0].ndim)}
        return da.map_overlap(task, blockwise_args[0], depth=depth, boundary="none",
                              dtype=dtype, meta=meta)
    if name != "histogram":
        return da.blockwise(task, out_ind, *blockwise_args, new_axes=new_axes, dtype=dtype,
                            meta=meta, concatenate=True)
    # The counts of each image's blocks summed in the library's int32
    # (wrapping as its counters would).
    counts = da.blockwise(task, out_ind, *blockwise_args, new_axes=new_axes, dtype=dtype,
                          meta=meta, concatenate=True, adjust_chunks={"y": 1, "x": 1})
    counts = counts.sum(axis=(len(stack), len(stack) + 1), dtype=np.int32)
    counts = counts.reshape(stack + (4, 256))
    return morvex.Histogram(*(counts[..., k, :] for k in range(4)), counts.max(axis=(-2, -1)))


def _noise_block(low, high, seed, width, block_info=None):
    """The noise of one block: one call from the generator's state at the
    block's first element when the block spans whole rows, else one call
    per row from the state at its first element."""
    (y0, y1), (x0, x1) = block_info[None]["array-location"]
    if (x0, x1) == (0, width):
        return morvex.generate_noise_mask((y1 - y0, width), low, high,
                                          _native.lcg_jump(seed, y0 * width))
    out = np.empty((y1 - y0, x1 - x0), np.float32)
    for y in range(y0, y1):
        morvex.generate_noise_mask(None, low, high, _native.lcg_jump(seed, y * width + x0),
                                   out=out[y - y0:y - y0 + 1])
    return out


def generate_noise_mask(shape: Tuple[int, int], low: float, high: float, seed: int = 0, *,
                        chunks: Any = "auto") -> da.Array:
    """Lazy `morvex.generate_noise_mask`: the same noise, as a dask array.

    Parameters
    ----------
    shape : (int, int)
        (height, width) of the mask.
    low, high, seed
        As in `morvex.generate_noise_mask`.
    chunks : dask chunks, default "auto"
        Any chunks: a block of whole rows is one call, a narrower block one
        call per row, each started from the generator state that element
        has in one call over the whole mask.

    Returns
    -------
    dask.array.Array of float32, shape (height, width)
    """
    height, width = _mask._shape2(shape, "shape")
    morvex.generate_noise_mask((0, 0), low, high, seed)  # its argument checks
    chunks = da.core.normalize_chunks(chunks, (height, width), dtype=np.float32)
    return da.map_blocks(_noise_block, low, high, seed, width, chunks=chunks, dtype=np.float32,
                         meta=np.empty((0, 0), np.float32))


_HOW = {
    "pixels": "Each element of the result depends on that element alone: one call per block, "
              "with any chunks in rows and columns.",
    "neighbours": "A 3x3 filter: one call per block read with one more pixel on each side "
                  "where another block lies (map_overlap, depth 1); at the image's own edges "
                  "the export's edge rules apply, as in one call on the whole image.",
    "planes": "Each result depends on the whole image: one call per image of a stack "
              "(..., height, width[, 4]); chunks that split an image are merged first, so "
              "an image (not the stack) must fit in memory.",
    "histogram": "Counts per block, summed over each image's blocks in int32 (a stack gives "
                 "counts of shape (..., 256) and largest of shape (...)); any chunks.",
}


def _offer(name):
    fn = getattr(morvex, name)
    signature = inspect.signature(fn)
    keys = ARRAYS[name]
    parameters = [p.replace(annotation="dask.array.Array") if p.name in keys else p
                  for p in signature.parameters.values() if p.name not in ("out", "temp")]
    signature = signature.replace(parameters=parameters, return_annotation=(
        "Histogram" if name == "histogram" else "dask.array.Array"))
    kind = ("pixels" if name in PIXELS else "neighbours" if name in NEIGHBOURS else
            "planes" if name in PLANES else "histogram")

    def offered(*args, **kwargs):
        bound = signature.bind(*args, **kwargs)
        bound.apply_defaults()
        return lazy(name, fn, dict(bound.arguments))

    offered.__name__ = offered.__qualname__ = name
    offered.__module__ = "morvex.dask"
    offered.__signature__ = signature
    stacks = ("" if None in keys.values() else
              " Images may carry leading stack axes, (n, height, width, 4) say.")
    offered.__doc__ = f"Lazy `morvex.{name}` on dask arrays.\n\n" + "\n\n".join(
        textwrap.fill(paragraph, 76) for paragraph in (
            f"The arguments of `morvex.{name}` (see its help), with {', '.join(keys)} as dask "
            f"(or numpy) arrays, and no ``out=``; the result, computed, is byte for byte that "
            f"of `morvex.{name}` on the computed inputs.{stacks} Arguments are checked at "
            f"once, as `morvex.{name}` checks them.", _HOW[kind])) + "\n"

    return offered


OFFERED = {name: _offer(name) for name in ARRAYS}
OFFERED["generate_noise_mask"] = generate_noise_mask
