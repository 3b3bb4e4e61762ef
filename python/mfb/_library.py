"""The library loaded with ctypes: its functions typed from the C headers, its status codes.

The argument and result types come from the prototypes of mfb.h (and mfb_sim.h for the
simulated boards), read when the package is imported; the meanings of the status codes from
mfb_status.json, and what mfbctl says about refusals and records from mfb_explain.json. The
files lie beside the package, as the build puts them there.
"""

import ctypes
import io
import json
import os
import re
import sys
import threading

HERE = os.path.dirname(os.path.abspath(__file__))
WINDOWS = sys.platform == "win32"

# The library's routines and its interrupt routine use the standard Windows calling convention on
# Windows (MFB_CALL); a function marked MFB_CDECL, and every function elsewhere, uses C's.
_STDCALL = ctypes.WINFUNCTYPE if WINDOWS else ctypes.CFUNCTYPE

_SCALARS = {
    "void": None,
    "char": ctypes.c_char,
    "int": ctypes.c_int,
    "unsigned": ctypes.c_uint,
    "double": ctypes.c_double,
    "int16_t": ctypes.c_int16,
    "int32_t": ctypes.c_int32,
    "int64_t": ctypes.c_int64,
    "uint8_t": ctypes.c_uint8,
    "uint16_t": ctypes.c_uint16,
    "uint32_t": ctypes.c_uint32,
    "uint64_t": ctypes.c_uint64,
    "MFB_BoardHandle": ctypes.c_uint32,
}

_PROTOTYPE = re.compile(
    r"^(?P<result>\w+)\s+(?P<call>MFB_CALL\s+|MFB_CDECL\s+)?(?P<name>\w+)\s*\((?P<params>[^()]*)\)\s*;",
    re.M,
)
_CALLBACK = re.compile(
    r"typedef\s+(?P<result>\w+)\s*\(\s*MFB_CALL\s*\*\s*(?P<name>\w+)\s*\)\s*\((?P<params>[^()]*)\)\s*;"
)


class Param:
    """One parameter of a prototype: its name, its ctypes type and whether it points to const."""

    def __init__(self, name, ctype, const):
        self.name, self.ctype, self.const = name, ctype, const

    @property
    def pointee(self):
        return getattr(self.ctype, "_type_", None)


class Prototype:
    def __init__(self, name, restype, params, stdcall):
        self.name, self.restype, self.params, self.stdcall = name, restype, params, stdcall

    @property
    def argtypes(self):
        return [p.ctype for p in self.params]


def _ctype(text, callbacks):
    """The ctypes type of a C type as the headers write it ("const uint32_t*", "char*", ...)."""
    const = text.startswith("const ")
    base = text.replace("const ", "").strip()
    stars = base.count("*")
    base = base.replace("*", "").strip()
    if base in callbacks:
        return callbacks[base], const
    if base not in _SCALARS:
        raise ValueError(f"type {text!r} is not one the package knows")
    t = _SCALARS[base]
    if stars == 0:
        return t, const
    if stars == 1 and base == "void":
        return ctypes.c_void_p, const
    if stars == 1 and base == "char":
        return ctypes.c_char_p, const
    if stars == 1:
        return ctypes.POINTER(t), const
    raise ValueError(f"type {text!r} is not one the package knows")


def _params(text, callbacks):
    params = []
    text = " ".join(text.split())
    if text in ("", "void"):
        return params
    for item in text.split(","):
        m = re.match(r"^(?P<type>.*?[\s*])(?P<name>\w+)$", item.strip())
        ctype, const = _ctype(m.group("type").strip(), callbacks)
        params.append(Param(m.group("name"), ctype, const))
    return params


def _strip(header):
    header = re.sub(r"/\*.*?\*/", "", header, flags=re.S)
    return re.sub(r"^\s*#.*$", "", header, flags=re.M)


def read_prototypes(header_text, callbacks=None):
    """The prototypes of a header, by name, and its callback types (typedefs of MFB_CALL
    pointers) as ctypes function types."""
    text = _strip(header_text)
    callbacks = dict(callbacks or {})
    for m in _CALLBACK.finditer(text):
        result = _SCALARS[m.group("result")]
        args = [p.ctype for p in _params(m.group("params"), callbacks)]
        callbacks[m.group("name")] = _STDCALL(result, *args)
    prototypes = {}
    for m in _PROTOTYPE.finditer(text):
        if m.group("result") == "typedef":
            continue
        restype, _ = _ctype(m.group("result"), callbacks)
        params = _params(m.group("params"), callbacks)
        stdcall = (m.group("call") or "").strip() == "MFB_CALL"
        prototypes[m.group("name")] = Prototype(m.group("name"), restype, params, stdcall)
    return prototypes, callbacks


def data_file(name):
    return os.path.join(HERE, name)


def _read(name):
    with open(data_file(name), encoding="utf-8") as f:
        return f.read()


PROTOTYPES, CALLBACKS = read_prototypes(_read("mfb.h"))
SIM_PROTOTYPES, _ = read_prototypes(_read("mfb_sim.h"))
STATUS_TABLE = json.loads(_read("mfb_status.json"))
EXPORTS = {e["name"]: e for e in STATUS_TABLE["exports"]}
EXPLAIN_TABLE = json.loads(_read("mfb_explain.json"))

# The interrupt routine's type: WINFUNCTYPE on Windows, CFUNCTYPE elsewhere.
InterruptRoutine = CALLBACKS["MFB_BoardIntRoutine"]

_DRIVER_RULES = {
    "minus_one": lambda code: code + 1,
    "negated": lambda code: -code,
    "unchanged": lambda code: code,
    "pwm": lambda code: -code - 100,
}


