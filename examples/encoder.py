"""Reads board 0's counter (module 0) while the simulated encoder turns at 20,000 edges/s."""
import time

import mfb
import mfb.sim

with mfb.open(0) as board:
    counter = board.counter(0)
    counter.write32(0)
    mfb.sim.encoder_rate(0, 0, 20_000)
    previous = 0
    for _ in range(5):
        time.sleep(0.1)
        value = counter.read32()
        print(f"count {value} (+{value - previous})")
        previous = value
    mfb.sim.encoder_rate(0, 0, 0)
