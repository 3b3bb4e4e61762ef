"""Reads board 0's counter ten times a second while the simulated encoder turns at 20,000
edges/s."""
import mfb
import mfb.sim

with mfb.open(0) as board:
    counter = board.counter()  # the board's first counter module
    counter.write32(0)
    mfb.sim.encoder_rate(0, counter.module, 20_000)
    previous = 0
    for t, value in mfb.sample(counter.read32, rate=10, count=5):
        print(f"count {value} (+{value - previous}) at {t:.1f} s")
        previous = value
    mfb.sim.encoder_rate(0, counter.module, 0)
