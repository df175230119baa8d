"""Image files through Pillow (an optional dependency), converted as the
morvex command-line tool converts them."""

from __future__ import annotations

import os
import tempfile
from typing import Any, Optional, Union

import numpy as np
from numpy.typing import NDArray

from . import _planes as P
from ._straight import Color, flatten, from_rgba, to_rgba

PathLike = Union[str, "os.PathLike[str]"]


def _pillow():
    try:
        from PIL import Image
    except ImportError:
        raise ImportError("morvex needs Pillow to read and write image files "
                          "(pip install pillow, or Debian's python3-pil)") from None
    return Image


def _cmyk(picture, dtype):
    """A CMYK JPEG as the tool reads it: colour = (255 - ink) * (255 - black)
    / 255 rounded, opaque (Pillow has already undone Adobe's inversion), which
    is premultiplying each ink's light by the black's."""
    bgra = from_rgba(255 - np.asarray(picture, dtype=np.uint8), dtype)
    bgra[..., 3] = 255
    return bgra


def from_pil(picture: Any, dtype: type = np.uint8) -> NDArray:
    """A Pillow image as premultiplied BGRA.

    Converted as `load_image` converts a file's pixels (grey, palette and
    transparency through Pillow's RGBA, CMYK as the ``morvex`` tool does).

    Parameters
    ----------
    picture : PIL.Image.Image
    dtype : {numpy.uint8, numpy.float32}, default numpy.uint8
        See `from_rgba`.

    Returns
    -------
    ndarray, shape (height, width, 4)
        Premultiplied BGRA.

    Examples
    --------
    >>> from PIL import Image
    >>> import morvex
    >>> morvex.from_pil(Image.new("RGBA", (1, 1), (255, 0, 0, 128)))[0, 0].tolist()
    [0, 0, 128, 128]
    """
    dtype = np.dtype(dtype)
    if picture.mode == "CMYK":
        return _cmyk(picture, dtype)
    if picture.mode.startswith("I"):  # 16-bit grey: "I;16..." or Pillow's "I" of a PNG
        grey = np.asarray(picture)
        if grey.size and (grey.min() < 0 or grey.max() > 65535):
            raise ValueError(f"a mode {picture.mode} image must hold 0..65535")
        return from_rgba(grey.astype(np.uint16), dtype)
    if picture.mode != "RGBA":
        picture = picture.convert("RGBA")
    return from_rgba(np.asarray(picture, dtype=np.uint8), dtype)


def to_pil(image: NDArray) -> Any:
    """Premultiplied BGRA as a straight-alpha RGBA Pillow image (`to_rgba`).

    Parameters
    ----------
    image : ndarray of uint8 or float32, shape (height, width, 4)

    Returns
    -------
    PIL.Image.Image
        Mode "RGBA".

    Examples
    --------
    >>> import numpy as np, morvex
    >>> morvex.to_pil(np.zeros((2, 3, 4), np.uint8)).size
    (3, 2)
    """
    return _pillow().fromarray(to_rgba(image), "RGBA")


# Pillow keeps the top byte of 16-bit colour; decoding the same data again
# with these raw modes gives the whole samples.
_WIDE = {"RGBA;16B": ("RGBA;16L", 4), "RGB;16B": ("RGB;16L", 3), "LA;16B": ("RGBA", 2),
         "I;16B": (None, 1)}


# Grey PNGs of 2 and 4 bits: the factor that scales a sample to 8 bits.
_LOW_GREY = {"L;2": 85, "L;4": 17}


def _reload(path, rawmode):
    Image = _pillow()
    with Image.open(path) as picture:
        picture.tile = [tile[:3] + (rawmode,) + tuple(tile[4:]) for tile in picture.tile]
        picture.load()
        return np.asarray(picture)


def _rawmode(picture):
    """How Pillow is about to decode the picture's data (before load)."""
    rawmode = picture.tile[0][3] if picture.tile else None
    return rawmode[0] if isinstance(rawmode, tuple) else rawmode


