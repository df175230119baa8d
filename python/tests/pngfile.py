"""A small PNG writer for the tests: every colour type and bit depth,
palettes, tRNS and Adam7 interlacing, rows unfiltered."""

import struct
import zlib

import numpy as np

# Adam7 passes: (first column, first row, column step, row step).
ADAM7 = ((0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2),
         (0, 1, 1, 2))
CHANNELS = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}


def _chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def _rows(samples, depth):
    """Filter byte 0 and the packed samples of each row."""
    height, width, channels = samples.shape
    if depth == 16:
        packed = samples.astype(">u2").reshape(height, -1).view(np.uint8)
    elif depth == 8:
        packed = samples.astype(np.uint8).reshape(height, -1)
    else:
        per_byte = 8 // depth
        flat = samples.reshape(height, -1).astype(np.uint8)
        pad = (-flat.shape[1]) % per_byte
        flat = np.pad(flat, ((0, 0), (0, pad))).reshape(height, -1, per_byte)
        shifts = depth * np.arange(per_byte - 1, -1, -1, dtype=np.uint8)
        packed = np.bitwise_or.reduce(flat << shifts, axis=2).astype(np.uint8)
    return b"".join(b"\0" + row.tobytes() for row in packed)


def png_bytes(samples, color_type, depth, palette=None, trns=None, interlace=False):
    """samples: (height, width, channels) integers as stored (palette
    indices for color type 3)."""
    samples = np.asarray(samples)
    if samples.ndim == 2:
        samples = samples[..., None]
    height, width = samples.shape[:2]
    if interlace:
        data = b"".join(_rows(samples[y0::dy, x0::dx], depth)
                        for x0, y0, dx, dy in ADAM7 if samples[y0::dy, x0::dx].size)
    else:
        data = _rows(samples, depth)
    out = b"\x89PNG\r\n\x1a\n" + _chunk(b"IHDR", struct.pack(
        ">IIBBBBB", width, height, depth, color_type, 0, 0, int(interlace)))
    if palette is not None:
        out += _chunk(b"PLTE", np.asarray(palette, np.uint8).tobytes())
    if trns is not None:
        out += _chunk(b"tRNS", trns)
    return out + _chunk(b"IDAT", zlib.compress(data)) + _chunk(b"IEND", b"")


def cases(rng, height=7, width=13):
    """(name, file bytes) of every kind of PNG the tool reads."""
    out = []
    for color_type, depths in ((0, (1, 2, 4, 8, 16)), (2, (8, 16)), (3, (1, 2, 4, 8)),
                               (4, (8, 16)), (6, (8, 16))):
        for depth in depths:
            top = 2**depth - 1
            shape = (height, width, CHANNELS[color_type])
            samples = rng.integers(0, top + 1, shape)
            if color_type in (4, 6):  # some fully transparent and opaque pixels
                samples[0, :3, -1] = 0
                samples[1, :3, -1] = top
            palette = trns = None
            if color_type == 3:
                palette = rng.integers(0, 256, (top + 1, 3))
                trns = rng.integers(0, 256, min(top + 1, 5)).astype(np.uint8).tobytes()
            for interlace in (False, True):
                name = f"type{color_type}-{depth}bit{'-interlaced' if interlace else ''}"
                out.append((name, png_bytes(samples, color_type, depth, palette, trns,
                                            interlace)))
            if color_type in (0, 2):  # a colour key
                key = samples[2, 2]
                data = b"".join(struct.pack(">H", int(v)) for v in key)
                out.append((f"type{color_type}-{depth}bit-trns",
                            png_bytes(samples, color_type, depth, trns=data)))
    return out
