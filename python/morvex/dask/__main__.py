"""python -m morvex.dask: a chain of the morvex tool's commands on many files,
on a Dask cluster (see morvex.dask.batch)."""

from __future__ import annotations

import argparse
import sys
import time
from typing import List, Optional

from . import batch, local_cluster

USAGE = """python -m morvex.dask [--scheduler ADDRESS | --workers N] [--tool PATH] [-y]
                          --out-dir DIR FILE... -- STEP [+ STEP ...]"""
EPILOG = """A STEP is a morvex command that reads one image and writes one, with
its options, as the tool takes them without the files: `blur --sigma 2`.
Steps separated by + run one after the other on each file:

  python -m morvex.dask --scheduler tcp://scheduler:8786 --out-dir soft shots/*.jpg \\
      -- blur --sigma 2 + hsl --saturation-scale 1.2

Each file is one task, run by the morvex tool on a worker, which reads the
file and writes DIR/NAME; the outputs are those of `morvex COMMAND FILE...
--out-dir DIR`. Failures are reported per file; the exit status is 2 if
any file failed."""


def _chain(words: List[str]) -> List[List[str]]:
    steps: List[List[str]] = [[]]
    for word in words:
        if word == "+":
            steps.append([])
        else:
            steps[-1].append(word)
    if not all(steps):
        raise ValueError("every step between + signs needs a command")
    return steps


def main(argv: Optional[List[str]] = None) -> int:
    argv = sys.argv[1:] if argv is None else argv
    parser = argparse.ArgumentParser(prog="python -m morvex.dask", usage=USAGE, epilog=EPILOG,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    where = parser.add_mutually_exclusive_group()
    where.add_argument("--scheduler", metavar="ADDRESS",
                       help="the scheduler of a running cluster (tcp://host:8786)")
    where.add_argument("--workers", type=int, metavar="N",
                       help="start a cluster of N worker processes on this machine (loopback "
                            "only) for the batch; default: Dask's local threads")
    parser.add_argument("--tool", metavar="PATH", help="the morvex tool on the workers")
    parser.add_argument("--out-dir", required=True, metavar="DIR",
                        help="where DIR/NAME is written for every FILE (created if missing)")
    parser.add_argument("-y", "--overwrite", action="store_true",
                        help="replace outputs that exist (otherwise those files fail)")
    parser.add_argument("--no-progress", action="store_true", help="no progress bar")
    parser.add_argument("files", nargs="+", metavar="FILE",
                        help="PNG or JPEG files, as the workers see them")
    split = argv.index("--") if "--" in argv else len(argv)
    args = parser.parse_args(argv[:split])
    if split == len(argv):
        parser.error("the chain comes after --: ... -- blur --sigma 2 + hsl ...")
    try:
        steps = _chain(argv[split + 1:])
    except ValueError as error:
        parser.error(str(error))

    started = time.monotonic()
    cluster = client = None
    try:
        if args.scheduler or args.workers:
            from distributed import Client
            if args.workers:
                cluster = local_cluster(args.workers)
            client = Client(args.scheduler or cluster)
        results = batch(args.files, steps, args.out_dir, client=client, tool=args.tool,
                        overwrite=args.overwrite, progress=not args.no_progress)
    except (ValueError, OSError) as error:
        print(f"python -m morvex.dask: {error}", file=sys.stderr)
        return 2
    finally:
        if client is not None:
            client.close()
        if cluster is not None:
            cluster.close()
    failed = [r for r in results if r.error]
    for result in failed:
        print(result.error, file=sys.stderr)
    summary = (f"{len(results) - len(failed)} of {len(results)} files written to "
               f"{args.out_dir} in {time.monotonic() - started:.1f} s")
    print(summary + (f"; {len(failed)} failed" if failed else ""), file=sys.stderr)
    return 2 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
