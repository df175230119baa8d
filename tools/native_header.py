"""Reads the exports' prototypes from include/morvex/native.h, and the P/Invoke
declarations from bindings/dotnet/MorvexNative.cs, into one form: for each
argument and result its ABI class ("pointer", "int8", "int32", "float32",
"float64", "void", ...), so the two can be compared mechanically.

    python3 tools/native_header.py [HEADER [CS_FILE]]

compares the two and exits 1, listing each disagreement, when they differ."""

import re
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
HEADER = ROOT / "include" / "morvex" / "native.h"
CS_FILE = ROOT / "bindings" / "dotnet" / "MorvexNative.cs"

C_TYPES = {
    "void": ("void", False), "uint8_t": ("int8", False), "int8_t": ("int8", True),
    "uint16_t": ("int16", False), "int16_t": ("int16", True), "uint32_t": ("int32", False),
    "int32_t": ("int32", True), "uint64_t": ("int64", False), "int64_t": ("int64", True),
    "float": ("float32", True), "double": ("float64", True),
}
CS_TYPES = {
    "void": "void", "byte": "int8", "sbyte": "int8", "short": "int16", "ushort": "int16",
    "int": "int32", "uint": "int32", "long": "int64", "ulong": "int64", "float": "float32",
    "double": "float64", "IntPtr": "pointer", "UIntPtr": "pointer", "nint": "pointer",
    "nuint": "pointer",
}


class Argument:
    def __init__(self, name, abi, spelling, signed=None):
        self.name, self.abi, self.spelling, self.signed = name, abi, spelling, signed

    def __repr__(self):
        return f"{self.spelling} {self.name}"


class Prototype:
    def __init__(self, name, result, arguments, notes=()):
        self.name, self.result, self.arguments, self.notes = name, result, arguments, list(notes)

    def __repr__(self):
        return f"{self.result.spelling} {self.name}({', '.join(map(repr, self.arguments))})"


def _strip_c_comments(text):
    text = re.sub(r"/\*.*?\*/", " ", text, flags=re.S)
    return re.sub(r"//[^\n]*", " ", text)


def _c_type(spelling, name):
    words = spelling.replace("*", " * ").split()
    pointer = words.count("*")
    base = [w for w in words if w not in ("const", "*", "MORVEX_API", "MORVEX_CALL")]
    if len(base) != 1 or base[0] not in C_TYPES:
        raise ValueError(f"unknown C type {spelling!r} for {name}")
    abi, signed = C_TYPES[base[0]]
    if pointer:
        return Argument(name, "pointer", " ".join(words), None)
    return Argument(name, abi, base[0], signed)


def parse_header(text):
    """The prototypes of native.h, in order."""
    prototypes = []
    pattern = re.compile(r"MORVEX_API\s+([\w\s\*]+?)\s*MORVEX_CALL\s+(\w+)\s*\(([^)]*)\)\s*;")
    for match in pattern.finditer(_strip_c_comments(text)):
        result, name, params = match.groups()
        arguments = []
        params = " ".join(params.split())
        if params not in ("", "void"):
            for param in params.split(","):
                param = param.strip()
                m = re.match(r"(.*?)(\w+)$", param)
                if not m or not m.group(1).strip():
                    raise ValueError(f"{name}: cannot read the argument {param!r}")
                arguments.append(_c_type(m.group(1).strip(), m.group(2)))
        prototypes.append(Prototype(name, _c_type(result, "result"), arguments))
    return prototypes


def _cs_type(spelling, name, attributes=""):
    words = spelling.split()
    if words and words[0] in ("ref", "out", "in"):
        return Argument(name, "pointer", spelling)
    base = spelling.replace(" ", "")
    if base.endswith("*") or base.endswith("[]"):
        return Argument(name, "pointer", spelling)
    if base == "bool":
        # bool is marshalled as the 4-byte Win32 BOOL unless declared U1/I1.
        one_byte = re.search(r"MarshalAs\(\s*UnmanagedType\.(U1|I1)\s*\)", attributes)
        return Argument(name, "int8" if one_byte else "int32", spelling)
    if base not in CS_TYPES:
        raise ValueError(f"unknown C# type {spelling!r} for {name}")
    return Argument(name, CS_TYPES[base], spelling)


def parse_cs(text):
    """The DllImport declarations of a C# file, each under its entry point."""
    text = re.sub(r"//[^\n]*", " ", text)
    pattern = re.compile(
        r"\[DllImport\(([^\]]*?)\)\]\s*((?:\[[^\]]*\]\s*)*)"
        r"public\s+static\s+extern\s+([\w\*\[\]]+)\s+(\w+)\s*\(([^)]*)\)\s*;", re.S)
    declarations = []
    for match in pattern.finditer(text):
        import_args, attributes, result, method, params = match.groups()
        entry = re.search(r'EntryPoint\s*=\s*"(\w+)"', import_args)
        name = entry.group(1) if entry else method
        notes = []
        if not re.search(r"CallingConvention\s*=\s*CallingConvention\.Cdecl", import_args):
            notes.append(f"{method}: not declared CallingConvention.Cdecl")
        arguments = []
        params = " ".join(params.split())
        if params:
            for param in params.split(","):
                param = param.strip()
                m = re.match(r"((?:\[[^\]]*\]\s*)*)(.*?)\s*(\w+)$", param)
                if not m or not m.group(2):
                    raise ValueError(f"{method}: cannot read the argument {param!r}")
                arguments.append(_cs_type(m.group(2), m.group(3), m.group(1)))
        prototype = Prototype(name, _cs_type(result, "result", attributes), arguments, notes)
        prototype.method = method
        declarations.append(prototype)
    return declarations


def compare(header_text, cs_text):
    """Every disagreement between the header's exports and the declarations:
    a missing or extra export, an argument count, or an argument (in order)
    or result of another ABI class (pointer, integer size, float size)."""
    problems = []
    header = {p.name: p for p in parse_header(header_text)}
    declarations = parse_cs(cs_text)
    declared = {d.name for d in declarations}
    for name in header:
        if name not in declared:
            problems.append(f"{name}: declared in the header but not in the C# file")
    for decl in declarations:
        problems.extend(decl.notes)
        proto = header.get(decl.name)
        label = decl.name if decl.method == decl.name else f"{decl.method} (entry {decl.name})"
        if proto is None:
            problems.append(f"{label}: not an export of the header")
            continue
        if decl.result.abi != proto.result.abi:
            problems.append(f"{label}: returns {decl.result.spelling} ({decl.result.abi}), the "
                            f"header {proto.result.spelling} ({proto.result.abi})")
        if len(decl.arguments) != len(proto.arguments):
            problems.append(f"{label}: {len(decl.arguments)} arguments, the header "
                            f"{len(proto.arguments)}")
            continue
        for k, (mine, theirs) in enumerate(zip(decl.arguments, proto.arguments)):
            if mine.abi != theirs.abi:
                problems.append(f"{label}: argument {k + 1} is {mine!r} ({mine.abi}), the "
                                f"header's {theirs!r} ({theirs.abi})")
    return problems


def main(argv):
    header = Path(argv[1]) if len(argv) > 1 else HEADER
    cs_file = Path(argv[2]) if len(argv) > 2 else CS_FILE
    problems = compare(header.read_text(), cs_file.read_text())
    count = len(parse_header(header.read_text()))
    if problems:
        print(f"{cs_file} disagrees with {header}:")
        for problem in problems:
            print("  " + problem)
        return 1
    print(f"{cs_file}: {len(parse_cs(cs_file.read_text()))} declarations agree with the "
          f"{count} exports of {header}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
