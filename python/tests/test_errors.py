"""Every nonzero status raises MfbError with the function, the code and its meaning."""

import pytest

import mfb


@pytest.mark.parametrize(
    "action, function, code, text",
    [
        (lambda b: b.timer(1, 3).read(), "i_MFB_ReadTimerValue", -3,
         "i_MFB_ReadTimerValue: -3 timer number above 2"),
        (lambda b: b.timer(0, 0).read(), "i_MFB_ReadTimerValue", -5,
         "i_MFB_ReadTimerValue: -5 exchange failed"),  # position 0 carries a counter
        (lambda b: b.counter(0).enable_compare(), "i_MFB_EnableCompareLogic", -15,
         "i_MFB_EnableCompareLogic: -15 no interrupt routine installed"),
        (lambda b: b.reset_interrupt_routine(), "i_MFB_ResetBoardIntRoutine", -2,
         "i_MFB_ResetBoardIntRoutine: -2 no interrupt routine installed"),
        (lambda b: b.port(0).read(), "i_MFB_ReadDigitalInputs", -3,
         "i_MFB_ReadDigitalInputs: -3 port not configured"),
    ],
)
def test_status_raised_with_its_meaning(board, action, function, code, text):
    with pytest.raises(mfb.MfbError) as e:
        action(board)
    assert (e.value.function, e.value.code, str(e.value)) == (function, code, text)


@pytest.mark.parametrize(
    "function, code, meaning",
    [
        ("i_MFB_SetNewPWMTiming", -101, "the board driver refused (driver status 1)"),
        ("i_MFB_InitCounter", -3, "the board driver refused (driver status -2)"),
        ("i_MFB_InitPulseEncoder", -3, "the board driver refused (driver status 3)"),
        ("i_MFB_ReadTimerValue", -42, "not a code of this function"),
        ("i_MFB_NoSuchFunction", -1, "unknown function"),
    ],
)
def test_codes_the_table_does_not_list(function, code, meaning):
    assert mfb.status_meaning(function, code) == meaning


def test_driver_refusal_from_a_simulated_module(boards):
    with mfb.open(1) as b, pytest.raises(mfb.MfbError) as e:
        b.pwm(0, 0).set_timing(0, 1000, 1000)  # not set up yet
    assert str(e.value) == "i_MFB_SetNewPWMTiming: -101 the board driver refused (driver status 1)"
