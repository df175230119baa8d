"""The package installs as a user installs it, into fresh virtual
environments, offline with Debian's setuptools: `pip wheel` of a copy of the
sources builds Morvex.Native.so and the morvex tool from the C++ sources
with CMake, and the wheel installs and runs (the tool too) where no compiler
is on PATH; `pip install` of the
sources and `pip install -e` work; an sdist carries the C++ sources."""

import hashlib
import os
import shutil
import subprocess
import sys
import tarfile
import tempfile
import zipfile
from pathlib import Path

import numpy as np
import pytest

import morvex
from conftest import ROOT

BASE_PYTHON = getattr(sys, "_base_executable", sys.executable)
CHECK = """
import hashlib, subprocess, numpy as np, morvex
from morvex._chain import find_tool
img = np.arange(48 * 64 * 4, dtype=np.uint32).astype(np.uint8).reshape(48, 64, 4)
print(morvex.library_path)
print(hashlib.sha256(morvex.gaussian_blur(img, 3.0).tobytes()).hexdigest())
try:
    tool = find_tool()
    print(tool, subprocess.run([tool, "paths"], capture_output=True).returncode)
except FileNotFoundError:
    print("no-tool")
"""


def run(*args, env=None, cwd=None):
    done = subprocess.run([str(a) for a in args], capture_output=True, text=True, env=env,
                          cwd=cwd)
    assert done.returncode == 0, done.stdout[-3000:] + done.stderr[-3000:]
    return done.stdout


def clean_env(**extra):
    env = {k: v for k, v in os.environ.items()
           if k not in ("MORVEX_NATIVE_LIB", "MORVEX_TOOL", "PYTHONPATH")}
    if shutil.which("ccache") and "CMAKE_ARGS" not in env:
        env["CMAKE_ARGS"] = ("-DCMAKE_CXX_COMPILER_LAUNCHER=ccache "
                             "-DCMAKE_C_COMPILER_LAUNCHER=ccache")
        # Paths relative to the build, so the checkouts of other runs (each in
        # a directory of its own) share the cache.
        env["CCACHE_BASEDIR"] = tempfile.gettempdir()
    env.update(extra)
    return env


def venv(path):
    run(BASE_PYTHON, "-m", "venv", "--system-site-packages", path)
    return path / "bin" / "python"


def expected():
    img = np.arange(48 * 64 * 4, dtype=np.uint32).astype(np.uint8).reshape(48, 64, 4)
    return hashlib.sha256(morvex.gaussian_blur(img, 3.0).tobytes()).hexdigest()


@pytest.fixture(scope="module")
def sources(tmp_path_factory):
    """A copy of what a checkout holds for the package: python/ and the C++
    sources beside it, without build files."""
    root = tmp_path_factory.mktemp("checkout")
    ignore = shutil.ignore_patterns("build", "dist", "*.egg-info", "__pycache__", "*.so",
                                    "native", "bin")
    shutil.copytree(ROOT / "python", root / "python", ignore=ignore)
    for part in ("CMakeLists.txt", "cmake", "include", "src", "apps", "examples"):
        (shutil.copytree if (ROOT / part).is_dir() else shutil.copyfile)(ROOT / part, root / part)
    return root


def test_a_wheel_built_from_source_runs_without_a_compiler(sources, tmp_path):
    wheels = tmp_path / "wheels"
    run(sys.executable, "-m", "pip", "wheel", "-q", "--no-build-isolation", "--no-deps",
        "--no-index", "-w", wheels, sources / "python", env=clean_env())
    (wheel,) = wheels.iterdir()
    assert wheel.name.endswith("-py3-none-linux_x86_64.whl") or "-py3-none-" in wheel.name
    assert {"morvex/Morvex.Native.so", "morvex/py.typed", "morvex/bin/morvex",
            "morvex/dask/__init__.py"} <= set(zipfile.ZipFile(wheel).namelist())
    python = venv(tmp_path / "venv")
    run(python, "-m", "pip", "install", "-q", "--no-deps", "--no-index", wheel, env=clean_env())
    # Nothing but the environment's own programs on PATH: no cc, c++ or cmake.
    lines = run(python, "-c", CHECK, env=clean_env(PATH=str(python.parent)),
                cwd=tmp_path).split()
    assert lines[0].startswith(str(tmp_path / "venv")) and lines[1] == expected()
    # The shipped tool runs on the library beside it.
    assert lines[2] == str(Path(lines[0]).parent / "bin" / "morvex") and lines[3] == "0"


def test_pip_install_and_editable_install(sources, tmp_path):
    python = venv(tmp_path / "venv")
    run(python, "-m", "pip", "install", "-q", "--no-build-isolation", "--no-deps", "--no-index",
        sources / "python", env=clean_env())
    lines = run(python, "-c", CHECK, env=clean_env(), cwd=tmp_path).split()
    assert "site-packages" in lines[0] and lines[1] == expected() and lines[3] == "0"
    editable = venv(tmp_path / "editable")
    run(editable, "-m", "pip", "install", "-q", "--no-build-isolation", "--no-deps",
        "--no-index", "-e", sources / "python",
        env=clean_env(MORVEX_NATIVE_LIB=morvex.library_path))
    lines = run(editable, "-c", CHECK, env=clean_env(), cwd=tmp_path).split()
    assert lines[0] == str(sources / "python" / "morvex" / "Morvex.Native.so")
    assert lines[1] == expected()


def test_the_sdist_carries_the_cpp_sources(sources, tmp_path):
    run(sys.executable, "setup.py", "-q", "sdist", "-d", tmp_path, cwd=sources / "python",
        env=clean_env())
    (archive,) = tmp_path.glob("morvex-*.tar.gz")
    names = {n.split("/", 1)[1] for n in tarfile.open(archive).getnames() if "/" in n}
    assert {"setup.py", "morvex/py.typed", "native/CMakeLists.txt",
            "native/src/exports/export_table.inc", "native/include/morvex/native.h",
            "native/cmake/ExportTable.cmake", "native/apps/morvex/CMakeLists.txt"} <= names
