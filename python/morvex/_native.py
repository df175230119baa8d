"""Loading Morvex.Native.so, the ctypes signature of every export, and the
ways of calling them: in row bands where rows are independent (so a long
call can be interrupted), in a worker thread for the one long call that
cannot be split, and refusals raised as MorvexError."""

from __future__ import annotations

import ctypes
import os
import threading
from typing import Any, Dict, NoReturn, Optional, Sequence, Tuple

LIBRARY_NAME = "Morvex.Native.so"

# Every export's C signature: (result, arguments), in the header's order.
# "ptr" is any pointer (passed as an address or None); the rest are the
# fixed-size C types.
SIGNATURES: Dict[str, Tuple[str, Tuple[str, ...]]] = {
    "FPU_Control": ("u32", ("u32", "u32")),
    "FPU_Status": ("u32", ()),
    "FPU_Reset": ("void", ()),
    "BitmapCopy": ("u8", ("ptr", "i32", "ptr", "i32", "i32", "i32", "i32")),
    "ChannelCopy": ("u8", ("ptr", "i32", "i32", "i32", "i32", "ptr", "i32", "i32")),
    "Lut": ("u8", ("ptr", "i32", "i32", "i32", "ptr")),
    "LutWithAlphaClamp": ("u8", ("ptr", "i32", "i32", "i32", "ptr")),
    "ChannelMap": ("u8", ("ptr", "i32", "i32", "i32", "i32", "ptr")),
    "ChannelMapEx": ("u8", ("ptr", "i32", "ptr", "i32", "i32", "i32", "i32", "ptr")),
    "ChannelMergeLut": ("u8", ("ptr", "i32", "i32", "i32", "i32", "ptr")),
    "ConvertARGBToARGBFloat": ("u8", ("ptr", "i32", "ptr", "i32", "i32", "i32")),
    "ConvertARGBFloatToARGB": ("u8", ("ptr", "i32", "ptr", "i32", "i32", "i32")),
    "ConvertChannelToFloatMask": ("u8", ("ptr", "i32", "ptr", "i32", "i32", "i32", "i32", "ptr")),
    "ConvertFloatMaskToARGB": ("u8", ("ptr", "i32", "ptr", "i32", "i32", "i32")),
    "Blend": ("u8", ("ptr", "i32", "ptr", "i32", "i32", "i32", "f64")),
    "MaskedBlend": ("u8", ("ptr", "i32", "ptr", "i32", "ptr", "i32", "i32", "i32", "ptr")),
    "MaskedFade": ("u8", ("ptr", "i32", "ptr", "i32", "ptr", "i32", "i32", "i32")),
    "Composite": ("u8", ("ptr", "i32", "ptr", "i32", "i32", "i32", "i32", "f64")),
    "Multiply": ("u8", ("ptr", "i32", "i32", "i32", "f64")),
    "MultiplyChannel": ("u8", ("ptr", "i32", "u32", "ptr", "i32", "u32", "i32", "i32",
                               "f64", "f64")),
    "MaskMultiply": ("u8", ("ptr", "i32", "ptr", "i32", "i32", "i32", "i32", "f64", "f64")),
    "ClipRestore": ("u8", ("ptr", "i32", "i32", "i32", "f64", "f64")),
    "FocusPrep": ("u8", ("ptr", "i32", "i32", "i32", "f64", "f64")),
    "Desaturate": ("u8", ("ptr", "i32", "i32", "i32", "u32")),
    "Histogram": ("i32", ("ptr", "i32", "i32", "i32", "ptr", "ptr", "ptr", "ptr")),
    "HslScaleOffset": ("u8", ("ptr", "i32", "i32", "i32", "f64", "f64", "f64", "f64", "f64",
                              "f64")),
    "GaussianBlur": ("u8", ("ptr", "i32", "i32", "i32", "i32", "ptr", "i32", "f64", "f64",
                            "ptr", "ptr")),
    "GaussianBlurMask": ("u8", ("ptr", "i32", "i32", "i32", "i32", "ptr", "i32", "f64", "f64",
                                "f64", "f64", "ptr", "ptr")),
    "Blur3x3": ("u8", ("ptr", "i32", "ptr", "i32", "i32", "i32")),
    "EdgeDetect": ("u8", ("ptr", "i32", "ptr", "i32", "i32", "i32", "u32", "f64")),
    "RadialBlurMask": ("u8", ("ptr", "i32", "i32", "ptr", "i32", "i32", "i32", "i32", "f64",
                              "f64", "f64", "f64", "f64")),
    "GenerateNoiseMask": ("u8", ("ptr", "i32", "i32", "i32", "f32", "f32", "u32")),
    "MultiplyMasks": ("u8", ("ptr", "i32", "ptr", "i32", "i32", "i32")),
    "ScaleMask": ("u8", ("ptr", "i32", "i32", "i32", "f32", "f32", "f32", "f32", "ptr", "i32",
                         "i32", "i32", "f32", "f32", "f32", "f32", "i32", "f32")),
    "Shear": ("u8", ("ptr", "i32", "i32", "i32", "ptr", "i32", "i32", "i32", "u32", "f64")),
}

