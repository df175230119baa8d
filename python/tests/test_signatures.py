"""The package's ctypes signatures are the header's, and every export has
its snake-case function."""

import doctest
import inspect
import re

import pytest

import morvex
from conftest import HEADER, ROOT, native_header

ABI_OF_CODE = {"void": ("void", False), "ptr": ("pointer", None), "u8": ("int8", False),
               "i32": ("int32", True), "u32": ("int32", False), "f32": ("float32", True),
               "f64": ("float64", True)}


def snake(name):
    name = re.sub(r"([A-Z]+)([A-Z][a-z])", r"\1_\2", name)
    return re.sub(r"([a-z])([A-Z])", r"\1_\2", name).lower()


def test_signatures_match_the_header():
    header = {p.name: p for p in native_header.parse_header(HEADER.read_text())}
    assert set(morvex.SIGNATURES) == set(header)
    for name, (result, arguments) in morvex.SIGNATURES.items():
        proto = header[name]
        assert ABI_OF_CODE[result] == (proto.result.abi, proto.result.signed), name
        assert [ABI_OF_CODE[a] for a in arguments] == [(a.abi, a.signed)
                                                       for a in proto.arguments], name


def test_every_export_has_its_function():
    table = (ROOT / "src" / "exports" / "export_table.inc").read_text()
    built = re.findall(r"^MORVEX_EXPORT_ENTRY\(\d+, *(\w+)\)", table, re.M)
    assert len(built) == 35
    assert set(morvex.EXPORTS) == set(built)
    for name, fn in morvex.EXPORTS.items():
        assert fn.__name__ == snake(name)
        assert getattr(morvex, fn.__name__) is fn
    assert snake("ConvertARGBToARGBFloat") == "convert_argb_to_argb_float"
    assert snake("FPU_Control") == "fpu_control"


PUBLIC = sorted({*morvex.EXPORTS.values(), *morvex.PHOTO, morvex.radial_samples,
                 morvex.sheared_shape, morvex.parse_color}, key=lambda f: f.__name__)


@pytest.mark.parametrize("fn", PUBLIC, ids=[f.__name__ for f in PUBLIC])
def test_documented_and_typed(fn):
    """Every public function has annotations for all its arguments and its
    result, and a numpydoc docstring whose examples run as written."""
    signature = inspect.signature(fn)
    assert signature.return_annotation is not inspect.Signature.empty
    assert all(p.annotation is not inspect.Parameter.empty
               for p in signature.parameters.values() if p.kind != p.VAR_KEYWORD)
    doc = fn.__doc__ or ""
    if fn.__name__ not in ("parse_color", "sheared_shape", "radial_samples"):
        sections = ["Examples"] + ["Returns"] * (signature.return_annotation != "None")
        for section in sections:
            assert f"\n    {section}\n    ---" in doc, section
        if signature.parameters:
            assert "\n    Parameters\n    ----------" in doc
    finder = doctest.DocTestFinder(recurse=False)
    runner = doctest.DocTestRunner(optionflags=doctest.NORMALIZE_WHITESPACE)
    for test in finder.find(fn, fn.__name__, globs={}):
        runner.run(test)
    assert runner.failures == 0
