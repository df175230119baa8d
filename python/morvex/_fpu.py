"""The calling thread's floating-point control and status words."""

from __future__ import annotations

from . import _planes as P
from ._native import functions

_Control = functions["FPU_Control"]
_Status = functions["FPU_Status"]
_Reset = functions["FPU_Reset"]

# The exception mask bits (1 = masked): inexact, underflow, overflow, zero
# divide, invalid.
_EXCEPTION_MASKS = 0x1F
# The fields of the control word: exception masks (0x8001F), rounding
# (0x300), precision (0x30000), infinity (0x40000), denormal control
# (0x3000000).
CONTROL_FIELDS = 0x30F031F


def fpu_control(new_value: int, mask: int, *, allow_traps: bool = False) -> int:
    """Read or change the thread's floating-point control word (``FPU_Control``).

    The bits selected by `mask` take those of `new_value`, in the library's
    abstract encoding, on the x87 unit and MXCSR; the denormal exception
    mask 0x80000 never changes. ``fpu_control(0, 0)`` only reads the word.

    ==================  ===========  ===========================================
    field               mask         values
    ==================  ===========  ===========================================
    exception masks     0x8001F      inexact 0x1, underflow 0x2, overflow 0x4,
                                     zero-divide 0x8, invalid 0x10 (set: masked)
    rounding            0x300        nearest 0, down 0x100, up 0x200, zero 0x300
    precision (x87)     0x30000      64-bit 0, 53-bit 0x10000, 24-bit 0x20000
    infinity (x87)      0x40000      affine 0x40000
    denormals (SSE)     0x3000000    flush both 0x1000000, operands 0x2000000,
                                     results 0x3000000
    ==================  ===========  ===========================================

    The word changes numpy's arithmetic on this thread too (rounding,
    flushing); `fpu_reset` restores the defaults.

    Parameters
    ----------
    new_value : int
        The new bits, 0 .. 2**32 - 1; none outside the fields within `mask`.
    mask : int
        Which bits to change, 0 .. 2**32 - 1.
    allow_traps : bool, default False
        Unmasking an exception makes the next operation that raises it, in
        numpy or the interpreter too, stop the process with SIGFPE; it is
        refused unless this is true.

    Returns
    -------
    int
        The word in effect; 0x80000000 marks units that disagree.

    Examples
    --------
    >>> import morvex
    >>> word = morvex.fpu_control(0, 0)
    >>> hex(word & 0x300)                       # round to nearest
    '0x0'
    """
    new_value = P.uint32(new_value, "new_value")
    mask = P.uint32(mask, "mask")
    outside = new_value & mask & ~CONTROL_FIELDS
    if outside:
        raise ValueError(f"new_value has bits {outside:#x} outside the control word's fields "
                         f"({CONTROL_FIELDS:#x}) within mask; the library would change nothing")
    unmasked = mask & _EXCEPTION_MASKS & ~new_value
    if unmasked and not allow_traps:
        raise ValueError(f"fpu_control would unmask floating-point exceptions (bits "
                         f"{unmasked:#x}), which stop the interpreter when raised; pass "
                         f"allow_traps=True to do it anyway")
    return _Control(new_value, mask)


def fpu_status() -> int:
    """The sticky floating-point exception flags, not cleared (``FPU_Status``).

    Returns
    -------
    int
        inexact 0x1, underflow 0x2, overflow 0x4, zero-divide 0x8, invalid
        0x10, denormal 0x80000, of both units.

    Examples
    --------
    >>> import morvex
    >>> morvex.fpu_reset(); morvex.fpu_status()
    0
    """
    return _Status()


def fpu_reset() -> None:
    """Reinitialise the thread's floating-point state (``FPU_Reset``).

    All exceptions masked, flags cleared, round to nearest, x87 precision 53
    bits, MXCSR 0x1F80.

    Examples
    --------
    >>> import morvex
    >>> morvex.fpu_reset()
    """
    _Reset()