CTYPES = {
    "void": None,
    "ptr": ctypes.c_void_p,
    "u8": ctypes.c_uint8,
    "i32": ctypes.c_int32,
    "u32": ctypes.c_uint32,
    "f32": ctypes.c_float,
    "f64": ctypes.c_double,
}


def _candidates():
    """Where the library is looked for, in order."""
    explicit = os.environ.get("MORVEX_NATIVE_LIB")
    if explicit:
        return [explicit]
    here = os.path.join(os.path.dirname(os.path.abspath(__file__)), LIBRARY_NAME)
    # Then the dynamic loader's own search (LD_LIBRARY_PATH, the loader cache),
    # for a library installed with cmake --install.
    return [here, LIBRARY_NAME]


def _load():
    errors = []
    for path in _candidates():
        if os.sep in path and not os.path.exists(path):
            errors.append(f"{path}: not found")
            continue
        try:
            return ctypes.CDLL(path), path
        except OSError as error:
            errors.append(str(error))
    raise ImportError("morvex: cannot load " + LIBRARY_NAME + " (" + "; ".join(errors) + ")")


lib, library_path = _load()

# One ctypes function per export, its types set once. CDLL calls release the
# GIL for the duration of the call.
functions: Dict[str, Any] = {}
for _name, (_result, _args) in SIGNATURES.items():
    _fn = getattr(lib, _name)
    _fn.restype = CTYPES[_result]
    _fn.argtypes = [CTYPES[a] for a in _args]
    functions[_name] = _fn
del _name, _result, _args, _fn


class MorvexError(ValueError):
    """The library refuses these arguments.

    The binding knows every refusal from the arguments and raises this
    before calling, with the library's own diagnostic line where it writes
    one (``ChannelMap``, ``ChannelMapEx``, ``GaussianBlur``,
    ``GaussianBlurMask``); nothing is written to the arrays and nothing to
    standard error. It is a ``ValueError``.

    Attributes
    ----------
    export : str
        The C name of the export.
    diagnostic : str or None
        The library's line for the refusal (``"ChannelMap: invalid channel
        value"``), None for refusals without one.
    """

    def __init__(self, export: str, message: str, diagnostic: Optional[str] = None):
        super().__init__(message)
        self.export = export
        self.diagnostic = diagnostic


def refuse(name: str, why: str) -> NoReturn:
    """A refusal without a diagnostic line, described by the binding."""
    raise MorvexError(name, f"{name} refused the call: {why}")


def refuse_with_line(name: str, line: str) -> NoReturn:
    """A refusal for which the library writes `line`: raised with that exact
    text, without calling the library."""
    raise MorvexError(name, line, line)


# Exports whose rows are independent: (the pointer and stride argument
# positions of each plane, the width and height positions, the seed
# position or None). They are called in bands of about BAND_PIXELS
# elements, with exactly the results of one call, so that Ctrl-C stops a
# long call between bands (Python raises KeyboardInterrupt as a band
# returns). GenerateNoiseMask's generator runs on across rows: a band starts
# from the state the rows above it leave.
ROW_BANDS: Dict[str, Tuple[Tuple[Tuple[int, int], ...], int, int, Optional[int]]] = {
    "BitmapCopy": (((0, 1), (2, 3)), 5, 6, None),
    "ChannelCopy": (((0, 1), (5, 6)), 3, 4, None),
    "Lut": (((0, 1),), 2, 3, None),
    "LutWithAlphaClamp": (((0, 1),), 2, 3, None),
    "ChannelMap": (((0, 1),), 3, 4, None),
    "ChannelMapEx": (((0, 1), (2, 3)), 5, 6, None),
    "ChannelMergeLut": (((0, 1),), 3, 4, None),
    "ConvertARGBToARGBFloat": (((0, 1), (2, 3)), 4, 5, None),
    "ConvertARGBFloatToARGB": (((0, 1), (2, 3)), 4, 5, None),
    "ConvertChannelToFloatMask": (((0, 1), (2, 3)), 5, 6, None),
    "ConvertFloatMaskToARGB": (((0, 1), (2, 3)), 4, 5, None),
    "Blend": (((0, 1), (2, 3)), 4, 5, None),
    "MaskedBlend": (((0, 1), (2, 3), (4, 5)), 6, 7, None),
    "MaskedFade": (((0, 1), (2, 3), (4, 5)), 6, 7, None),
    "Composite": (((0, 1), (2, 3)), 4, 5, None),
    "Multiply": (((0, 1),), 2, 3, None),
    "MultiplyChannel": (((0, 1), (3, 4)), 6, 7, None),
    "MaskMultiply": (((0, 1), (2, 3)), 4, 5, None),
    "ClipRestore": (((0, 1),), 2, 3, None),
    "FocusPrep": (((0, 1),), 2, 3, None),
    "Desaturate": (((0, 1),), 2, 3, None),
    "HslScaleOffset": (((0, 1),), 2, 3, None),
    "GenerateNoiseMask": (((0, 1),), 2, 3, 6),
    "MultiplyMasks": (((0, 1), (2, 3)), 4, 5, None),
}
BAND_PIXELS = 1 << 20

