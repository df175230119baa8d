"""Builds the morvex package with Morvex.Native.so inside it.

The library is $MORVEX_NATIVE_LIB when that names a built one; otherwise it
is built here from the C++ sources with CMake (and Ninja when present): the
repository around this directory, or the copy an sdist carries in native/.
$CMAKE_ARGS adds configure arguments (a compiler launcher, say) and
$CMAKE_BUILD_PARALLEL_LEVEL sets the build's jobs. An editable install
(pip install -e) puts the library beside the package's sources."""

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


def native_root():
    """The C++ source root: an sdist's native/, or the repository."""
    for root in (os.path.join(HERE, "native"), os.path.dirname(HERE)):
        if all(os.path.exists(os.path.join(root, p)) for p in NATIVE_SOURCES):
            return root
    return None


def build_library(build_temp):
    """Morvex.Native.so built with CMake under build_temp; its path."""
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
    subprocess.check_call(configure)
    jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL") or str(os.cpu_count() or 1)
    subprocess.check_call([cmake, "--build", build, "--target", "MorvexNative",
                           "--parallel", jobs])
    return os.path.join(build, LIBRARY)


class BuildWithLibrary(build_py):
    def run(self):
        super().run()
        prebuilt = os.environ.get("MORVEX_NATIVE_LIB")
        if prebuilt:
            if not os.path.isfile(prebuilt):
                raise SystemExit(f"morvex: MORVEX_NATIVE_LIB={prebuilt} is not a file")
            library = prebuilt
        else:
            library = build_library(self.get_finalized_command("build").build_temp)
        package = (os.path.join(HERE, "morvex") if getattr(self, "editable_mode", False)
                   else os.path.join(self.build_lib, "morvex"))
        target = os.path.join(package, LIBRARY)
        shutil.copyfile(library, target)
        os.chmod(target, 0o755)


class SdistWithSources(sdist):
    """An sdist that carries the C++ sources in native/, so it builds alone."""

    def make_release_tree(self, base_dir, files):
        super().make_release_tree(base_dir, files)
        root = native_root()
        if root is None:
            raise SystemExit("morvex: no C++ sources to put into the sdist")
        for part in NATIVE_SOURCES:
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
