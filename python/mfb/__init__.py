"""The MFB board library from Python.

    import mfb
    for info in mfb.boards():
        print(info.index, info.identifier, hex(info.serial))
    with mfb.open(0) as board:
        print(board.counter().read32())

Every nonzero status of the library raises MfbError, whose message names the function, the code
and its meaning, the board and module, and what explains it on the board where it can be told
("i_MFB_ReadTimerValue: -5 exchange failed (board 0 module 0): board 0 module 0 is a counter, not
a timer"). On Linux the library runs on simulated boards: mfb.sim attaches and drives them, and
MFB_SIM_BOARDS=N in the environment attaches N of them when the package is imported.
"""

import os

from ._library import FUNCTIONS, MfbError, status_meaning
from .board import Board, BoardInfo, Duration, FrequencyReading, Interrupt, board_count
from .board import board_info, boards, dll_version, flags
from .constants import CounterRange, Direction, Edge, EdgeEvaluation, EtmMode, Level, StopMode
from .constants import TimerClock, TimerMode
from .sampling import sample

__all__ = [
    "Board", "BoardInfo", "CounterRange", "Direction", "Duration", "Edge", "EdgeEvaluation",
    "EtmMode", "FrequencyReading", "Interrupt", "Level", "MfbError", "StopMode", "TimerClock",
    "TimerMode", "board_count", "board_info", "boards", "dll_version", "flags", "functions", "open",
    "sample", "status_meaning",
]

# The library's functions, typed from mfb.h, for what the board objects do not cover.
functions = FUNCTIONS


def open(which) -> Board:
    """Opens a board by index or identifier: `with mfb.open(0) as board:`."""
    return Board.open(which)


if os.environ.get("MFB_SIM_BOARDS"):
    from . import sim

    sim.reset()
    sim.attach(int(os.environ["MFB_SIM_BOARDS"]))
