"""The mechanical check of bindings/dotnet/MorvexNative.cs against the
public header: it passes on the committed files and fails on every kind of
header change the declarations could miss."""

import re
import sys
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tools"))
import native_header  # noqa: E402

HEADER = (ROOT / "include" / "morvex" / "native.h").read_text()
# The header on one line (it has only /* */ comments), so changes can be
# spelled without its line breaks.
FLAT = re.sub(r"\s+", " ", HEADER)
CS = (ROOT / "bindings" / "dotnet" / "MorvexNative.cs").read_text()


def test_committed_files_agree():
    assert native_header.compare(HEADER, CS) == []
    assert len(native_header.parse_header(HEADER)) == 35
    # Every export once, plus BitmapCopy's bool spelling.
    names = [d.name for d in native_header.parse_cs(CS)]
    assert sorted(set(names)) == sorted(p.name for p in native_header.parse_header(HEADER))


def _change(text, old, new):
    assert old in text, old
    return text.replace(old, new, 1)


HEADER_CHANGES = [
    ("an argument more", "int32_t width, int32_t height, double factor);",
     "int32_t width, int32_t height, double factor, int32_t flags);",
     "Multiply: 5 arguments, the header 6"),
    ("an argument fewer", "int32_t height, double dstWeight);", "double dstWeight);",
     "Blend: 7 arguments, the header 6"),
    ("a double become float", "int32_t height, double factor);", "int32_t height, float factor);",
     "Multiply: argument 5"),
    ("two arguments swapped", "int32_t height, int32_t mode, double opacity);",
     "int32_t height, double opacity, int32_t mode);", "Composite: argument 7"),
    ("a pointer become an integer", "MultiplyMasks(float* dst", "MultiplyMasks(int32_t dst",
     "MultiplyMasks: argument 1"),
    ("a result widened", "MORVEX_API uint8_t MORVEX_CALL Lut(",
     "MORVEX_API int32_t MORVEX_CALL Lut(", "Lut: returns byte"),
    ("an export renamed", "MORVEX_CALL Shear(", "MORVEX_CALL ShearImage(", "Shear: not an export"),
    ("an export added", "#ifdef __cplusplus }",
     "MORVEX_API uint8_t MORVEX_CALL Invert(uint8_t* image, int32_t stride); #ifdef __cplusplus }",
     "Invert: declared in the header but not in the C# file"),
]


@pytest.mark.parametrize("what, old, new, words", HEADER_CHANGES,
                         ids=[c[0] for c in HEADER_CHANGES])
def test_header_changes_are_caught(what, old, new, words):
    assert native_header.compare(FLAT, CS) == []
    problems = native_header.compare(_change(FLAT, old, new), CS)
    assert any(words in p for p in problems), problems


def test_declaration_mistakes_are_caught():
    plain_bool = _change(CS, "[return: MarshalAs(UnmanagedType.U1)]\n", "")
    assert any("BitmapCopyChecked (entry BitmapCopy): returns bool (int32)" in p
               for p in native_header.compare(HEADER, plain_bool))
    stdcall = re.sub(r"CallingConvention = CallingConvention.Cdecl(, ExactSpelling = true\)\]\s*"
                     r"public static extern byte Blend)", r"CallingConvention = "
                     r"CallingConvention.StdCall\1", CS, count=1)
    assert "Blend: not declared CallingConvention.Cdecl" in native_header.compare(HEADER, stdcall)


def test_the_runtime_programs_call_every_export():
    """tests/dotnet's C# program and its C twin each call all 35 exports."""
    names = [p.name for p in native_header.parse_header(HEADER)]
    for program in ("MorvexNativeCalls.cs", "native_calls.c"):
        text = (ROOT / "tests" / "dotnet" / program).read_text()
        missing = [n for n in names if not re.search(rf"\b{n}\(", text)]
        assert missing == [], f"{program} does not call {missing}"
