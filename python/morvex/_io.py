"""Image files through Pillow (an optional dependency)."""

import numpy as np

from ._straight import premultiply, unpremultiply


def _pillow():
    try:
        from PIL import Image
    except ImportError:
        raise ImportError("morvex needs Pillow to read and write image files "
                          "(pip install pillow, or Debian's python3-pil)") from None
    return Image


def from_pil(picture):
    """A Pillow image as a premultiplied BGRA uint8 array (converted to RGBA first)."""
    if picture.mode != "RGBA":
        picture = picture.convert("RGBA")
    return premultiply(np.asarray(picture, dtype=np.uint8))


def to_pil(image):
    """A premultiplied BGRA uint8 array as a straight-alpha RGBA Pillow image."""
    return _pillow().fromarray(unpremultiply(image), "RGBA")


def load_image(path):
    """Reads an image file (any format Pillow reads) as premultiplied BGRA uint8."""
    with _pillow().open(path) as picture:
        picture.load()
        return from_pil(picture)


def save_image(path, image, **options):
    """Writes a premultiplied BGRA uint8 image in straight alpha; the format
    follows the file name (or options["format"]), other options go to Pillow."""
    to_pil(image).save(path, **options)