def _png16(path, picture, rawmode):
    """The samples of a 16-bit PNG (decoded by Pillow to its top bytes, with
    `rawmode`), 0..65535, as (height, width, channels), a tRNS colour key
    turned into alpha."""
    low_mode, channels = _WIDE[rawmode]
    if low_mode is None:  # grey: Pillow's mode "I" holds it whole
        samples = np.asarray(picture).astype(np.uint16)[..., None]
    elif rawmode == "LA;16B":  # the four bytes of each pixel as they are
        raw = _reload(path, low_mode).astype(np.uint16)
        samples = raw[..., 0::2] << 8 | raw[..., 1::2]
    else:
        high = np.asarray(picture).astype(np.uint16)[..., :channels]
        samples = high << 8 | _reload(path, low_mode).astype(np.uint16)[..., :channels]
    key = picture.info.get("transparency")
    if key is not None and channels in (1, 3):
        match = (samples == np.array(key, np.uint16).reshape(-1)).all(axis=2)
        alpha = np.where(match, 0, 65535).astype(np.uint16)[..., None]
        samples = np.concatenate([samples, alpha], axis=2)
    return samples


def load_image(path: PathLike, dtype: type = np.uint8) -> NDArray:
    """Read an image file as premultiplied BGRA, as the ``morvex`` tool does.

    PNG and JPEG files give the same bytes as the tool's reading of them:
    straight colour premultiplied with rounding to nearest, 16-bit files
    from their full precision (``c * a * 255 / 65535**2``), CMYK JPEGs as
    ``(255 - ink) * (255 - black) / 255``. Gamma, colour profiles and the
    orientation tag are not applied. Other formats Pillow reads go through
    its RGBA conversion.

    Parameters
    ----------
    path : str or os.PathLike
    dtype : {numpy.uint8, numpy.float32}, default numpy.uint8
        float32 keeps the precision of 16-bit files (premultiplied BGRA on
        the 0..255 scale, as the float exports take it); rounding it with
        `convert_argb_float_to_argb` gives exactly the uint8 load.

    Returns
    -------
    ndarray, shape (height, width, 4)
        Premultiplied BGRA (use `to_rgba` for straight RGBA).

    Examples
    --------
    >>> import morvex, skimage.data, os
    >>> photo = morvex.load_image(os.path.join(skimage.data.data_dir, "astronaut.png"))
    >>> photo.shape, photo.dtype
    ((512, 512, 4), dtype('uint8'))
    """
    dtype = np.dtype(dtype)
    if dtype not in (P.U8, P.F32):
        raise TypeError(f"dtype must be uint8 or float32, not {dtype}")
    with _pillow().open(path) as picture:
        rawmode = _rawmode(picture)
        picture.load()
        if picture.format == "PNG" and rawmode in _WIDE:
            return from_rgba(_png16(path, picture, rawmode), dtype)
        key = picture.info.get("transparency")
        if picture.format == "PNG" and rawmode in _LOW_GREY and isinstance(key, int):
            # Pillow compares the colour key with the samples scaled to 8 bits.
            grey = np.asarray(picture.convert("L"))
            alpha = np.where(grey == key * _LOW_GREY[rawmode], 0, 255).astype(np.uint8)
            return from_rgba(np.stack([grey, alpha], axis=2), dtype)
        return from_pil(picture, dtype)


def _writable_picture(image, jpeg):
    """The Pillow image of the fewest channels (grey, grey + alpha, RGB,
    RGBA) that holds the straight pixels exactly; JPEG takes grey or RGB."""
    Image = _pillow()
    rgba = to_rgba(image)
    opaque = bool((rgba[..., 3] == 255).all())
    grey = bool((rgba[..., 0] == rgba[..., 1]).all() and (rgba[..., 1] == rgba[..., 2]).all())
    if jpeg or opaque:
        return Image.fromarray(np.ascontiguousarray(rgba[..., 0] if grey else rgba[..., :3]),
                               "L" if grey else "RGB")
    if grey:
        return Image.fromarray(np.ascontiguousarray(rgba[..., [0, 3]]), "LA")
    return Image.fromarray(rgba, "RGBA")


