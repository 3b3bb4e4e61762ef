"""Prints the compare interrupts of board 0's counter while the simulated encoder turns: an event
every 1,000 counts at 20,000 edges/s, each record decoded."""
import mfb
import mfb.sim

with mfb.open(0) as board:
    counter = board.counter()
    with board.interrupts(timeout=1) as records:  # installs the routine first
        counter.init_modulo_compare(1000)
        counter.enable_compare()
        mfb.sim.encoder_rate(0, counter.module, 20_000)
        for n, record in enumerate(records, 1):
            print(f"board {record.board} module {record.module}: {record.function} "
                  f"{record.source} at {record.count}, {record.events} event(s)")
            if n == 3:
                break
    mfb.sim.encoder_rate(0, counter.module, 0)