def driver_status(function, code):
    """The board driver's status that a code the table does not list stands for, under the
    export's driver rule; None for a listed code or an export whose codes are all listed."""
    entry = EXPORTS.get(function)
    if entry is None or any(listed == code for listed, _ in entry["codes"]):
        return None
    rule = _DRIVER_RULES.get(entry.get("driver"))
    return rule(code) if rule else None


def status_meaning(function: str, code: int) -> str:
    """What a function's status code means, as the status table gives it."""
    entry = EXPORTS.get(function)
    if entry is None:
        return "unknown function"
    for listed, meaning in entry["codes"]:
        if listed == code:
            return meaning
    status = driver_status(function, code)
    if status is not None:
        return f"the board driver refused (driver status {status})"
    return "not a code of this function"


def codes_text(function):
    """The codes of an export as a docstring shows them."""
    entry = EXPORTS[function]
    listed = "; ".join(f"{code} {meaning}" for code, meaning in entry["codes"])
    rule = entry.get("driver")
    if rule:
        listed += f"; other codes: a refusal of the board driver ({STATUS_TABLE['driver_rules'][rule]})"
    return f"{function}, raising MfbError on: {listed or 'no code'}."


class MfbError(Exception):
    """A library function returned a nonzero status: the function, the code and its meaning,
    and where known the board index, the module position and what explains it on the board (the
    same explanation as mfbctl's)."""

    def __init__(self, function, code, board=None, module=None, explanation=""):
        self.function, self.code = function, code
        self.board, self.module, self.explanation = board, module, explanation
        self.meaning = status_meaning(function, code)
        where = ""
        if board is not None:
            where = f" (board {board}" + (f" module {module}" if module is not None else "") + ")"
        text = f"{function}: {code} {self.meaning}{where}"
        super().__init__(text + (f": {explanation}" if explanation else ""))


MfbError.__module__ = "mfb"  # as users name it


def library_path():
    """Where the library is: $MFB_LIBRARY, else beside the package."""
    path = os.environ.get("MFB_LIBRARY")
    if path:
        return path
    return data_file("MFB.dll" if WINDOWS else "libmfb.so")


def _load():
    path = library_path()
    if not os.path.exists(path):
        if WINDOWS and "MFB_LIBRARY" not in os.environ:
            path = "MFB.dll"  # the system's search path
        else:
            raise ImportError(f"mfb: the library is not at {path} (set MFB_LIBRARY to its path)")
    return ctypes.WinDLL(path) if WINDOWS else ctypes.CDLL(path)


def _bind(dll, prototypes):
    functions = {}
    for name, p in prototypes.items():
        factory = _STDCALL if p.stdcall else ctypes.CFUNCTYPE
        functions[name] = factory(p.restype, *p.argtypes)((name, dll))
    return functions


DLL = _load()
FUNCTIONS = _bind(DLL, PROTOTYPES)
SIM_FUNCTIONS = {} if WINDOWS else _bind(DLL, SIM_PROTOTYPES)

# Marks an out-parameter in call(): a fresh value of the pointer's type, returned after the call.
OUT = object()


class CapturedOutput:
    """The standard output of the process (file descriptor 1) sent into a pipe while the library
    prints on it, so that the package shows its lines as its own: each line goes to `line` as it
    comes, from a thread of its own; the lines are kept in `lines`. Meanwhile Python's sys.stdout
    writes where the standard output went before, so that `line` may print."""

    def __init__(self, line=None):
        self.lines, self._line, self._partial = [], line, b""

    def __enter__(self):
        sys.stdout.flush()
        _libc_flush()
        self._read, write = os.pipe()
        self._saved = os.dup(1)
        self._stdout = sys.stdout
        sys.stdout = io.TextIOWrapper(io.FileIO(self._saved, "w", closefd=False),
                                      line_buffering=True)
        os.dup2(write, 1)
        os.close(write)
        self._thread = threading.Thread(target=self._drain, daemon=True)
        self._thread.start()
        return self

    def _drain(self):
        while True:
            data = os.read(self._read, 4096)
            if not data:
                break
            self._partial += data
            *done, self._partial = self._partial.split(b"\n")
            for raw in done:
                self._emit(raw)
        if self._partial:
            self._emit(self._partial)

    def _emit(self, raw):
        text = raw.decode("latin-1").strip()
        if text:
            self.lines.append(text)
            if self._line:
                self._line(text)

    def __exit__(self, *exc):
        _libc_flush()
        os.dup2(self._saved, 1)  # the pipe's last writer gone: the thread reads to its end
        self._thread.join()
        os.close(self._read)
        sys.stdout.flush()
        sys.stdout = self._stdout
        os.close(self._saved)


def _libc_flush():
    """Flushes the C library's standard output, where the library's lines wait."""
    if not WINDOWS:
        ctypes.CDLL(None).fflush(None)


def call(function, *args, context=None):
    """Calls a library function, raising MfbError on a nonzero status (with what context(function,
    status) adds to it: board, module, explanation). Each OUT among the arguments is a value of
    its pointer's type whose content is returned: nothing, the one value, or a tuple of them in
    order."""
    prototype = PROTOTYPES[function]
    if len(args) != len(prototype.params):
        raise TypeError(f"{function} takes {len(prototype.params)} arguments, not {len(args)}")
    outs, actual = [], []
    for arg, param in zip(args, prototype.params):
        if arg is OUT:
            value = param.pointee()
            outs.append(value)
            actual.append(ctypes.byref(value))
        else:
            actual.append(arg)
    status = FUNCTIONS[function](*actual)
    if status != 0:
        raise MfbError(function, status, **(context(function, status) if context else {}))
    values = [v.value for v in outs]
    if not values:
        return None
    return values[0] if len(values) == 1 else tuple(values)
