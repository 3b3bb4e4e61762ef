"""Every nonzero status raises MfbError with the function, the code, its meaning, the board and
module, and the same explanation of the board's set-up as mfbctl gives."""

import subprocess
import sys

import pytest

import mfb
from conftest import PACKAGE_DIR


@pytest.mark.parametrize(
    "action, function, code, module, text",
    [
        (lambda b: b.timer(1, 3).read(), "i_MFB_ReadTimerValue", -3, 1,
         "i_MFB_ReadTimerValue: -3 timer number above 2 (board 0 module 1)"),
        (lambda b: b.timer(0).read(), "i_MFB_ReadTimerValue", -5, 0,
         "i_MFB_ReadTimerValue: -5 exchange failed (board 0 module 0): board 0 module 0 is a "
         "counter, not a timer"),
        (lambda b: b.counter().enable_compare(), "i_MFB_EnableCompareLogic", -15, 0,
         "i_MFB_EnableCompareLogic: -15 no interrupt routine installed (board 0 module 0): install "
         "a routine first: board.on_interrupt() or board.interrupts()"),
        (lambda b: b.port(0).read(), "i_MFB_ReadDigitalInputs", -3, None,
         "i_MFB_ReadDigitalInputs: -3 port not configured (board 0)"),
        (lambda b: b.eeprom_read(256), "i_MFB_EepromAMCCRead", 100, None,
         "i_MFB_EepromAMCCRead: 100 the board driver refused (board 0): the simulated board's "
         "EEPROM has words 0 to 255"),
    ],
)
def test_status_raised_with_context(board, action, function, code, module, text):
    with pytest.raises(mfb.MfbError) as e:
        action(board)
    assert (e.value.function, e.value.code, e.value.board, e.value.module) == (function, code, 0,
                                                                               module)
    assert str(e.value) == text


@pytest.mark.parametrize(
    "function, code, meaning",
    [
        ("i_MFB_SetNewPWMTiming", -101, "the board driver refused (driver status 1)"),
        ("i_MFB_InitCounter", -3, "the board driver refused (driver status -2)"),
        ("i_MFB_ReadTimerValue", -42, "not a code of this function"),
        ("i_MFB_NoSuchFunction", -1, "unknown function"),
    ],
)
def test_codes_the_table_does_not_list(function, code, meaning):
    assert mfb.status_meaning(function, code) == meaning


def test_simulated_module_refusal_explained(boards):
    with mfb.open(1) as b, pytest.raises(mfb.MfbError) as e:
        b.pwm().set_timing(low=1e-6, high=1e-6)  # not set up yet
    assert str(e.value) == ("i_MFB_SetNewPWMTiming: -101 the board driver refused (driver status "
                            "1) (board 1 module 0): the simulated PWM is not set up: run init first")


def test_the_same_explanation_as_mfbctl(board, mfbctl):
    with pytest.raises(mfb.MfbError) as e:
        board.timer(0).read()
    run = subprocess.run([mfbctl, "timer", "-m", "0", "read"], capture_output=True, text=True)
    assert run.stderr.rstrip().endswith(e.value.explanation)


def test_no_boards_says_how_to_get_them():
    run = subprocess.run(
        [sys.executable, "-c", "import mfb; mfb.open(0)"], capture_output=True, text=True,
        env={"PYTHONPATH": PACKAGE_DIR})
    assert run.stderr.rstrip().splitlines()[-1] == (
        "mfb.MfbError: i_MFB_OpenBoardViaIndex: -2 no board at this index (or index above 29) "
        "(board 0): no board at index 0: 0 boards found; the Linux build has simulated boards: "
        "mfb.sim.attach(2), or MFB_SIM_BOARDS=2 in the environment before the import")
