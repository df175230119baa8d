"""The package's ctypes signatures are the header's, and every export has
its snake-case function."""

import re

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
