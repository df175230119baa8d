"""morvex on Dask: images larger than memory, and photo archives on a cluster.

- Every function of the package whose result can be computed in pieces is
  here with the signature of its in-memory twin (`morvex.dask.gaussian_blur`
  for `morvex.gaussian_blur`, ...), taking and returning dask arrays; the
  computed result is byte for byte the in-memory call on the whole array.
  ``morvex.dask.ARRAYS`` lists them with their image parameters; element by
  element functions take any chunks, the 3x3 filters read one pixel beyond
  each block, the whole-plane ones run per image of a stack.
- `batch` applies a chain of the ``morvex`` tool's commands to many files,
  one task per file, each run by the tool on a worker (``python -m
  morvex.dask`` from a shell).

Needs Dask (``pip install morvex[dask]``, or Debian's python3-dask and
python3-distributed); the rest of the package works without it. On a
cluster, the package (with its library) and the morvex tool must be
installed on every worker.
"""

try:
    import dask.array  # noqa: F401
except ImportError as error:
    raise ImportError(
        "morvex.dask needs Dask: install it with `pip install morvex[dask]` (or Debian's "
        "python3-dask and python3-distributed); the rest of morvex works without it") from error

from .._chain import FileResult, command_lines, find_tool, step_arguments
from ._arrays import ARRAYS, NEIGHBOURS, OFFERED, PIXELS, PLANES
from ._batch import batch, local_cluster

globals().update(OFFERED)

__all__ = sorted(OFFERED) + ["ARRAYS", "FileResult", "NEIGHBOURS", "OFFERED", "PIXELS",
                             "PLANES", "batch", "command_lines", "find_tool", "local_cluster",
                             "step_arguments"]
