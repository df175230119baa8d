"""The calling thread's floating-point control and status words."""

from . import _planes as P
from ._native import functions

_Control = functions["FPU_Control"]
_Status = functions["FPU_Status"]
_Reset = functions["FPU_Reset"]


def fpu_control(new_value, mask):
    """Sets the control-word bits selected by mask to those of new_value, in
    the library's abstract encoding; returns the word in effect (0x80000000
    marks units that disagree). fpu_control(0, 0) only reads it."""
    return _Control(P.uint32(new_value, "new_value"), P.uint32(mask, "mask"))


def fpu_status():
    """The sticky floating-point exception flags, not cleared."""
    return _Status()


def fpu_reset():
    """Reinitialises the thread's floating-point state."""
    _Reset()
