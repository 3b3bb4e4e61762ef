"""Prints the compare interrupts of board 0's counter (module 0) while the simulated encoder turns:
an event every 1,000 counts at 20,000 edges/s."""
import mfb
import mfb.sim

with mfb.open(0) as board:
    counter = board.counter(0)
    with board.interrupts(timeout=1) as records:  # installs the routine first
        counter.init_modulo_compare(1000, 0)
        counter.enable_compare()
        mfb.sim.encoder_rate(0, 0, 20_000)
        for n, record in enumerate(records, 1):
            print(f"module {record.record_byte} source {record.word1} at {record.word2}, "
                  f"{record.values[0]} event(s)")
            if n == 3:
                break
    mfb.sim.encoder_rate(0, 0, 0)
