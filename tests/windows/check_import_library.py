"""Reads MFB.dll's MSVC import library back and checks it against the DLL's export table and
MFB.def, as an MSVC link would use it:

- every export of the DLL is in the library, with the symbol a caller's compiler makes of its
  declaration in mfb.h (32-bit: _name@size for a stdcall function, with the argument size of
  MFB.def; _SetLVRTModule, cdecl; x64: the name itself) and the __imp_ symbol beside it;
- the name the loader is given (what the member's name type makes of the symbol) is the export's
  undecorated name, so that the import resolves;
- the library holds nothing else (llvm-nm lists exactly those symbols).

Besides, mfbctl.exe calls the DLL through its exports: it imports from MFB.dll by name and from
no other DLL than Windows' own.

    check_import_library.py --def MFB.def --bits 32|64 MFB.lib MFB.dll mfbctl.exe
"""

import argparse
import os
import re
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
from function_reference import read_definition  # noqa: E402

# Windows' own; the sockets of the test panel's server (Winsock 2 and its extensions) among them.
SYSTEM_DLLS = {"kernel32.dll", "msvcrt.dll", "user32.dll", "setupapi.dll", "ws2_32.dll",
               "mswsock.dll"}


def run(*command):
    return subprocess.run(command, capture_output=True, text=True, check=True).stdout


def dll_exports(dll):
    return {m for m in re.findall(r"^\s+Name: (\S+)$", run("llvm-readobj", "--coff-exports", dll),
                                  re.M)}


def import_members(lib):
    """The short import members of a library: (name type, [symbols])."""
    members = []
    for record in run("llvm-readobj", lib).split("\n\n"):
        if "Format: COFF-import-file" in record:
            kind = re.search(r"^Name type: (\w+)", record, re.M).group(1)
            members.append((kind, re.findall(r"^Symbol: (\S+)", record, re.M)))
    return members


def loader_name(symbol, kind):
    """What the loader is asked for, by the member's name type (IMPORT_NAME_*)."""
    if kind == "name":
        return symbol
    stripped = symbol[1:] if symbol[:1] in "?@_" else symbol
    return stripped.split("@")[0] if kind == "undecorate" else stripped


def expected_symbol(name, size, bits):
    if bits == 64:
        return name
    return f"_{name}" if size is None else f"_{name}@{size}"


def check(args):
    problems = []
    exports = read_definition(args.definition)
    in_dll = dll_exports(args.dll)
    if in_dll != set(exports):
        problems.append(f"the DLL exports {sorted(in_dll ^ set(exports))} against MFB.def")

    found = {}
    for kind, symbols in import_members(args.lib):
        plain = [s for s in symbols if not s.startswith("__imp_")]
        if len(plain) != 1 or f"__imp_{plain[0]}" not in symbols:
            problems.append(f"a member with the symbols {symbols}")
            continue
        found[plain[0]] = loader_name(plain[0], kind)
    for name, size in exports.items():
        symbol = expected_symbol(name, size, args.bits)
        if symbol not in found:
            problems.append(f"{name}: no symbol {symbol}")
        elif found[symbol] != name:
            problems.append(f"{symbol} names {found[symbol]}, not the export {name}")
    wanted = {expected_symbol(n, s, args.bits) for n, s in exports.items()}
    defined = set(re.findall(r"^[0-9a-f]+ T (\S+)$", run("llvm-nm", args.lib), re.M))
    extra = defined - wanted - {f"__imp_{s}" for s in wanted}
    if extra:
        problems.append(f"symbols that are no export: {sorted(extra)}")

    imports = run("llvm-readobj", "--coff-imports", args.program)
    dlls = {d.lower() for d in re.findall(r"^  Name: (\S+)$", imports, re.M)}
    if "mfb.dll" not in dlls or dlls - SYSTEM_DLLS - {"mfb.dll"}:
        problems.append(f"{args.program} imports from {sorted(dlls)}")
    return problems, len(found)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--def", dest="definition", required=True)
    parser.add_argument("--bits", type=int, choices=(32, 64), required=True)
    parser.add_argument("lib")
    parser.add_argument("dll")
    parser.add_argument("program")
    args = parser.parse_args()
    problems, members = check(args)
    for p in problems:
        print(f"{args.lib}: {p}")
    if problems:
        sys.exit(1)
    print(f"{args.lib}: {members} imports, each naming its export of {args.dll}")


if __name__ == "__main__":
    main()
