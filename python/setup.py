"""Builds the morvex package with Morvex.Native.so inside it.

The library is $MORVEX_NATIVE_LIB when that names a built one; otherwise it
is built here from the C++ sources with CMake (and Ninja when present): the
repository around this directory, or the copy an sdist carries in native/.
$CMAKE_ARGS adds configure arguments (a compiler launcher, say) and
$CMAKE_BUILD_PARALLEL_LEVEL sets the build's jobs. Where libpng, libjpeg and
zlib are found, the build from source also makes the morvex tool and ships
it in the package (morvex/bin/morvex, finding the package's library beside
it), for morvex.dask's batches. An editable install (pip install -e) puts
the library and the tool beside the package's sources."""

import os
import shlex
import shutil
import subprocess

from setuptools import Distribution, setup
from setuptools.command.build_py import build_py
from setuptools.command.sdist import sdist

HERE = os.path.dirname(os.path.abspath(__file__))
LIBRARY = "Morvex.Native.so"
# What CMake needs to build the library alone, relative to the source root.
NATIVE_SOURCES = ("CMakeLists.txt", "cmake", "include", "src")
# What the tool adds (the build makes the example host along with it).
TOOL_SOURCES = ("apps", "examples")
TOOL = "morvex"


def native_root():
    """The C++ source root: an sdist's native/, or the repository."""
    for root in (os.path.join(HERE, "native"), os.path.dirname(HERE)):
        if all(os.path.exists(os.path.join(root, p)) for p in NATIVE_SOURCES):
            return root
    return None


def build_library(build_temp):
    """Morvex.Native.so and the morvex tool built with CMake under
    build_temp: their paths (the tool's None where it cannot be built)."""
    root = native_root()
    if root is None:
        raise SystemExit("morvex: the C++ sources are not here (neither native/ nor the "
                         "repository around python/); set MORVEX_NATIVE_LIB to a built "
                         "Morvex.Native.so")
    cmake = shutil.which("cmake")
    if cmake is None:
        raise SystemExit("morvex: building Morvex.Native.so needs CMake (and a C++20 "
                         "compiler); install them, or set MORVEX_NATIVE_LIB to a built one")
    build = os.path.join(os.path.abspath(build_temp), "native")
    configure = [cmake, "-S", root, "-B", build, "-DCMAKE_BUILD_TYPE=Release",
                 "-DMORVEX_BUILD_TESTS=OFF", "-DMORVEX_BUILD_BENCH=OFF",
                 "-DMORVEX_BUILD_TOOLS=OFF"]
    if shutil.which("ninja") and not os.path.exists(os.path.join(build, "CMakeCache.txt")):
        configure += ["-G", "Ninja"]
    configure += shlex.split(os.environ.get("CMAKE_ARGS", ""))
    targets = ["MorvexNative"]
    # The tool loads the library beside the package directory it is shipped in.
    with_tool = ["-DMORVEX_BUILD_TOOLS=ON", "-DCMAKE_BUILD_WITH_INSTALL_RPATH=ON",
                 "-DCMAKE_INSTALL_RPATH=$ORIGIN/.."]
    if (all(os.path.exists(os.path.join(root, p)) for p in TOOL_SOURCES)
            and subprocess.call(configure + with_tool) == 0):
        targets.append(TOOL)
    else:
        print("morvex: the morvex tool is not built (its sources, or libpng, libjpeg or zlib "
              "for it, are missing); morvex.dask.batch then needs one on PATH or in "
              "$MORVEX_TOOL")
        subprocess.check_call(configure)
    jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL") or str(os.cpu_count() or 1)
    subprocess.check_call([cmake, "--build", build, "--target", *targets, "--parallel", jobs])
    return (os.path.join(build, LIBRARY),
            os.path.join(build, TOOL) if TOOL in targets else None)


class BuildWithLibrary(build_py):
    def run(self):
        super().run()
        prebuilt = os.environ.get("MORVEX_NATIVE_LIB")
        if prebuilt:
            if not os.path.isfile(prebuilt):
                raise SystemExit(f"morvex: MORVEX_NATIVE_LIB={prebuilt} is not a file")
            library, tool = prebuilt, None
        else:
            library, tool = build_library(self.get_finalized_command("build").build_temp)
        package = (os.path.join(HERE, "morvex") if getattr(self, "editable_mode", False)
                   else os.path.join(self.build_lib, "morvex"))
        for built, target in ((library, os.path.join(package, LIBRARY)),
                              (tool, os.path.join(package, "bin", TOOL))):
            if built:
                os.makedirs(os.path.dirname(target), exist_ok=True)
                shutil.copyfile(built, target)
                os.chmod(target, 0o755)


class SdistWithSources(sdist):
    """An sdist that carries the C++ sources in native/, so it builds alone."""

    def make_release_tree(self, base_dir, files):
        super().make_release_tree(base_dir, files)
        root = native_root()
        if root is None:
            raise SystemExit("morvex: no C++ sources to put into the sdist")
        for part in NATIVE_SOURCES + tuple(p for p in TOOL_SOURCES
                                           if os.path.exists(os.path.join(root, p))):
            source, target = os.path.join(root, part), os.path.join(base_dir, "native", part)
            if os.path.isdir(source):
                shutil.copytree(source, target, dirs_exist_ok=True)
            else:
                os.makedirs(os.path.dirname(target), exist_ok=True)
                shutil.copyfile(source, target)


class BinaryDistribution(Distribution):
    """The wheel holds a native library, so it is specific to the platform."""

    def has_ext_modules(self):
        return True


commands = {"build_py": BuildWithLibrary, "sdist": SdistWithSources}
try:
    from wheel.bdist_wheel import bdist_wheel

    class PlatformWheel(bdist_wheel):
        """Loaded through ctypes, the library serves any Python 3 of the
        platform: tag py3-none-PLATFORM."""

        def get_tag(self):
            return ("py3", "none", super().get_tag()[2])

    commands["bdist_wheel"] = PlatformWheel
except ImportError:  # no wheel package: pip builds without it
    pass

setup(cmdclass=commands, distclass=BinaryDistribution)
