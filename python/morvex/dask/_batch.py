"""Photo archives on a cluster: a chain of the morvex tool's commands applied
to many files, one task per file, each run by the tool on the worker that
holds the task (files are read and written there)."""

from __future__ import annotations

import os
import uuid
from typing import Any, List, Optional, Sequence, Union

import dask

from .._chain import FileResult, Step, run_file, step_arguments


def local_cluster(workers: int, **options: Any) -> Any:
    """A distributed LocalCluster of `workers` processes of one thread each,
    on the loopback interface, on ports the system picks, without a
    dashboard."""
    from distributed import LocalCluster
    settings = dict(n_workers=workers, threads_per_worker=1, processes=True, host="127.0.0.1",
                    scheduler_port=0, dashboard_address=None)
    settings.update(options)
    return LocalCluster(**settings)


def _outputs(files, out_dir):
    """The absolute inputs and their outputs, out_dir/NAME, as `morvex ...
    --out-dir` makes them; two inputs of one name, or an output that would
    replace its input, stop the batch before anything is written."""
    sources = [os.path.abspath(os.fspath(f)) for f in files]
    out_dir = os.path.abspath(os.fspath(out_dir))
    targets = [os.path.join(out_dir, os.path.basename(s)) for s in sources]
    taken = {}
    for source, target in zip(sources, targets):
        if target in taken:
            raise ValueError(f"{taken[target]} and {source} would both be written to {target}")
        if target == source:
            raise ValueError(f"{target} would overwrite its input; choose another out_dir")
        taken[target] = source
    return sources, targets


def _current_client():
    try:
        from distributed import default_client
        return default_client()
    except (ImportError, ValueError):
        return None


def batch(files: Sequence[Union[str, os.PathLike]], steps: Union[Step, Sequence[Step]],
          out_dir: Union[str, os.PathLike], *, client: Any = None, tool: Optional[str] = None,
          overwrite: bool = False, progress: bool = True) -> List[FileResult]:
    """Apply a chain of the morvex tool's commands to many files on Dask.

    Each file is one task, run on a worker by the ``morvex`` tool itself,
    which reads the file and writes ``out_dir/NAME`` (its input's name, so
    its format) there: the outputs are byte for byte those of ``morvex
    FILE... --out-dir DIR STEP [+ STEP]...``, the tool's own batch of the
    chain (which equal its steps run one after the other). A file that
    fails is reported without stopping the others.

    Parameters
    ----------
    files : sequence of paths
        The inputs, as the workers see them (relative paths are made
        absolute here, against this process's directory).
    steps : step or sequence of steps
        The chain. A step is a tool command that reads one image and writes
        one, with its options: ``"hsl --saturation-scale 1.2"`` (split as a
        shell does), ``["blur", "--sigma", "2"]``, or ``("blur", {"sigma":
        2})`` (``saturation_scale=1.2`` is ``--saturation-scale 1.2``, True a
        flag, a tuple ``center=(100, 80)`` is ``100,80``). Files a command
        reads besides its input come first: ``"composite logo.png --mode
        screen"``.
    out_dir : path
        Where the outputs go (created on the workers); not the inputs'
        directory.
    client : dask.distributed.Client, optional
        The cluster; by default the current client, or when there is none
        Dask's local threads.
    tool : str, optional
        The tool on the workers; by default each worker finds its own:
        ``$MORVEX_TOOL``, the tool shipped in the package, ``morvex`` on
        PATH (`morvex.dask.find_tool`).
    overwrite : bool, default False
        Replace outputs that exist (the tool's ``-y``); otherwise such a
        file fails (``... exists; give -y to replace it``) and is kept.
    progress : bool, default True
        Show the progress bar (``distributed.progress``, or
        ``dask.diagnostics.ProgressBar`` on local threads) until the batch
        is done.

    Returns
    -------
    list of FileResult
        One ``(source, output, error)`` per file, in the order given:
        `output` the written file, or None and `error` the tool's message.

    Raises
    ------
    ValueError
        Two inputs of one name, an output that would replace its input, an
        empty chain or a step that names no command: before any task runs.

    Examples
    --------
    >>> from dask.distributed import Client                   # doctest: +SKIP
    >>> chain = [("blur", {"sigma": 2}), "hsl --saturation-scale 1.2"]
    >>> results = morvex.dask.batch(paths, chain, "soft",      # doctest: +SKIP
    ...                             client=Client("tcp://scheduler:8786"))
    >>> [r.error for r in results if r.error]                  # doctest: +SKIP
    []
    """
    chain = [step_arguments(s) for s in ([steps] if isinstance(steps, str) else steps)]
    if not chain:
        raise ValueError("steps: the chain needs at least one step")
    sources, targets = _outputs(files, out_dir)
    if client is None:
        client = _current_client()
    if client is None:
        tasks = [dask.delayed(run_file, pure=False)(s, t, chain, tool, overwrite)
                 for s, t in zip(sources, targets)]
        if not progress:
            return list(dask.compute(*tasks, scheduler="threads"))
        from dask.diagnostics import ProgressBar
        with ProgressBar():
            return list(dask.compute(*tasks, scheduler="threads"))

    batch_id = uuid.uuid4().hex[:12]
    futures = client.map(run_file, sources, targets, steps=chain, tool=tool, overwrite=overwrite,
                         key=[f"morvex-chain-{batch_id}-{k}" for k in range(len(sources))])
    if progress:
        from distributed import progress as show_progress
        show_progress(futures)
    results = []
    for source, future in zip(sources, futures):
        try:
            results.append(future.result())
        except Exception as error:  # the worker died, or the task was cancelled
            results.append(FileResult(source, None,
                                      f"{source}: {type(error).__name__}: {error}"))
    return results
