"""The functions' types come from mfb.h; these tests hold the header, the status table and the
export definition to each other, and check the types of the harder prototypes."""

import ctypes
import os
import re

import pytest

from conftest import ROOT
from mfb import _library as lib

P = ctypes.POINTER


def test_every_export_has_a_prototype_and_every_prototype_an_export():
    exported = {e["name"] for e in lib.STATUS_TABLE["exports"]} - {"DllMain"}
    assert set(lib.PROTOTYPES) == exported
    assert len(lib.PROTOTYPES) == 120  # the 121 exports but the DLL's entry point


def _stdcall_sizes():
    with open(os.path.join(ROOT, "MFB.def")) as f:
        return {m.group(1): int(m.group(2)) for m in re.finditer(r"^\s+(\w+)@(\d+)", f.read(), re.M)}


def test_argument_sizes_are_those_of_the_32_bit_export_definition():
    # In the 32-bit DLL every stdcall argument takes 4 bytes on the stack (none is wider).
    sizes = _stdcall_sizes()
    for name, p in lib.PROTOTYPES.items():
        if p.stdcall:
            assert sizes[name] == 4 * len(p.params), name
        else:
            assert name not in sizes, f"{name} is cdecl and has no size in MFB.def"


@pytest.mark.parametrize(
    "name, restype, argtypes",
    [
        ("i_MFB_GetNumberOfBoards", ctypes.c_int16, [P(ctypes.c_uint8)]),
        ("i_MFB_OpenBoardViaIdentifier", ctypes.c_int16, [ctypes.c_char_p, P(ctypes.c_uint32)]),
        ("i_MFB_SetBoardIntRoutine", ctypes.c_int16, [ctypes.c_uint32, lib.InterruptRoutine]),
        ("SetLVRTModule", None, [ctypes.c_void_p]),
        ("i_MFB_ModuloCompareCorrection", ctypes.c_int16,
         [ctypes.c_uint32, ctypes.c_uint8, ctypes.c_uint16, ctypes.c_uint16]),
        ("i_MFB_ReadETMDutyCycleValue", ctypes.c_int16,
         [ctypes.c_uint32, ctypes.c_uint8, ctypes.c_uint8, ctypes.c_uint32, P(ctypes.c_uint8),
          P(ctypes.c_double)]),
    ],
)
def test_types_read_from_the_header(name, restype, argtypes):
    p = lib.PROTOTYPES[name]
    assert p.restype is restype
    assert p.argtypes == argtypes
    assert p.stdcall == (name != "SetLVRTModule")


def test_interrupt_routine_type_is_the_header_typedef():
    assert lib.InterruptRoutine._restype_ is None
    assert lib.InterruptRoutine._argtypes_ == (ctypes.c_uint32,) * 5 + (P(ctypes.c_uint32),)


@pytest.mark.parametrize(
    "text, message",
    [
        ("int16_t MFB_CALL f(widget_t w);", "widget_t"),
        ("int16_t MFB_CALL f(uint8_t** p);", "uint8_t**"),
    ],
)
def test_unknown_types_are_refused_not_guessed(text, message):
    with pytest.raises(ValueError, match=re.escape(message)):
        lib.read_prototypes(text)
