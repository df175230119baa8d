"""Builds the morvex package with Morvex.Native.so inside it.

The library is taken from $MORVEX_NATIVE_LIB when set, otherwise from the
CMake build beside this directory (../build/Morvex.Native.so)."""

import os
import shutil

from setuptools import Distribution, setup
from setuptools.command.build_py import build_py

HERE = os.path.dirname(os.path.abspath(__file__))
LIBRARY = "Morvex.Native.so"


def library_source():
    path = os.environ.get("MORVEX_NATIVE_LIB") or os.path.join(HERE, "..", "build", LIBRARY)
    if not os.path.isfile(path):
        raise SystemExit(f"morvex: {path} not found; build the library first "
                         "(ninja -C build MorvexNative) or set MORVEX_NATIVE_LIB")
    return path


class BuildWithLibrary(build_py):
    def run(self):
        super().run()
        target = os.path.join(self.build_lib, "morvex", LIBRARY)
        shutil.copyfile(library_source(), target)
        os.chmod(target, 0o755)


class BinaryDistribution(Distribution):
    """The wheel holds a native library, so it is specific to the platform."""

    def has_ext_modules(self):
        return True


setup(cmdclass={"build_py": BuildWithLibrary}, distclass=BinaryDistribution)
