"""The MFB board library from Python.

    import mfb
    print(mfb.boards())
    with mfb.open(0) as board:
        print(board.counter(0).read32())

Every nonzero status of the library raises MfbError, whose message names the function, the code
and its meaning ("i_MFB_ReadTimerValue: -3 timer number above 2"). On Linux the library runs on
simulated boards: mfb.sim attaches and drives them, and MFB_SIM_BOARDS=N in the environment
attaches N of them when the package is imported.
"""

import os

from ._library import FUNCTIONS, MfbError, status_meaning
from .board import Board, BoardInfo, Duration, Interrupt, board_count, board_info, boards
from .board import dll_version

__all__ = [
    "Board", "BoardInfo", "Duration", "Interrupt", "MfbError", "board_count", "board_info",
    "boards", "dll_version", "functions", "open", "status_meaning",
]

# The library's functions, typed from mfb.h, for what the board objects do not cover.
functions = FUNCTIONS


def open(which):
    """Opens a board by index or identifier: `with mfb.open(0) as board:`."""
    return Board.open(which)


if os.environ.get("MFB_SIM_BOARDS"):
    from . import sim

    sim.reset()
    sim.attach(int(os.environ["MFB_SIM_BOARDS"]))