# The noise generator, state * A + C modulo 2^32.
_LCG_A, _LCG_C, _U32 = 214013, 2531011, 0xFFFFFFFF


def lcg_jump(state: int, steps: int) -> int:
    """The generator's state after `steps` outputs from `state` (the affine
    map composed with itself by squaring)."""
    a, c = 1, 0  # the map applied so far: s -> a * s + c
    step_a, step_c = _LCG_A, _LCG_C
    while steps:
        if steps & 1:
            a, c = (a * step_a) & _U32, (c * step_a + step_c) & _U32
        step_a, step_c = (step_a * step_a) & _U32, (step_c * step_a + step_c) & _U32
        steps >>= 1
    return (a * state + c) & _U32


def _call_banded(name: str, fn: Any, args: Sequence[Any]) -> int:
    planes, width_at, height_at, seed_at = ROW_BANDS[name]
    width, height = args[width_at], args[height_at]
    rows = max(1, BAND_PIXELS // max(width, 1))
    if height <= rows:
        return fn(*args)
    band = list(args)
    for y0 in range(0, height, rows):
        for pointer_at, stride_at in planes:
            band[pointer_at] = args[pointer_at] + y0 * args[stride_at]
        band[height_at] = min(rows, height - y0)
        if seed_at is not None:
            band[seed_at] = lcg_jump(args[seed_at], y0 * max(width, 0))
        if fn(*band) == 0:
            return 0
    return 1


def call(name: str, args: Sequence[Any], refusal: Optional[str] = None) -> int:
    """Calls an export (in row bands where its rows are independent); a 0
    result raises MorvexError with the binding's description `refusal`."""
    fn = functions[name]
    result = _call_banded(name, fn, args) if name in ROW_BANDS else fn(*args)
    if result == 0:
        refuse(name, refusal or "arguments refused")
    return 1


def call_with_line(name: str, args: Sequence[Any], line: str) -> int:
    """Calls one of the exports that write a line when they refuse, after
    the binding's own checks have ruled out every refusal they can know of.
    The one left, the library's scratch allocation failing, writes `line`
    to standard error and raises MorvexError with it."""
    if functions[name](*args) == 0:
        raise MorvexError(name, line, line)
    return 1


# The control-word fields a worker thread copies from the caller.
_CONTROL_FIELDS = 0x30F031F
_AMBIGUOUS = 0x80000000


def call_in_worker(name: str, args: Sequence[Any], keep: Any) -> int:
    """Runs an export that cannot be split on a worker thread while the
    calling (main) thread waits, so Ctrl-C raises KeyboardInterrupt at once.
    The call itself then runs on to its end on the worker; `keep` (the
    arrays the arguments point into) stays referenced until it has, and the
    caller writes only binding-owned arrays through it. The worker takes the
    caller's floating-point control word first."""
    fn = functions[name]
    control = functions["FPU_Control"](0, 0)
    if threading.current_thread() is not threading.main_thread() or control & _AMBIGUOUS:
        return fn(*args)
    box: Dict[str, int] = {}
    done = threading.Event()

    def work(keep: Any = keep) -> None:
        functions["FPU_Control"](control & _CONTROL_FIELDS, _CONTROL_FIELDS)
        box["result"] = fn(*args)
        done.set()

    threading.Thread(target=work, name=f"morvex {name}", daemon=True).start()
    while not done.wait(0.05):
        pass
    return box["result"]

