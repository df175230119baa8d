"""The calling thread's floating-point control and status words."""

from . import _planes as P
from ._native import functions

_Control = functions["FPU_Control"]
_Status = functions["FPU_Status"]
_Reset = functions["FPU_Reset"]


# The exception mask bits (1 = masked): inexact, underflow, overflow, zero
# divide, invalid.
_EXCEPTION_MASKS = 0x1F


def fpu_control(new_value, mask, *, allow_traps=False):
    """Sets the control-word bits selected by mask to those of new_value, in
    the library's abstract encoding; returns the word in effect (0x80000000
    marks units that disagree). fpu_control(0, 0) only reads it.

    Unmasking a floating-point exception makes the next operation that
    raises it, in numpy or the interpreter as well, stop the process with
    SIGFPE; it is refused unless allow_traps is true."""
    new_value = P.uint32(new_value, "new_value")
    mask = P.uint32(mask, "mask")
    unmasked = mask & _EXCEPTION_MASKS & ~new_value
    if unmasked and not allow_traps:
        raise ValueError(f"fpu_control would unmask floating-point exceptions (bits "
                         f"{unmasked:#x}), which stop the interpreter when raised; pass "
                         f"allow_traps=True to do it anyway")
    return _Control(new_value, mask)


def fpu_status():
    """The sticky floating-point exception flags, not cleared."""
    return _Status()


def fpu_reset():
    """Reinitialises the thread's floating-point state."""
    _Reset()
