"""Running a case in a forked child, so that a crash fails the test instead
of the run, and arrays fenced by inaccessible pages, so that any access
outside them crashes."""

import ctypes
import mmap
import os
import pickle
import signal

import numpy as np

_libc = ctypes.CDLL(None, use_errno=True)
_libc.mprotect.argtypes = [ctypes.c_void_p, ctypes.c_size_t, ctypes.c_int]
_PAGE = mmap.PAGESIZE
_kept = []
# Where fenced() puts an array in its pages: against the page after it
# ("end": an access past its last byte faults) or the page before it
# ("start": an access before its first byte faults).
EDGE = "end"


def fenced(shape, dtype=np.uint8, fill=0x5A):
    """An array between two inaccessible pages, against one of them (EDGE)."""
    dtype = np.dtype(dtype)
    count = int(np.prod(shape))
    size = count * dtype.itemsize
    pages = -(-size // _PAGE) or 1
    region = mmap.mmap(-1, (pages + 2) * _PAGE)
    base = ctypes.addressof(ctypes.c_char.from_buffer(region))
    for page in (base, base + (pages + 1) * _PAGE):
        if _libc.mprotect(page, _PAGE, 0) != 0:
            raise OSError(ctypes.get_errno(), "mprotect")
    start = _PAGE if EDGE == "start" else (pages + 1) * _PAGE - size
    arr = np.frombuffer(region, dtype, count=count, offset=start).reshape(shape)
    arr[...] = fill
    _kept.append(region)
    return arr


def run_isolated(case):
    """case() in a forked child: its outcome ("ok" or the exception's type
    and message), or "killed by SIGNAME" when the child crashed."""
    read, write = os.pipe()
    pid = os.fork()
    if pid == 0:  # the child: report and leave without cleaning up
        os.close(read)
        try:
            case()
            outcome = ("ok", "")
        except BaseException as error:  # noqa: BLE001 - reported to the parent
            outcome = (type(error).__name__, str(error))
        os.write(write, pickle.dumps(outcome))
        os._exit(0)
    os.close(write)
    with os.fdopen(read, "rb") as stream:
        data = stream.read()
    _, status = os.waitpid(pid, 0)
    if os.WIFSIGNALED(status):
        return ("killed by " + signal.Signals(os.WTERMSIG(status)).name, "")
    return pickle.loads(data)
