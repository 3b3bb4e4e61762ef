"""Plots the position of board 0's encoder (the counter at module 0) against time: reads sampled
at 200 per second for a second while the simulated encoder turns, written to a PNG with
matplotlib. Runs without a display; the file is the first argument (encoder.png by default)."""
import sys

import matplotlib

matplotlib.use("Agg")  # no display needed
import matplotlib.pyplot as plt  # noqa: E402

import mfb  # noqa: E402
import mfb.sim  # noqa: E402

path = sys.argv[1] if len(sys.argv) > 1 else "encoder.png"
with mfb.open(0) as board:
    counter = board.counter()
    counter.write32(0)
    mfb.sim.encoder_rate(0, counter.module, 20_000)
    samples = list(mfb.sample(counter.read32, rate=200, duration=1.0))
    mfb.sim.encoder_rate(0, counter.module, 0)

figure, axes = plt.subplots(figsize=(6, 3.5))
axes.plot([t for t, _ in samples], [count for _, count in samples])
axes.set_xlabel("time (s)")
axes.set_ylabel("counter (edges)")
axes.set_title("board 0 encoder at 20,000 edges/s")
figure.tight_layout()
figure.savefig(path, dpi=100)
print(f"{len(samples)} samples, last count {samples[-1][1]}, written to {path}")
