"""Simulated boards (Linux): attach them and move the inputs a test bench would drive.

    import mfb, mfb.sim
    mfb.sim.reset()
    mfb.sim.attach(2)           # board 0: counter, timer, TTL I/O, SSI; board 1: PWM, counter,
                                # timer, TTL I/O
    mfb.sim.encoder_rate(0, 0, 20000)

Each call raises ValueError when the board, the module position or a value does not fit (a
position that does not carry the function the call drives included). What the simulated modules
do with their inputs is written in their headers in sim/.
"""

import ctypes
from typing import Optional

from . import _explain
from ._library import SIM_FUNCTIONS, WINDOWS
from .board import on_interrupt_thread

if WINDOWS:
    raise ImportError("mfb.sim: the simulated boards are part of the Linux build only")


def _call(name, *args):
    result = SIM_FUNCTIONS[name](*args)
    if result < 0:
        raise ValueError(f"{name}{args}: refused (no such simulated board, module or value)")
    return result


def reset():
    """Back to process start: boards detached, interrupt threads ended, faults cleared. Not from
    inside an interrupt routine, whose thread the reset would wait for."""
    if on_interrupt_thread():
        raise RuntimeError("mfb.sim.reset() inside an interrupt routine would wait for itself")
    _call("mfb_sim_reset")


def attach(count=2):
    _call("mfb_sim_attach_boards", count)


def board_count():
    return SIM_FUNCTIONS["mfb_sim_board_count"]()


def fit(board: int, module: int, function: str) -> None:
    """Fits a function at a module position: "counter", "timer", ..., "none", by its name or its
    family's name ("frequency" or "freq", "pulse-encoder" or "pulse_encoder")."""
    found = _explain.find_function(function)
    if found is None:
        names = ", ".join(f["name"] for f in _explain.FUNCTIONS)
        raise ValueError(f"{function!r} is not a module function ({names})")
    _call("mfb_sim_set_function", board, module, found["code"])


def encoder_rate(board, module, edges_per_second, input=0):
    _call("mfb_sim_counter_rate", board, module, input, edges_per_second)


def encoder_pulse(board, module, edges, input=0):
    _call("mfb_sim_counter_pulse", board, module, input, edges)


def index_pulse(board, module):
    _call("mfb_sim_counter_index_pulse", board, module)


def reference(board, module, high):
    _call("mfb_sim_counter_reference", board, module, int(high))


def ttl_line(board, module, line, high):
    _call("mfb_sim_ttl_line", board, module, line, int(high))


def ttl_inputs(board, module, levels):
    _call("mfb_sim_ttl_inputs", board, module, levels)


def etm_signal(board, module, etm, period_ns, high_ns):
    _call("mfb_sim_etm_signal", board, module, etm, period_ns, high_ns)


def frequency_input(board, module, hz):
    _call("mfb_sim_frequency_input", board, module, hz)


def port_inputs(board, port, levels):
    _call("mfb_sim_port_inputs", board, port, levels)


def fail(call, nth=1):
    """Makes the nth call of a platform call ("CreateFileA", "DeviceIoControl", ...) fail."""
    _call("mfb_sim_fail", call.encode(), nth)


def write_firmware_file(path, payload):
    """Writes a firmware file holding `payload` (bytes) that the simulated flash accepts."""
    data = bytes(payload)
    buffer = (ctypes.c_uint8 * len(data)).from_buffer_copy(data)
    _call("mfb_sim_write_firmware_file", str(path).encode(), buffer, len(data))


def flash_fail_writes(board: int, count: int = 5, address: Optional[int] = None) -> None:
    """The next `count` byte writes to the board's flash fail (only those to `address`, if
    given): five failures of one byte make the library give up the update with -5."""
    _call("mfb_sim_flash_fail_writes", board, count, -1 if address is None else address)


def flash_stuck_bit(board: int, address: int, bit: int = 0, high: bool = False) -> None:
    """A bit of the flash byte at an address reads as `high` whatever is written: the update's
    read-back fails with -7 there."""
    _call("mfb_sim_flash_stuck_bit", board, address, bit, int(high))


def flash_clear_faults(board: int) -> None:
    """A sound flash again."""
    _call("mfb_sim_flash_clear_faults", board)


def flash_contents(board, address, length):
    buffer = (ctypes.c_uint8 * length)()
    n = _call("mfb_sim_flash_contents", board, address, buffer, length)
    return bytes(buffer[:n])
