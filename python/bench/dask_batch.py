"""Throughput of morvex.dask.batch: a chain on a batch of generated
photographs, run on a LocalCluster of 1 and of 2 worker processes (loopback,
one thread each), against the morvex tool's own serial batch (`--out-dir`,
one step after the other, -j 1 and -j 2) in the same run; and the
scheduler's overhead per task (trivial tasks on one worker). Every batch's
files are compared with the tool's.

    flock -x /tmp/morvex-cpu.lock python3 python/bench/dask_batch.py \
        [--photos 100] [--size 1600x1200] [--repeats 2]
        [--chain "blur --sigma 2 + hsl --saturation-scale 1.2"]

with the package installed (.venv/bin/python ...), or from a checkout: the
package's sources beside this directory, the library of build/ (or of
$MORVEX_NATIVE_LIB) and its tool (or $MORVEX_TOOL). Prints images per
second for each way (best of --repeats, the ways taking turns) and the
ratios to the tool's -j 1 run."""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import numpy as np

ROOT = Path(__file__).resolve().parents[2]
try:
    import morvex
except ImportError:  # not installed: the sources and the build of this checkout
    sys.path.insert(0, str(ROOT / "python"))
    os.environ.setdefault("MORVEX_NATIVE_LIB", str(ROOT / "build" / "Morvex.Native.so"))
    import morvex
import morvex.dask as md  # noqa: E402
from distributed import Client  # noqa: E402

PHOTOS = ["astronaut.png", "coffee.png", "chelsea.png"]
DATA = Path("/usr/lib/python3/dist-packages/skimage/data")


def photographs(folder, count, width, height):
    """`count` opaque photographs of width x height: the sample photographs
    enlarged, cropped at different places, with a little noise each."""
    rng = np.random.default_rng(26)
    sources = [morvex.to_rgba(morvex.load_image(DATA / name))[..., :3] for name in PHOTOS]
    paths = []
    for k in range(count):
        source = sources[k % len(sources)]
        scale = int(np.ceil(max(height / source.shape[0], width / source.shape[1]))) + 1
        big = source.repeat(scale, axis=0).repeat(scale, axis=1)
        y = rng.integers(0, big.shape[0] - height + 1)
        x = rng.integers(0, big.shape[1] - width + 1)
        crop = big[y:y + height, x:x + width].astype(np.int16)
        crop += rng.integers(-3, 4, crop.shape, dtype=np.int16)
        paths.append(folder / f"photo{k:03}.png")
        morvex.save_image(paths[-1], morvex.from_rgba(np.clip(crop, 0, 255).astype(np.uint8)))
    return paths


def tool_serial(tool, paths, steps, folder, jobs):
    """The tool's own batch of the chain (--out-dir): its seconds and files."""
    shutil.rmtree(folder, ignore_errors=True)
    chain = [word for k, step in enumerate(steps) for word in (["+"] if k else []) + step]
    start = time.perf_counter()
    subprocess.run([tool, *paths, "--out-dir", folder, "-j", str(jobs), *chain],
                   check=True, stderr=subprocess.DEVNULL)
    return time.perf_counter() - start, [folder / p.name for p in paths]


def overhead_per_task(client, count=2000):
    """Seconds per trivial task: submitted, run and gathered on the cluster."""
    client.gather(client.map(abs, range(-50, 0), pure=False))  # warm up
    start = time.perf_counter()
    client.gather(client.map(abs, range(-count, 0), pure=False))
    return (time.perf_counter() - start) / count


def batch_seconds(paths, steps, folder, workers, reference):
    """A batch on a fresh cluster of `workers` processes: its seconds (its
    files checked against the tool's) and the cluster's overhead per task."""
    with md.local_cluster(workers) as cluster, Client(cluster) as client:
        client.wait_for_workers(workers)
        client.run(md.find_tool)  # each worker imports the package first
        shutil.rmtree(folder, ignore_errors=True)
        start = time.perf_counter()
        results = md.batch(paths, steps, folder, client=client, progress=False)
        seconds = time.perf_counter() - start
        failed = [r.error for r in results if r.error]
        differ = [p.name for p, r in zip(paths, reference)
                  if (folder / p.name).read_bytes() != r.read_bytes()]
        if failed or differ:
            sys.exit(f"FAILED: {failed[:3]}; differ from the tool's: {differ[:3]}")
        return seconds, overhead_per_task(client)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--photos", type=int, default=100)
    parser.add_argument("--size", default="1600x1200", help="WIDTHxHEIGHT")
    parser.add_argument("--chain", default="blur --sigma 2 + hsl --saturation-scale 1.2")
    parser.add_argument("--repeats", type=int, default=2, help="best of, the ways taking turns")
    args = parser.parse_args()
    width, height = map(int, args.size.split("x"))
    steps = [md.step_arguments(s) for s in args.chain.split(" + ")]
    if not os.environ.get("MORVEX_TOOL") and (ROOT / "build" / "morvex").exists():
        os.environ["MORVEX_TOOL"] = str(ROOT / "build" / "morvex")
    tool = md.find_tool()

    folder = Path(tempfile.mkdtemp(prefix="morvex-dask-bench-"))
    try:
        (folder / "in").mkdir()
        paths = photographs(folder / "in", args.photos, width, height)
        print(f"{args.photos} photographs of {width}x{height}, chain: {args.chain}, "
              f"best of {args.repeats}")
        print(f"tool: {tool}")
        best, per_task = {}, {}
        for _ in range(args.repeats):
            for jobs in (1, 2):
                seconds, reference = tool_serial(tool, paths, steps, folder / f"tool{jobs}", jobs)
                label = f"morvex --out-dir -j {jobs}"
                best[label] = min(best.get(label, seconds), seconds)
            for workers in (1, 2):
                seconds, overhead = batch_seconds(paths, steps, folder / f"dask{workers}",
                                                  workers, reference)
                label = f"batch, {workers} worker{'s' * (workers > 1)}"
                best[label] = min(best.get(label, seconds), seconds)
                per_task[label] = min(per_task.get(label, overhead), overhead)
        base = best["morvex --out-dir -j 1"]
        for label, seconds in best.items():
            print(f"{label:28s} {seconds:7.2f} s {args.photos / seconds:7.2f} images/s "
                  f"x{base / seconds:5.2f}")
        for label, seconds in per_task.items():
            print(f"scheduler overhead per task, {label[7:]}: {seconds * 1e3:.2f} ms "
                  f"(trivial tasks, submitted to gathered)")
        extra = best["batch, 2 workers"] - best["morvex --out-dir -j 2"]
        print(f"batch on 2 workers against the tool's -j 2 batch: {extra / args.photos * 1e3:+.1f} "
              f"ms per file (a tool run of one file deflates its PNG on every core, so one "
              f"worker already uses both)")
    finally:
        shutil.rmtree(folder)


if __name__ == "__main__":
    main()
