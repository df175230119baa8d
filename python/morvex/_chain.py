"""Chains of the morvex tool's commands on one file, run by the tool itself:
each step is a tool command with its options, so a step is exactly what
the tool does and never a second implementation of it. This is the task a
batch runs on a worker (morvex.dask.batch); it needs no Dask."""

from __future__ import annotations

import os
import shlex
import shutil
import subprocess
from collections.abc import Mapping
from typing import Any, List, NamedTuple, Optional, Sequence, Union

Step = Union[str, Sequence[Any]]

# Where a tool built with the package is shipped (setup.py puts it there).
SHIPPED_TOOL = os.path.join(os.path.dirname(os.path.abspath(__file__)), "bin", "morvex")


class FileResult(NamedTuple):
    """What became of one file of a batch."""
    source: str
    output: Optional[str]
    error: Optional[str]


def find_tool(tool: Optional[str] = None) -> str:
    """The morvex tool to run: `tool` (a path, or a name looked up on PATH),
    else $MORVEX_TOOL, else the tool shipped inside the package (a build
    from source ships one where libpng, libjpeg and zlib are found), else
    ``morvex`` on PATH. FileNotFoundError names what was tried."""
    for given, origin in ((tool, "tool="), (os.environ.get("MORVEX_TOOL"), "$MORVEX_TOOL")):
        if given:
            found = shutil.which(given)
            if found is None:
                raise FileNotFoundError(f"{origin} {given} is not an executable program")
            return found
    if os.access(SHIPPED_TOOL, os.X_OK):
        return SHIPPED_TOOL
    found = shutil.which("morvex")
    if found is None:
        raise FileNotFoundError(
            "no morvex tool: pass tool=, set $MORVEX_TOOL, put morvex on PATH, or install the "
            "package from source where libpng, libjpeg and zlib are found (it then ships one)")
    return found


def step_arguments(step: Step) -> List[str]:
    """One step as the tool's words after the program name, without the
    files it reads and writes: ``"blur --sigma 2"`` (split as a shell
    does), ``["blur", "--sigma", "2"]``, or ``("blur", {"sigma": 2})``
    (option names with - for _, True for a flag given alone, False or None
    for one left out, sequences joined by commas: ``center=(100, 80)``)."""
    if isinstance(step, str):
        words = shlex.split(step)
    elif len(step) == 2 and isinstance(step[1], Mapping):
        command, options = step
        words = [command]
        for key, value in options.items():
            option = "--" + key.replace("_", "-")
            if value is True:
                words.append(option)
            elif value is not False and value is not None:
                joined = (",".join(map(str, value)) if isinstance(value, (tuple, list))
                          else str(value))
                words += [option, joined]
    else:
        words = [str(word) for word in step]
    if not words or words[0].startswith("-"):
        raise ValueError(f"a step must start with a morvex command (blur, hsl, ...): {step!r}")
    return words


def _as_file(path: str) -> str:
    """`path` as the tool reads a file word: a bare name that could be
    taken for a command (``blur``), for the step separator ``+`` or for an
    option gets ``./`` before it."""
    return path if os.path.dirname(path) else os.path.join(".", path)


def command_lines(tool: str, source: str, target: str, steps: Sequence[List[str]],
                  overwrite: bool = False) -> List[List[str]]:
    """The tool runs that apply the chain `steps` (from step_arguments) to
    `source` and write `target` (replacing it, with `overwrite`, as ``-y``
    does): one run of the tool's chain form,
    ``morvex IN OUT STEP [+ STEP]... [-y]``, which gives the bytes of its
    steps run one by one through PNG files."""
    line = [tool, _as_file(source), _as_file(target)]
    for k, words in enumerate(steps):
        line += (["+"] if k else []) + list(words)
    return [line + (["-y"] if overwrite else [])]


def run_file(source: str, target: str, steps: Sequence[List[str]],
             tool: Optional[str] = None, overwrite: bool = False) -> FileResult:
    """Applies the chain to one file with the tool found here (find_tool),
    writing `target` (its directory created if missing; an existing file
    replaced only with `overwrite`). A failure is returned as the tool's
    message, naming the file, not raised; the tool writes `target` whole
    or not at all."""
    try:
        program = find_tool(tool)
        os.makedirs(os.path.dirname(target) or ".", exist_ok=True)
        for line in command_lines(program, source, target, steps, overwrite):
            run = subprocess.run(line, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                 stderr=subprocess.PIPE, text=True, errors="replace")
            if run.returncode != 0:
                lines = run.stderr.strip().splitlines()
                message = lines[-1] if lines else f"{line[1]}: exit status {run.returncode}"
                return FileResult(source, None, message if source in message
                                  else f"{source}: {message}")
    except OSError as error:
        return FileResult(source, None, f"{source}: {error}")
    return FileResult(source, target, None)
