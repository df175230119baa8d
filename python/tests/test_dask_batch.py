"""morvex.dask.batch: 20 photographs through chains of the tool's commands
on a LocalCluster of two worker processes give the files of the morvex tool
run serially; a failing file fails alone; a batch that cannot be run starts
nothing."""

import subprocess
import sys

import numpy as np
import pytest

import morvex
from conftest import PHOTO, TOOL, skip_without_tool

pytest.importorskip("dask")
distributed = pytest.importorskip("distributed")
import morvex.dask as md  # noqa: E402

skip_without_tool()
# The event loop distributed's client starts under this tornado.
pytestmark = pytest.mark.filterwarnings("ignore:make_current is deprecated:DeprecationWarning")

PHOTOS = 20


@pytest.fixture(scope="module")
def photos(tmp_path_factory):
    """20 photographs of different sizes (crops of a sample photograph), a
    quarter of them fading out to transparent."""
    folder = tmp_path_factory.mktemp("photos")
    rng = np.random.default_rng(26)
    photo = morvex.load_image(PHOTO)
    paths = []
    for k in range(PHOTOS):
        h, w = rng.integers(90, 200, 2)
        y, x = rng.integers(0, 512 - 200, 2)
        rgba = morvex.to_rgba(photo[y:y + h, x:x + w])
        if k % 4 == 0:
            rgba[..., 3] = np.linspace(255, 0, w).astype(np.uint8)
        paths.append(folder / f"photo{k:02}.png")
        morvex.save_image(paths[-1], morvex.from_rgba(rgba))
    morvex.save_image(folder / "logo.png", morvex.from_rgba(morvex.to_rgba(photo[:60, :80])))
    return paths


@pytest.fixture(scope="module")
def client():
    """Two worker processes on loopback, stopped at the end whatever happens."""
    with md.local_cluster(2) as cluster, distributed.Client(cluster, timeout="60s") as client:
        client.wait_for_workers(2, timeout=60)
        yield client


def tool(*args):
    run = subprocess.run([TOOL, *map(str, args)], capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
    return run


def serial(paths, steps, folder):
    """The tool run serially, one step after the other: `--out-dir` for the
    commands of one input, file by file for composite."""
    for k, step in enumerate(steps):
        out = folder / f"serial{k}"
        command, *words = step.split()
        if command == "composite":
            out.mkdir()
            for path in paths:
                tool(command, path, words[0], out / path.name, *words[1:])
        else:
            tool(command, *paths, *words, "--out-dir", out)
        paths = [out / p.name for p in paths]
    return paths


CHAINS = {"one step": ["blur --sigma 2"],
          "three steps": ["blur --sigma 1.5", "hsl --saturation-scale 1.2 --hue-shift 30",
                          "composite {logo} --mode screen --opacity 0.6 --at 10,-5"]}


def as_form(steps, form):
    """Steps given as strings, as argument lists, or as (command, options)
    pairs (for commands that read no other file)."""
    if form == "lists":
        return [step.split() for step in steps]
    if form == "pairs":
        pairs = [step.split() for step in steps]
        return [(command, {k[2:].replace("-", "_"): v for k, v in zip(words[::2], words[1::2])})
                for command, *words in pairs]
    return steps


@pytest.mark.parametrize("chain, form", [("one step", "pairs"), ("three steps", "strings"),
                                         ("three steps", "lists"), ("three steps", "cli")])
def test_a_batch_on_the_cluster_writes_the_tools_files(client, photos, tmp_path, chain, form):
    """20 photographs through a chain on two worker processes: every output
    is byte for byte the tool's serial run."""
    out = tmp_path / "out"
    steps = [step.format(logo=photos[0].parent / "logo.png") for step in CHAINS[chain]]
    if form == "cli":
        words = [w for step in steps for w in ["+", *step.split()]][1:]
        run = subprocess.run([sys.executable, "-m", "morvex.dask", "--scheduler",
                              client.scheduler.address, "--no-progress", "--out-dir", out,
                              *photos, "--", *words], capture_output=True, text=True)
        assert run.returncode == 0, run.stderr
        assert f"{PHOTOS} of {PHOTOS} files written" in run.stderr
    else:
        results = md.batch(photos, as_form(steps, form), out, client=client)
        assert [r.error for r in results] == [None] * PHOTOS
        assert [r.output for r in results] == [str(out / p.name) for p in photos]
    for path, want in zip(photos, serial(photos, steps, tmp_path)):
        assert (out / path.name).read_bytes() == want.read_bytes(), path.name
    assert sorted(p.name for p in out.iterdir()) == sorted(p.name for p in photos)


@pytest.mark.parametrize("where", ["cluster", "threads"])
def test_a_failing_file_fails_alone(request, photos, tmp_path, where):
    """A truncated file, one that is not an image, one that is missing and
    one whose output exists fail with the tool's message naming them; the
    others are written. With overwrite, the existing output is replaced."""
    truncated, text, missing = tmp_path / "cut.png", tmp_path / "text.png", tmp_path / "no.png"
    truncated.write_bytes(photos[1].read_bytes()[:500])
    text.write_text("not an image\n")
    out = tmp_path / "out"
    out.mkdir()
    (out / photos[2].name).write_bytes(b"kept")
    files = [*photos[:3], truncated, photos[3], text, missing]
    client = request.getfixturevalue("client") if where == "cluster" else None
    results = md.batch(files, "blur --sigma 3", out, client=client, progress=False)
    assert [r.source for r in results] == [str(f) for f in files]
    failed = {r.source: r.error for r in results if r.error}
    assert set(failed) == {str(truncated), str(text), str(missing), str(photos[2])}
    assert "truncated" in failed[str(truncated)] and "not a PNG or JPEG" in failed[str(text)]
    assert "exists" in failed[str(photos[2])] and (out / photos[2].name).read_bytes() == b"kept"
    assert sorted(p.name for p in out.iterdir()) == sorted(p.name for p in photos[:4])
    again = md.batch(files, "blur --sigma 3", out, client=client, overwrite=True,
                     progress=False)
    assert {r.source for r in again if r.error} == {str(truncated), str(text), str(missing)}
    assert morvex.load_image(out / photos[2].name).shape == morvex.load_image(photos[2]).shape


@pytest.mark.parametrize("files, steps, message", [
    (lambda p: [p[0], p[0].parent / "sub" / p[0].name], "blur", "would both be written"),
    (lambda p: p[:2], "blur", "would overwrite its input"),
    (lambda p: p[:2], [], "at least one step"),
    (lambda p: p[:2], ["--sigma 2"], "must start with a morvex command"),
])
def test_a_batch_that_cannot_be_run_starts_no_task(photos, tmp_path, files, steps, message):
    out = photos[0].parent if message == "would overwrite its input" else tmp_path / "out"
    with pytest.raises(ValueError, match=message):
        md.batch(files(photos), steps, out, client=None, progress=False)
    assert not (tmp_path / "out").exists()
