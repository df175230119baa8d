"""Loading Morvex.Native.so, the ctypes signature of every export, and calls
that turn a refusal into MorvexError."""

import ctypes
import os
import sys
import tempfile
import threading

LIBRARY_NAME = "Morvex.Native.so"

# Every export's C signature: (result, arguments), in the header's order.
# "ptr" is any pointer (passed as an address or None); the rest are the
# fixed-size C types.
SIGNATURES = {
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
functions = {}
for _name, (_result, _args) in SIGNATURES.items():
    _fn = getattr(lib, _name)
    _fn.restype = CTYPES[_result]
    _fn.argtypes = [CTYPES[a] for a in _args]
    functions[_name] = _fn
del _name, _result, _args, _fn


class MorvexError(RuntimeError):
    """The library refused a call (it returned 0 and wrote nothing).

    `export` is the C name of the export, `diagnostic` the line the library
    wrote for the refusal (None for refusals without one)."""

    def __init__(self, export, message, diagnostic=None):
        super().__init__(message)
        self.export = export
        self.diagnostic = diagnostic


# A refusal's diagnostic line is one write to file descriptor 2. Only calls
# that are going to be refused are made with fd 2 redirected, so successful
# calls never serialise; the lock keeps two redirections from interleaving.
_capture_lock = threading.Lock()


def _call_capturing(fn, args):
    """Calls fn(*args) with fd 2 sent to a temporary file; returns the result
    and the text written meanwhile."""
    with _capture_lock:
        try:
            sys.stderr.flush()
        except (AttributeError, OSError, ValueError):
            pass
        try:
            saved = os.dup(2)
        except OSError:  # no fd 2 at all: nothing to capture
            return fn(*args), ""
        with tempfile.TemporaryFile() as sink:
            os.dup2(sink.fileno(), 2)
            try:
                result = fn(*args)
            finally:
                os.dup2(saved, 2)
                os.close(saved)
            sink.seek(0)
            text = sink.read().decode("utf-8", "replace")
    return result, text


def _split_diagnostic(text, prefix):
    """The library's line among the captured text; anything else (written by
    other threads in the meantime) goes back to the real standard error."""
    line = None
    others = []
    for candidate in text.splitlines(keepends=True):
        if line is None and candidate.startswith(prefix + ":"):
            line = candidate.rstrip("\n")
        else:
            others.append(candidate)
    if others:
        try:
            os.write(2, "".join(others).encode())
        except OSError:
            pass
    return line


def call(name, args, refusal=None):
    """Calls an export that never writes a diagnostic; a 0 result raises
    MorvexError with the binding's description `refusal` of the cause."""
    if functions[name](*args) == 0:
        raise MorvexError(name, f"{name} refused the call: {refusal or 'arguments refused'}")
    return 1


def call_with_diagnostic(name, args, prefix, expect_refusal):
    """Calls one of the exports that write a diagnostic line when they refuse.

    A call the binding expects to be refused (`expect_refusal`, from the same
    checks the library makes) runs with fd 2 captured, and the library's line
    goes into MorvexError instead of the terminal. Any other refusal (the
    library's own scratch allocation) is repeated with fd 2 captured: a
    refused call writes nothing, so the repeat sees the same planes."""
    fn = functions[name]
    if not expect_refusal:
        if fn(*args) != 0:
            return 1
    result, text = _call_capturing(fn, args)
    if result != 0:
        return 1
    line = _split_diagnostic(text, prefix)
    raise MorvexError(name, line if line is not None else f"{name} refused the call", line)
