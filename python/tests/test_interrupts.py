"""Interrupt routines written in Python, on the library's interrupt thread, and their records
decoded as mfbctl decodes them."""

import json
import subprocess
import threading

import pytest

import mfb
import mfb.sim

COMPARE = 3  # the counter's compare source (word 1)


def _arm_compare(board, value=100):
    counter = board.counter(0)
    counter.init_compare(value)
    counter.enable_compare()


def test_routine_gets_copied_records(board):
    got, arrived = [], threading.Event()

    def routine(record):
        got.append(record)
        arrived.set()

    board.on_interrupt(routine)
    _arm_compare(board)
    mfb.sim.encoder_pulse(0, 0, 150)
    assert arrived.wait(5)
    board.reset_interrupt_routine()
    r = got[0]
    assert (r.board, r.module, r.function, r.source) == (0, 0, "counter", "compare")
    assert r.values == {"count": 100, "events": 1, "direction": "up", "latch_registers": 0}
    assert (r.count, r.handle, r.word1, r.raw_values) == (100, board.handle, COMPARE, (1, 1, 0))


def test_records_decoded_as_mfbctl_decodes_them(mfbctl):
    run = subprocess.run([mfbctl, "watch", "--drive", "100000", "--modulo", "5000", "-n", "2",
                          "--json"], capture_output=True, text=True, check=True)
    for line in run.stdout.splitlines():
        tool = json.loads(line)
        record = mfb.Interrupt(tool["board"], tool["function"], 0, tool["module"], tool["word1"],
                               tool["word2"], tuple(tool["values"]))
        assert tool["source"] == record.source == "compare"
        assert {k: tool[k] for k in record.values} == record.values


def test_iterator_yields_records_until_quiet_then_uninstalls(board):
    with board.interrupts(timeout=0.3) as records:
        _arm_compare(board, 200)
        mfb.sim.encoder_pulse(0, 0, 300)
        got = list(records)  # ends after 0.3 s without a record
    assert [(r.source, r.count) for r in got] == [("compare", 200)]
    with pytest.raises(mfb.MfbError, match="-2 no interrupt routine installed"):
        board.reset_interrupt_routine()


def test_iterator_closed_early_uninstalls(board):
    records = board.interrupts(timeout=None)
    records.close()
    board.on_interrupt(lambda r: None)  # a routine may be installed again


@pytest.mark.parametrize("how", ["reset", "close"])
def test_routine_may_end_itself(boards, how):
    board = mfb.open(0)
    calls, done = [], threading.Event()

    def routine(record):
        calls.append(record)
        board.reset_interrupt_routine() if how == "reset" else board.close()
        done.set()

    board.on_interrupt(routine)
    _arm_compare(board)
    mfb.sim.encoder_pulse(0, 0, 150)
    assert done.wait(5)
    mfb.sim.encoder_pulse(0, 0, -100)
    mfb.sim.encoder_pulse(0, 0, 100)  # passes the compare value again
    threading.Event().wait(0.1)
    assert len(calls) == 1
    board.close()


def test_simulation_reset_refused_inside_a_routine(board):
    errors, done = [], threading.Event()

    def routine(record):
        try:
            mfb.sim.reset()
        except RuntimeError as e:
            errors.append(str(e))
        done.set()

    board.on_interrupt(routine)
    _arm_compare(board)
    mfb.sim.encoder_pulse(0, 0, 150)
    assert done.wait(5)
    assert errors == ["mfb.sim.reset() inside an interrupt routine would wait for itself"]
