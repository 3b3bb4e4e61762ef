"""Named settings. The library passes setting bytes to the board unchanged and the board's
firmware gives them their meaning; the names here are the meanings the simulated board defines
(its headers in sim/ say so), which mfbctl's choices use too."""

from enum import IntEnum


class CounterRange(IntEnum):
    """Counter.init(range=...)."""
    ONE_32_BIT = 0
    TWO_16_BIT = 1


class EdgeEvaluation(IntEnum):
    """Counter.init(evaluation=...): counts per encoder line."""
    SINGLE = 1
    DOUBLE = 2
    QUADRUPLE = 4


class Edge(IntEnum):
    """A rising or falling edge: external strobes, the start of an ETM measurement."""
    RISING = 0
    FALLING = 1


class TimerMode(IntEnum):
    """Timer.init(mode=...)."""
    SINGLE = 0
    GATED_SINGLE = 1
    RATE = 2
    SQUARE = 3
    STROBE = 4
    GATED_STROBE = 5


class TimerClock(IntEnum):
    """Timer.init(clock=...): the internal 1 MHz clock, the timer below, or the clock input."""
    INTERNAL = 0
    CASCADE = 1
    EXTERNAL = 2


class Level(IntEnum):
    """Output levels of a PWM: the level a period starts with, and the level once stopped."""
    LOW = 0
    HIGH = 1
    HOLD = 2


class StopMode(IntEnum):
    """Pwm.enable(stop_mode=...): when disable() stops the PWM."""
    NOW = 0
    PERIOD_END = 1


class EtmMode(IntEnum):
    """Etm.enable(mode=...): one measurement, or one after the other."""
    SINGLE = 0
    CONTINUOUS = 1


class Direction(IntEnum):
    """Ttl.set_directions(...): the direction of a port's lines."""
    INPUT = 0
    OUTPUT = 1
