"""The API as users meet it: every method documented with its library function's codes, keyword
arguments in snake_case without type prefixes, type hints shipped, and reads at a rate."""

import inspect
import os
import re
import warnings

import pytest

import mfb
from mfb import board as board_module

CLASSES = [mfb.Board, board_module.Port, board_module.Counter, board_module.Timer,
           board_module.Ttl, board_module.Ssi, board_module.Pwm, board_module.Etm,
           board_module.Frequency, board_module.PulseEncoder]


def _methods():
    for cls in CLASSES:
        for name, method in inspect.getmembers(cls, inspect.isfunction):
            if not name.startswith("_"):
                yield f"{cls.__name__}.{name}", method


def test_every_method_documented_with_its_codes():
    missing = [name for name, m in _methods() if not (m.__doc__ or "").strip()]
    assert missing == []
    doc = mfb.Board.eeprom_read.__doc__
    assert "i_MFB_EepromAMCCRead, raising MfbError on: -100 exchange failed" in doc
    calls = {re.search(r"Calls (i_MFB_\w+)", m.__doc__).group(1) for _, m in _methods()
             if "Calls" in m.__doc__}
    assert len(calls) > 100  # nearly every export has its method


def test_keyword_arguments_named_without_type_prefixes():
    for name, method in _methods():
        for p in inspect.signature(method).parameters:
            assert re.fullmatch(r"[a-z][a-z0-9_]*", p), (name, p)
            assert not re.match(r"(b|w|dw|pb|pdw|pc|d)_", p), (name, p)
    assert list(inspect.signature(board_module.Timer.init).parameters)[1:3] == ["mode",
                                                                                 "reload_value"]


def test_type_hints_ship_with_the_package():
    assert os.path.exists(os.path.join(os.path.dirname(mfb.__file__), "py.typed"))
    assert inspect.signature(board_module.Pwm.init).return_annotation is not inspect.Signature.empty


class FakeClock:
    """A clock that moves only when the sampler sleeps or a read takes time."""

    def __init__(self):
        self.now = 1000.0

    def __call__(self):
        return self.now

    def sleep(self, seconds):
        assert seconds > 0
        self.now += seconds


@pytest.mark.parametrize("read_costs, expected_t, missed", [
    ([0.001] * 5, [0, 0.01, 0.02, 0.03, 0.04], 0),
    ([0.001, 0.025, 0.001, 0.001, 0.001], [0, 0.01, 0.04, 0.05, 0.06], 1),
])
def test_sampling_on_absolute_deadlines(read_costs, expected_t, missed):
    clock, costs = FakeClock(), iter(read_costs)

    def read():
        taken = clock.now
        clock.now += next(costs)
        return taken - 1000.0

    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        got = list(mfb.sample(read, rate=100, count=5, clock=clock, sleep=clock.sleep))
    assert [t for t, _ in got] == pytest.approx(expected_t)
    assert [v for _, v in got] == pytest.approx(expected_t)  # each read at its due time
    assert len(caught) == missed
    # No drift: after 30,000 reads at 3 Hz, each costing 0.1 s, the last is read on the grid.
    clock = FakeClock()
    *_, (t, read_at) = mfb.sample(lambda: clock.now, rate=3, duration=10_000, clock=clock,
                                  sleep=lambda s: clock.sleep(s) or clock.sleep(1e-9))
    assert (t, read_at - 1000.0) == (pytest.approx(29_999 / 3), pytest.approx(29_999 / 3, abs=1e-6))