def save_image(path: PathLike, image: NDArray, *, background: Optional[Color] = None,
               quality: int = 90, **options: Any) -> None:
    """Write premultiplied BGRA to an image file, as the ``morvex`` tool does.

    The file holds straight alpha (`to_rgba`): PNG in the fewest channels
    that hold the pixels exactly (grey, grey + alpha, RGB, RGBA), JPEG grey
    or RGB (full-resolution colour from quality 90 up, optimised tables).
    The file appears whole or not at all (written beside, then renamed).

    Parameters
    ----------
    path : str or os.PathLike
        The format follows the extension (``.png``, ``.jpg``, ``.jpeg``, or
        another one Pillow writes), or ``options["format"]``.
    image : ndarray of uint8 or float32, shape (height, width, 4)
        Premultiplied BGRA (float32 is rounded as `convert_argb_float_to_argb`).
    background : str or sequence of int, optional
        Lay the image over this colour first (`flatten`): needed for a JPEG
        of an image that is not opaque.
    quality : int, default 90
        JPEG quality 1..100.
    **options
        Passed to ``PIL.Image.Image.save`` (``compress_level=9``, ...).

    Raises
    ------
    ValueError
        A JPEG of an image with translucent pixels and no `background`.

    Examples
    --------
    >>> import numpy as np, morvex, tempfile, os
    >>> logo = np.zeros((8, 8, 4), np.uint8); logo[2:6, 2:6] = 255
    >>> path = os.path.join(tempfile.mkdtemp(), "logo.jpg")
    >>> morvex.save_image(path, logo, background="white")
    """
    if isinstance(image, np.ndarray) and image.dtype == P.F32:
        from ._pixel import convert_argb_float_to_argb
        image = convert_argb_float_to_argb(image)
    P.image(image, "image", P.U8)
    if background is not None:
        image = flatten(image, background)
    path = os.fspath(path)
    fmt = options.pop("format", None)
    extension = os.path.splitext(path)[1].lower()
    jpeg = (fmt or "").upper() in ("JPEG", "JPG") or (fmt is None and extension in (".jpg",
                                                                                   ".jpeg"))
    if jpeg:
        translucent = int(np.count_nonzero(image[..., 3] != 255))
        if translucent:
            raise ValueError(f"cannot write {path}: JPEG has no alpha, and {translucent} of the "
                             f"{image.shape[0] * image.shape[1]} pixels are not opaque (pass "
                             f"background= to flatten them, or write a PNG)")
        quality = P.int32(quality, "quality")
        if not 1 <= quality <= 100:
            raise ValueError(f"quality must be 1..100, got {quality}")
        options = {"quality": quality, "optimize": True,
                   "subsampling": 0 if quality >= 90 else 2, **options}
        fmt = fmt or "JPEG"
    elif fmt is None:
        fmt = _pillow().registered_extensions().get(extension)
        if fmt is None:
            raise ValueError(f"cannot write {path}: unknown image format {extension!r}")
    picture = _writable_picture(image, jpeg or fmt.upper() not in ("PNG",))
    if fmt.upper() not in ("PNG", "JPEG", "JPG"):
        picture = to_pil(image)
    folder = os.path.dirname(os.path.abspath(path))
    handle, temporary = tempfile.mkstemp(prefix=".morvex-", suffix=extension, dir=folder)
    try:
        with os.fdopen(handle, "wb") as stream:
            picture.save(stream, format=fmt, **options)
        os.replace(temporary, path)
    except BaseException:
        os.unlink(temporary)
        raise
