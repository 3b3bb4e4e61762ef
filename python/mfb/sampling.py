"""Reads at a rate, as mfbctl samples: read k is due at start + k / rate, computed from k each
time, so that a late read shifts none after it and no drift accumulates. A read that runs past
the next due time misses the reads whose time it passed: they are skipped, not made up in a
burst, and a warning says so."""

import time
import warnings
from typing import Callable, Iterator, Optional, Tuple, TypeVar

T = TypeVar("T")


def sample(read: Callable[[], T], rate: float, count: Optional[int] = None,
           duration: Optional[float] = None, clock: Callable[[], float] = time.monotonic,
           sleep: Callable[[float], None] = time.sleep) -> Iterator[Tuple[float, T]]:
    """Yields (t, read()) at `rate` reads a second, t in seconds since the first read was due,
    until `count` reads or `duration` seconds (or for ever); clock and sleep may be replaced.

        for t, value in mfb.sample(counter.read32, rate=100, duration=2): ...
    """
    if rate <= 0:
        raise ValueError("rate: reads a second, above 0")
    start, k, taken = clock(), 0, 0
    while (count is None or taken < count) and (duration is None or k / rate < duration):
        due = start + k / rate
        now = clock()
        if now < due:
            sleep(due - now)
        yield k / rate, read()
        taken += 1
        late = clock() - start
        following = k + 1
        if following / rate < late:
            following = int(late * rate) + 1
            warnings.warn(f"a read ran past the time of read {k + 1} at {rate:g} Hz: "
                          f"{following - k - 1} read(s) missed", RuntimeWarning, stacklevel=2)
        k = following
