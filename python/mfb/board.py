"""Boards and their module families: each library function as a method with named arguments,
times in seconds and named settings (mfb.constants), returning what the function writes. Every
method names its library function and that function's status codes in its docstring; a nonzero
status raises MfbError with the function, the board index, the module and, where the board tells
why, the same explanation as mfbctl gives."""

import collections
import ctypes
import queue
import threading
from typing import Callable, Dict, List, Optional, Sequence, Tuple, Union

from . import _explain
from ._library import FUNCTIONS, OUT, SIM_FUNCTIONS, WINDOWS, CapturedOutput, InterruptRoutine
from ._library import MfbError, call, codes_text, status_meaning
from .constants import CounterRange, Edge, EdgeEvaluation, EtmMode, Level, StopMode
from .constants import TimerClock, TimerMode

BoardInfo = collections.namedtuple("BoardInfo", ["index", "identifier"] + _explain.INFORMATION)
Duration = collections.namedtuple("Duration", "hours minutes seconds ms us ns")
FrequencyReading = collections.namedtuple("FrequencyReading", "enabled new periods hz")

IDENTIFIER_SIZE = 52  # the identifier's at most 51 characters and the terminating zero
COUNTER, TIMER, TTL, SSI, PWM, ETM, FREQUENCY, PULSE_ENCODER = range(1, 9)

# Interrupt routines that may still be running when their board let go of them: a routine reset
# from inside itself returns after the reset. They are kept for the life of the process, since
# freeing a routine's code while a thread is in it would crash the process.
_retired_routines = []
_on_interrupt_thread = threading.local()


def on_interrupt_thread() -> bool:
    """Whether this thread is running an interrupt routine of the package."""
    return getattr(_on_interrupt_thread, "active", False)


def _codes(*functions):
    """Adds the library functions a method calls, and their status codes, to its docstring."""

    def mark(method):
        text = (method.__doc__ or "").rstrip()
        method.__doc__ = text + "\n\nCalls " + " ".join(codes_text(f) for f in functions)
        return method

    return mark


def _u32_array(n):
    return (ctypes.c_uint32 * n)()


def _count(seconds, unit_s, name, lo=1, hi=0xFFFFFFFF):
    """A time in seconds as a whole count of a unit, or None where it is not one in lo..hi."""
    n = round(seconds / unit_s)
    if n < lo or n > hi or abs(n * unit_s - seconds) > 1e-12 * max(1.0, seconds):
        return None
    return n


def _in_unit(seconds, units, name):
    """(unit code, count) of the finest unit in which a time is a whole count in range; units are
    (code, seconds per count, lo, hi)."""
    for code, unit_s, lo, hi in units:
        n = _count(seconds, unit_s, name, lo, hi)
        if n is not None:
            return code, n
    raise ValueError(f"{name}: {seconds} s is no whole number of ns, us or ms in range")


def simulated(index: int) -> bool:
    """Whether the board at an index is a simulated one (the Linux build's)."""
    return bool(SIM_FUNCTIONS) and index < SIM_FUNCTIONS["mfb_sim_board_count"]()


def _open_context(index):
    def context(function, status):
        if function != "i_MFB_OpenBoardViaIndex" or status != -2:
            return {}
        count = board_count()
        explanation = f"no board at index {index}: {count} board{'' if count == 1 else 's'} found"
        if count == 0 and not WINDOWS:
            explanation += ("; the Linux build has simulated boards: mfb.sim.attach(2), or "
                            "MFB_SIM_BOARDS=2 in the environment before the import")
        return {"board": index, "explanation": explanation}

    return context


@_codes("i_MFB_GetNumberOfBoards")
def board_count() -> int:
    """The number of boards the library finds."""
    return call("i_MFB_GetNumberOfBoards", OUT)


@_codes("i_MFB_GetBoardInformation")
def board_info(index: int) -> BoardInfo:
    """A board's identifier and information words (serial, firmware, PCI bus and device,
    interrupt line, module positions), named as mfbctl names them."""
    identifier = ctypes.create_string_buffer(IDENTIFIER_SIZE)
    # The library takes the words in the order 1, 3, 2, 4, 5.
    w1, w3, w2, w4, w5, byte = call(
        "i_MFB_GetBoardInformation", index, identifier, IDENTIFIER_SIZE, OUT, OUT, OUT, OUT, OUT, OUT
    )
    return BoardInfo(index, identifier.value.decode("latin-1"), w1, w2, w3, w4, w5, byte)


def boards() -> List[BoardInfo]:
    """Every board the library finds, with its identifier and information words."""
    return [board_info(i) for i in range(board_count())]


@_codes("i_MFB_GetDLLVersion")
def dll_version() -> int:
    """The library's version word: build in bits 31-16, month and year (BCD) in bits 15-0."""
    return call("i_MFB_GetDLLVersion", OUT)


def flags(name: str, value: int) -> List[str]:
    """The names of a status byte as the simulated modules set it: flags("counter.uas", 0b1011)
    is ["track_a", "track_b", "reference"]; the names are those of mfb_explain.json."""
    return _explain.flags(name, value)


class Interrupt:
    """One interrupt record, decoded as mfbctl decodes it: the board index, the module position
    and its function, the source and the named values (record.values, or as attributes:
    record.count); the raw words too (handle, record_byte, word1, word2, raw_values)."""

    __slots__ = ("board", "module", "function", "source", "values", "handle", "record_byte",
                 "word1", "word2", "raw_values")

    def __init__(self, board, function, handle, record_byte, word1, word2, raw_values):
        self.board, self.module, self.function = board, record_byte, function
        self.handle, self.record_byte = handle, record_byte
        self.word1, self.word2, self.raw_values = word1, word2, raw_values
        found = _explain.find_function(function)
        self.source, self.values = _explain.decode_interrupt(
            found["code"] if found else 0, word1, word2, raw_values)

    def __getattr__(self, name):
        try:
            return self.values[name]
        except KeyError:
            raise AttributeError(name) from None

    def __repr__(self):
        named = "".join(f", {k}={v!r}" for k, v in self.values.items())
        return (f"Interrupt(board={self.board}, module={self.module}, function={self.function!r}, "
                f"source={self.source!r}{named})")


class Board:
    """An open board; `with mfb.open(0) as board:` closes it at the end."""

    def __init__(self, handle: int, index: int):
        self.handle: Optional[int] = handle
        self.index = index
        self._routine = None

    @classmethod
    @_codes("i_MFB_OpenBoardViaIndex", "i_MFB_OpenBoardViaIdentifier")
    def open(cls, which: Union[int, str]) -> "Board":
        """Opens the board at an index, or the first one whose identifier is the text."""
        if isinstance(which, str):
            handle = call("i_MFB_OpenBoardViaIdentifier", which.encode("latin-1"), OUT)
            index = next((b.index for b in boards() if b.identifier == which), None)
            return cls(handle, index)
        return cls(call("i_MFB_OpenBoardViaIndex", which, OUT, context=_open_context(which)), which)

    @_codes("i_MFB_CloseBoard")
    def close(self) -> None:
        """Closes the board (a second close does nothing); also ends its interrupt routine."""
        if self.handle is None:
            return
        handle, self.handle = self.handle, None
        call("i_MFB_CloseBoard", handle)
        self._let_go_of_routine()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __repr__(self):
        return f"<mfb.Board {self.index} handle {self.handle}>"

    def _context(self, module=None, family=None):
        def context(function, status):
            explanation = ""
            if module is not None and family is not None:
                actual = self._function_code(module)
                if actual is not None and actual != family:
                    explanation = _explain.wrong_function(
                        f"board {self.index} module {module}", actual, family)
                elif actual is not None and simulated(self.index):
                    explanation = _explain.refusal(actual, function, status)
            elif simulated(self.index):
                explanation = _explain.refusal(0, function, status)
            if not explanation and "no interrupt routine" in status_meaning(function, status):
                explanation = "install a routine first: board.on_interrupt() or board.interrupts()"
            return {"board": self.index, "module": module, "explanation": explanation}

        return context

    def _call(self, function, *args, module=None, family=None):
        if self.handle is None:
            raise ValueError("the board is closed")
        return call(function, self.handle, *args, context=self._context(module, family))

    def _function_code(self, module):
        try:
            return call("i_MFB_GetModuleConfiguration", self.handle, module, OUT) & 0xFF
        except Exception:
            return None

    # ---- identity ----
    @_codes("i_MFB_GetBoardHardwareType")
    def hardware_type(self) -> int:
        """The board's hardware type byte."""
        return self._call("i_MFB_GetBoardHardwareType", OUT)

    @_codes("i_MFB_GetModuleConfiguration")
    def module_configuration(self, module: int) -> int:
        """The configuration word of a module position: bits 7-0 the function it carries."""
        return self._call("i_MFB_GetModuleConfiguration", module, OUT)

    def module_function(self, module: int) -> str:
        """The function a module position carries, by name: "counter", "timer", ..."""
        found = _explain.function(self.module_configuration(module) & 0xFF)
        return found["name"] if found else "unknown"

    @_codes("i_MFB_GetDeviceDriverVersion")
    def driver_version(self) -> int:
        """The board driver's version word: major, minor and release in bits 31-16, 15-8, 7-0."""
        return self._call("i_MFB_GetDeviceDriverVersion", OUT)

    # ---- interrupts ----
    @_codes("i_MFB_SetBoardIntRoutine")
    def on_interrupt(self, routine: Callable[[Interrupt], None]) -> None:
        """Calls routine(Interrupt) on the library's interrupt thread for every interrupt
        record, decoded for the function at its module position. The routine may call
        reset_interrupt_routine() or close() of any board."""
        functions = [_explain.function(self._function_code(p) or 0) for p in range(4)]
        names = [f["name"] if f else "unknown" for f in functions]
        index = self.index

        def trampoline(handle, record_byte, word1, word2, count, values):
            function = names[record_byte] if record_byte < 4 else "unknown"
            record = Interrupt(index, function, handle, record_byte, word1, word2,
                               tuple(values[: min(count, 16)]))
            _on_interrupt_thread.active = True
            try:
                routine(record)
            finally:
                _on_interrupt_thread.active = False

        thunk = InterruptRoutine(trampoline)
        self._call("i_MFB_SetBoardIntRoutine", thunk)
        self._routine = thunk

    @_codes("i_MFB_ResetBoardIntRoutine")
    def reset_interrupt_routine(self) -> None:
        """Removes the interrupt routine, after it has returned (unless called from inside it)."""
        self._call("i_MFB_ResetBoardIntRoutine")
        self._let_go_of_routine()

    def _let_go_of_routine(self):
        # Reset elsewhere, the library has waited for the routine to return; reset from inside a
        # routine (of any board), it has not waited, and the board's routine may still be running.
        if self._routine is not None and on_interrupt_thread():
            _retired_routines.append(self._routine)
        self._routine = None

    def interrupts(self, timeout: Optional[float] = 1.0) -> "Interrupts":
        """Installs a routine that queues the board's decoded interrupt records and returns them
        as an iterator, which ends when none has come for `timeout` seconds (None: wait for ever)
        and then uninstalls the routine, as close() does:

            with board.interrupts(timeout=2) as records:
                for record in records: ...
        """
        return Interrupts(self, timeout)

    @_codes("i_MFB_SetLabViewInterrupt")
    def set_labview_interrupt(self, refnum: int) -> None:
        """Posts every interrupt record to a LabVIEW user event."""
        self._call("i_MFB_SetLabViewInterrupt", ctypes.byref(ctypes.c_uint32(refnum)))

    @_codes("i_MFB_ResetLabViewInterrupt")
    def reset_labview_interrupt(self) -> None:
        """Stops posting interrupt records to the LabVIEW user event."""
        self._call("i_MFB_ResetLabViewInterrupt")

    # ---- board digital ports, EEPROM, firmware ----
    def port(self, port: int) -> "Port":
        """One of the board's digital ports 0 to 3."""
        return Port(self, port)

    @_codes("i_MFB_SetDigitalOutputMemory")
    def set_output_memory(self, on: bool) -> None:
        """Output memory on: switching outputs keeps the other lines of a port."""
        self._call("i_MFB_SetDigitalOutputMemory", int(on))

    @_codes("i_MFB_EepromAMCCRead")
    def eeprom_read(self, address: int) -> int:
        """An EEPROM word (a simulated board has words 0 to 255)."""
        return self._call("i_MFB_EepromAMCCRead", address, OUT)

    @_codes("i_MFB_EepromAMCCWrite")
    def eeprom_write(self, address: int, value: int) -> None:
        """Writes an EEPROM word. The two lines the library prints are kept out of the output."""
        with CapturedOutput():
            self._call("i_MFB_EepromAMCCWrite", address, value)

    @_codes("i_MFB_ConfigureAllModule")
    def configure_all_modules(self, files: Sequence[str],
                              stages: Optional[Callable[[str], None]] = print) -> None:
        """Replaces the firmware of module positions 0 to 3 from four firmware files. Each stage
        line the library prints ("-> flash erased") goes to `stages` as a line of its own (print
        by default; None keeps them quiet). A failed write or read-back names the flash address
        and the module byte in the error's explanation."""
        if len(files) != 4:
            raise ValueError("four firmware files, one per module position")
        paths = [str(f).encode() for f in files]
        position = ctypes.c_uint32()
        with CapturedOutput(stages):
            status = FUNCTIONS["i_MFB_ConfigureAllModule"](self.handle, *paths,
                                                           ctypes.byref(position))
        if status != 0:
            explanation = ""
            if status in (-5, -7):
                explanation = f"flash address {position.value}{_flash_module(files, position.value)}"
            raise MfbError("i_MFB_ConfigureAllModule", status, self.index, None, explanation)

    # ---- counter functions of the whole board ----
    @_codes("i_MFB_CounterAutoTest")
    def counter_self_test(self) -> int:
        """The board's counter self-test: bit n set when the counter at position n passed."""
        return self._call("i_MFB_CounterAutoTest", OUT)

    @_codes("i_MFB_ClearAllCounterValue")
    def clear_all_counters(self) -> None:
        """Clears every counter of the board."""
        self._call("i_MFB_ClearAllCounterValue")

    # ---- module families: the module position, or the first that carries the function ----
    def _position(self, module, family):
        if module is not None:
            return module
        for p in range(4):
            if self._function_code(p) == family:
                return p
        raise ValueError(f"board {self.index} has no {_explain.function(family)['name']} module")

    def counter(self, module: Optional[int] = None) -> "Counter":
        return Counter(self, self._position(module, COUNTER))

    def timer(self, module: Optional[int] = None, timer: int = 0) -> "Timer":
        return Timer(self, self._position(module, TIMER), timer)

    def ttl(self, module: Optional[int] = None) -> "Ttl":
        return Ttl(self, self._position(module, TTL))

    def ssi(self, module: Optional[int] = None) -> "Ssi":
        return Ssi(self, self._position(module, SSI))

    def pwm(self, module: Optional[int] = None, pwm: int = 0) -> "Pwm":
        return Pwm(self, self._position(module, PWM), pwm)

    def etm(self, module: Optional[int] = None, etm: int = 0) -> "Etm":
        return Etm(self, self._position(module, ETM), etm)

    def frequency(self, module: Optional[int] = None) -> "Frequency":
        return Frequency(self, self._position(module, FREQUENCY))

    def pulse_encoder(self, module: Optional[int] = None, encoder: int = 0) -> "PulseEncoder":
        return PulseEncoder(self, self._position(module, PULSE_ENCODER), encoder)


def _flash_module(files, address):
    """" (module 1 byte 400)" where the address lies in a file's payload (the payloads of
    modules 0 to 3 follow each other from address 0), where the build can read the files."""
    if not SIM_FUNCTIONS:
        return ""
    start = 0
    for m, path in enumerate(files):
        length = SIM_FUNCTIONS["mfb_sim_firmware_payload"](str(path).encode())
        if length < 0:
            return ""
        if address < start + length:
            return f" (module {m} byte {address - start})"
        start += length
    return ""


for _name in ("counter", "timer", "ttl", "ssi", "pwm", "etm", "frequency", "pulse_encoder"):
    getattr(Board, _name).__doc__ = (
        f"The {_name.replace('_', ' ')} module at a position; without one, the board's first "
        f"position that carries it (as mfbctl chooses).")


class Interrupts:
    """The iterator of Board.interrupts()."""

    def __init__(self, board: Board, timeout: Optional[float]):
        self._board, self._timeout = board, timeout
        self._records: "queue.Queue[Interrupt]" = queue.Queue()
        board.on_interrupt(self._records.put)
        self._installed = True

    def __iter__(self):
        return self

    def __next__(self) -> Interrupt:
        if not self._installed:
            raise StopIteration
        try:
            return self._records.get(timeout=self._timeout)
        except queue.Empty:
            self.close()
            raise StopIteration from None

    def close(self) -> None:
        """Uninstalls the routine (at once; also after the board was closed)."""
        if self._installed:
            self._installed = False
            if self._board.handle is not None:
                self._board.reset_interrupt_routine()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


class Port:
    """One of the board's digital ports 0 to 3."""

    def __init__(self, board: Board, port: int):
        self.board, self.port = board, port

    @_codes("i_MFB_SetPortConfiguration")
    def configure(self, enable_line: bool = False, strobe_line: bool = False) -> None:
        """Configures the port (needed before it is read or switched): input line 5 enables the
        outputs, input line 6 strobes the inputs, as the simulated board takes the two values."""
        self.board._call("i_MFB_SetPortConfiguration", self.port, int(enable_line),
                         int(strobe_line))

    @_codes("i_MFB_ReadDigitalInputs")
    def read(self) -> int:
        """The input lines, bit n for line n."""
        return self.board._call("i_MFB_ReadDigitalInputs", self.port, OUT)

    @_codes("i_MFB_SetDigitalOutputsOn")
    def outputs_on(self, mask: int) -> None:
        """Switches the output lines of the mask on."""
        self.board._call("i_MFB_SetDigitalOutputsOn", self.port, mask)

    @_codes("i_MFB_SetDigitalOutputsOff")
    def outputs_off(self, mask: int) -> None:
        """Switches the output lines of the mask off (needs the output memory on)."""
        self.board._call("i_MFB_SetDigitalOutputsOff", self.port, mask)


class _Module:
    family = 0

    def __init__(self, board: Board, module: int):
        self.board, self.module = board, module

    def _call(self, function, *args):
        return self.board._call(function, self.module, *args, module=self.module,
                                family=self.family)

    def __repr__(self):
        return f"<mfb.{type(self).__name__} board {self.board.index} module {self.module}>"


class Counter(_Module):
    """An incremental counter module."""

    family = COUNTER

    @_codes("i_MFB_InitCounter")
    def init(self, range: CounterRange = CounterRange.ONE_32_BIT, invert: bool = False,
             invert_1: bool = False, evaluation: EdgeEvaluation = EdgeEvaluation.QUADRUPLE,
             hysteresis: bool = False) -> None:
        """Sets the counter up and clears it: one 32-bit or two 16-bit counters, counting down
        (invert; invert_1 for 16-bit counter 1), counts per encoder line, hysteresis."""
        self._call("i_MFB_InitCounter", int(range), int(invert), int(invert_1), int(evaluation),
                   int(hysteresis))

    @_codes("i_MFB_ClearCounterValue")
    def clear(self) -> None:
        """Sets the counter to 0."""
        self._call("i_MFB_ClearCounterValue")

    @_codes("i_MFB_SetInputFilter")
    def set_input_filter(self, filter_0: int, filter_1: int) -> None:
        """Filter steps 0 (off) to 7 of encoder inputs 0 and 1: pulses under 100 ns * 2^step
        are suppressed."""
        self._call("i_MFB_SetInputFilter", filter_0, filter_1)

    @_codes("i_MFB_SetInputFilterEFG")
    def set_input_filter_efg(self, filter: int) -> None:
        """The filter step of the index, reference and strobe inputs."""
        self._call("i_MFB_SetInputFilterEFG", filter)

    @_codes("i_MFB_LatchCounter")
    def latch(self, registers: int = 1) -> None:
        """Latches the counter into latch registers: 1 register 0, 2 register 1, 3 both."""
        self._call("i_MFB_LatchCounter", registers)

    @_codes("i_MFB_ReadLatchRegisterStatus")
    def latch_status(self, register: int) -> int:
        """A latch register's status: 0 empty or read, 1 new, 2 overrun (flags("counter.latch"))."""
        return self._call("i_MFB_ReadLatchRegisterStatus", register, OUT)

    @_codes("i_MFB_ReadLatchRegisterValue")
    def latch_value(self, register: int) -> int:
        """A latch register's value."""
        return self._call("i_MFB_ReadLatchRegisterValue", register, OUT)

    @_codes("i_MFB_EnableLatchInterrupt")
    def enable_latch_interrupt(self) -> None:
        """Every latch raises an interrupt (needs a routine)."""
        self._call("i_MFB_EnableLatchInterrupt")

    @_codes("i_MFB_DisableLatchInterrupt")
    def disable_latch_interrupt(self) -> None:
        """Latches raise no interrupt."""
        self._call("i_MFB_DisableLatchInterrupt")

    @_codes("i_MFB_Read16BitCounterValue")
    def read16(self, counter: int) -> int:
        """One of the two 16-bit counters (after init(range=CounterRange.TWO_16_BIT))."""
        return self._call("i_MFB_Read16BitCounterValue", counter, OUT)

    @_codes("i_MFB_Read32BitCounterValue")
    def read32(self) -> int:
        """The 32-bit counter."""
        return self._call("i_MFB_Read32BitCounterValue", OUT)

    @_codes("i_MFB_Write16BitCounterValue")
    def write16(self, counter: int, value: int) -> None:
        """Loads one of the two 16-bit counters."""
        self._call("i_MFB_Write16BitCounterValue", counter, value)

    @_codes("i_MFB_Write32BitCounterValue")
    def write32(self, value: int) -> None:
        """Loads the 32-bit counter."""
        self._call("i_MFB_Write32BitCounterValue", value)

    @_codes("i_MFB_InitIndex")
    def init_index(self, latch: bool = False, direction: int = 0, first_only: bool = False,
                   interrupt: bool = False) -> None:
        """Sets the index up: it clears the counter (or latches it into register 0 with latch),
        in both directions (direction 0; 1 only up, 2 only down), at every index pulse or the
        first one only, with an interrupt per index event."""
        self._call("i_MFB_InitIndex", int(latch), direction, int(first_only), int(interrupt))

    @_codes("i_MFB_EnableIndex")
    def enable_index(self) -> None:
        """Switches the index on."""
        self._call("i_MFB_EnableIndex")

    @_codes("i_MFB_DisableIndex")
    def disable_index(self) -> None:
        """Switches the index off."""
        self._call("i_MFB_DisableIndex")

    @_codes("i_MFB_GetIndexStatus")
    def index_status(self) -> int:
        """1 once an index event happened since the index was set up or enabled."""
        return self._call("i_MFB_GetIndexStatus", OUT)

    @_codes("i_MFB_SetIndexAndReferenceSource")
    def set_index_and_reference_source(self, from_reference: bool) -> None:
        """The index comes from the index track (False) or the reference input (True)."""
        self._call("i_MFB_SetIndexAndReferenceSource", int(from_reference))

    @_codes("i_MFB_InitReference")
    def init_reference(self, active_high: bool) -> None:
        """The active level of the reference input."""
        self._call("i_MFB_InitReference", int(active_high))

    @_codes("i_MFB_GetReferenceStatus")
    def reference_status(self) -> int:
        """1 while the reference input is at its active level."""
        return self._call("i_MFB_GetReferenceStatus", OUT)

    @_codes("i_MFB_GetUASStatus")
    def uas_status(self) -> int:
        """The input levels: flags("counter.uas", value) names them."""
        return self._call("i_MFB_GetUASStatus", OUT)

    @_codes("i_MFB_GetCBStatus")
    def cb_status(self) -> int:
        """Carry (bit 0) and borrow (bit 1), cleared by the read."""
        return self._call("i_MFB_GetCBStatus", OUT)

    @_codes("i_MFB_Get16BitCBStatus")
    def cb_status16(self) -> Tuple[int, int]:
        """(carry/borrow of 16-bit counter 0, of counter 1)."""
        return self._call("i_MFB_Get16BitCBStatus", OUT, OUT)

    @_codes("i_MFB_GetUDStatus")
    def ud_status(self) -> int:
        """The direction of the last count: bit 0 (counter 0) and bit 1 (counter 1), 1 up."""
        return self._call("i_MFB_GetUDStatus", OUT)

    @_codes("i_MFB_GetInterruptUDLatchedStatus")
    def interrupt_ud_latched_status(self) -> int:
        """The direction status at the last event that raised an interrupt."""
        return self._call("i_MFB_GetInterruptUDLatchedStatus", OUT)

    @_codes("i_MFB_InitExternalStrobe")
    def init_external_strobe(self, strobe: int, edge: Edge = Edge.RISING) -> None:
        """That edge of strobe input 0 or 1 latches the counter into latch register 0 or 1."""
        self._call("i_MFB_InitExternalStrobe", strobe, int(edge))

    @_codes("i_MFB_InitCompareLogic")
    def init_compare(self, compare_value: int) -> None:
        """An event whenever the counter reaches the value."""
        self._call("i_MFB_InitCompareLogic", compare_value)

    @_codes("i_MFB_EnableCompareLogic")
    def enable_compare(self) -> None:
        """Compare events take effect and raise interrupts (needs a routine)."""
        self._call("i_MFB_EnableCompareLogic")

    @_codes("i_MFB_DisableCompareLogic")
    def disable_compare(self) -> None:
        """Compare events stop."""
        self._call("i_MFB_DisableCompareLogic")

    @_codes("i_MFB_InitModuloCompareLogic")
    def init_modulo_compare(self, modulo: int, counter_wraps: bool = False) -> None:
        """An event every `modulo` counts; with counter_wraps the counter runs from 0 to
        modulo - 1."""
        self._call("i_MFB_InitModuloCompareLogic", modulo, int(counter_wraps))

    @_codes("i_MFB_ModuloCompareCorrection")
    def modulo_compare_correction(self, extra_counts: int, period: int) -> None:
        """Every `period`-th modulo period is `extra_counts` longer (period 0: off)."""
        self._call("i_MFB_ModuloCompareCorrection", extra_counts, period)

    @_codes("i_MFB_ReadCompareLatchRegister")
    def compare_latch(self) -> int:
        """The counter at the last compare event."""
        return self._call("i_MFB_ReadCompareLatchRegister", OUT)

    @_codes("i_MFB_SetDigitalChlOn")
    def digital_channel_on(self) -> None:
        """Switches the digital channel on."""
        self._call("i_MFB_SetDigitalChlOn")

    @_codes("i_MFB_SetDigitalChlOff")
    def digital_channel_off(self) -> None:
        """Switches the digital channel off."""
        self._call("i_MFB_SetDigitalChlOff")

    @_codes("i_MFB_ConfigDigitalChlUse")
    def use_digital_channel(self, by_compare: bool) -> None:
        """The digital channel is a plain output (False) or toggled by compare events (True)."""
        self._call("i_MFB_ConfigDigitalChlUse", int(by_compare))


class Timer(_Module):
    """One of the three timers of a timer module, counting a 1 MHz clock (on the simulated
    board)."""

    family = TIMER

    def __init__(self, board: Board, module: int, timer: int):
        super().__init__(board, module)
        self.timer = timer

    @_codes("i_MFB_InitTimer")
    def init(self, mode: TimerMode = TimerMode.SINGLE, reload_value: int = 0,
             clock: TimerClock = TimerClock.INTERNAL, falling_edge: bool = False,
             invert_output: bool = False, gate_active_low: bool = False) -> None:
        """Sets the timer up (and stops it): a mode, the counts to load (0 for 2^32), its clock."""
        self._call("i_MFB_InitTimer", self.timer, int(mode), reload_value, int(clock),
                   int(falling_edge), int(invert_output), int(gate_active_low))

    @_codes("i_MFB_EnableTimer")
    def enable(self, interrupt: bool = False) -> None:
        """Starts the timer; with interrupt, an interrupt whenever it reaches zero."""
        self._call("i_MFB_EnableTimer", self.timer, int(interrupt))

    @_codes("i_MFB_DisableTimer")
    def disable(self) -> None:
        """Stops the timer."""
        self._call("i_MFB_DisableTimer", self.timer)

    @_codes("i_MFB_ReadTimerValue")
    def read(self) -> int:
        """The timer's count."""
        return self._call("i_MFB_ReadTimerValue", self.timer, OUT)

    @_codes("i_MFB_ReadAllTimerValue")
    def read_all(self) -> Tuple[int, int, int]:
        """The counts of the module's timers 0, 1 and 2."""
        values = _u32_array(3)
        self._call("i_MFB_ReadAllTimerValue", values)
        return tuple(values)

    @_codes("i_MFB_WriteTimerValue")
    def write(self, value: int) -> None:
        """Loads a new count."""
        self._call("i_MFB_WriteTimerValue", self.timer, value)

    @_codes("i_MFB_GetTimerOutputLevel")
    def output_level(self) -> int:
        """The level of the timer's output, 1 high."""
        return self._call("i_MFB_GetTimerOutputLevel", self.timer, OUT)

    @_codes("i_MFB_GetTimerProgressStatus")
    def progress(self) -> int:
        """1 while the timer counts."""
        return self._call("i_MFB_GetTimerProgressStatus", self.timer, OUT)

    @_codes("i_MFB_GetTimerProgressStatusEx")
    def progress_ex(self) -> List[str]:
        """The extended progress by name: "counting", "waiting", "reached_zero" (the read clears
        reached_zero)."""
        return flags("timer.progress_ex", self._call("i_MFB_GetTimerProgressStatusEx", self.timer, OUT))


class Ttl(_Module):
    """A TTL I/O module: lines 0 to 25 (ports 0 to 3 hold lines 0-1, 2-9, 10-17, 18-25)."""

    family = TTL

    @_codes("i_MFB_InitTTLIODirection")
    def set_directions(self, port_0, port_1, port_2, port_3) -> None:
        """The direction of each port (Direction.INPUT or OUTPUT)."""
        self._call("i_MFB_InitTTLIODirection", int(port_0), int(port_1), int(port_2), int(port_3))

    @_codes("i_MFB_ReadTTLIOChannelValue")
    def read_channel(self, port: int, channel: int) -> int:
        """One line, by its port and its bit in the port."""
        return self._call("i_MFB_ReadTTLIOChannelValue", port, channel, OUT)

    @_codes("i_MFB_ReadTTLIOPortValue")
    def read_port(self, port: int) -> int:
        """One port's lines, a bit each."""
        return self._call("i_MFB_ReadTTLIOPortValue", port, OUT)

    @_codes("i_MFB_ReadTTLIOAllPortValue")
    def read_all(self) -> int:
        """All ports: port k in bits 8k to 8k + 7."""
        return self._call("i_MFB_ReadTTLIOAllPortValue", OUT)

    @_codes("i_MFB_SetTTLIOChannelOn")
    def channel_on(self, port: int, channel: int) -> None:
        """Switches a line on by its switch port (0 to 4) and channel."""
        self._call("i_MFB_SetTTLIOChannelOn", port, channel)

    @_codes("i_MFB_SetTTLIOChannelOff")
    def channel_off(self, port: int, channel: int) -> None:
        """Switches a line off by its switch port (0 to 4) and channel."""
        self._call("i_MFB_SetTTLIOChannelOff", port, channel)

    @_codes("i_MFB_SetTTLIOChlOn")
    def line_on(self, line: int) -> None:
        """Switches line 0 to 25 on."""
        self._call("i_MFB_SetTTLIOChlOn", line)

    @_codes("i_MFB_SetTTLIOChlOff")
    def line_off(self, line: int) -> None:
        """Switches line 0 to 25 off."""
        self._call("i_MFB_SetTTLIOChlOff", line)


class Ssi(_Module):
    """An SSI module: three encoder channels, eight digital inputs, one output."""

    family = SSI

    @_codes("i_MFB_InitSSI")
    def init(self, frame_bits: int = 25, position_bits: int = 13, turn_bits: int = 12,
             clock_base_mhz: int = 30, clock_hz: int = 500_000, gray: bool = False) -> None:
        """Sets the module up for position and turns."""
        self._call("i_MFB_InitSSI", frame_bits, position_bits, turn_bits, clock_base_mhz,
                   clock_hz, int(gray))

    @_codes("i_MFB_InitSSIRawData")
    def init_raw(self, frame_bits: int = 32, clock_base_mhz: int = 30,
                 clock_hz: int = 500_000) -> None:
        """Sets the module up for raw frames."""
        self._call("i_MFB_InitSSIRawData", frame_bits, clock_base_mhz, clock_hz)

    @_codes("i_MFB_Read1SSIValue")
    def read(self, channel: int) -> Tuple[int, int]:
        """(position, turns) of a channel, read now."""
        return self._call("i_MFB_Read1SSIValue", channel, OUT, OUT)

    @_codes("i_MFB_Read1SSIRawDataValue")
    def read_raw(self, channel: int, words: int = 1) -> Tuple[int, ...]:
        """The raw frame words of a channel."""
        data = _u32_array(2)
        self._call("i_MFB_Read1SSIRawDataValue", channel, data, words)
        return tuple(data[:words])

    @_codes("i_MFB_ReadAllSSIValue")
    def read_all(self) -> Tuple[Tuple[int, ...], Tuple[int, ...]]:
        """((positions of channels 0 to 2), (turns of channels 0 to 2))."""
        positions, turns = _u32_array(3), _u32_array(3)
        self._call("i_MFB_ReadAllSSIValue", positions, turns)
        return tuple(positions), tuple(turns)

    @_codes("i_MFB_ReadAllSSIRawDataValue")
    def read_all_raw(self, words: int) -> Tuple[int, ...]:
        """The raw words of all channels."""
        data = _u32_array(max(words, 1))
        self._call("i_MFB_ReadAllSSIRawDataValue", data, words)
        return tuple(data[:words])

    @_codes("i_MFB_ReadSSI1DigitalInput")
    def read_input(self, channel: int) -> int:
        """One digital input."""
        return self._call("i_MFB_ReadSSI1DigitalInput", channel, OUT)

    @_codes("i_MFB_ReadSSIAllDigitalInput")
    def read_inputs(self) -> int:
        """The eight digital inputs, a bit each."""
        return self._call("i_MFB_ReadSSIAllDigitalInput", OUT)

    @_codes("i_MFB_SetSSIDigitalOutputOn")
    def output_on(self) -> None:
        """Switches the digital output on."""
        self._call("i_MFB_SetSSIDigitalOutputOn")

    @_codes("i_MFB_SetSSIDigitalOutputOff")
    def output_off(self) -> None:
        """Switches the digital output off."""
        self._call("i_MFB_SetSSIDigitalOutputOff")

    @_codes("i_MFB_StartSSIAcquisition")
    def start_acquisition(self) -> None:
        """Starts acquiring the frames of all channels."""
        self._call("i_MFB_StartSSIAcquisition")

    @_codes("i_MFB_GetSSIAcquisitionStatus")
    def acquisition_status(self) -> int:
        """0 idle, 1 running, 2 the frames are in (on the simulated board)."""
        return self._call("i_MFB_GetSSIAcquisitionStatus", OUT)

    @_codes("i_MFB_GetSSIValue")
    def acquired(self, channel: int) -> Tuple[int, int]:
        """(position, turns) of a channel from the last acquisition."""
        return self._call("i_MFB_GetSSIValue", channel, OUT, OUT)

    @_codes("i_MFB_GetSSIRawDataValue")
    def acquired_raw(self, channel: int, words: int = 1) -> Tuple[int, ...]:
        """The raw words of a channel from the last acquisition."""
        data = _u32_array(2)
        self._call("i_MFB_GetSSIRawDataValue", channel, data, words)
        return tuple(data[:words])


# The PWM's timing units: (code, seconds per count, lowest count, highest count).
_PWM_UNITS = [(0, 1e-9, 150, 0xFFFFFFFF), (1, 1e-6, 1, 429_496_729), (2, 1e-3, 1, 429_496),
              (3, 1.0, 1, 429), (4, 60.0, 1, 7)]


class Pwm(_Module):
    """One of the two PWMs of a PWM module."""

    family = PWM

    def __init__(self, board: Board, module: int, pwm: int):
        super().__init__(board, module)
        self.pwm = pwm

    def _timing(self, low, high):
        for code, unit_s, lo, hi in _PWM_UNITS:
            counts = [_count(t, unit_s, "phase", lo, hi) for t in (low, high)]
            if None not in counts:
                return code, unit_s, counts
        raise ValueError(f"PWM phases {low} s and {high} s: no timing unit holds both (ns from "
                         f"150, us, ms, s or min)")

    @_codes("i_MFB_InitPWM")
    def init(self, low: float, high: float) -> Tuple[float, float]:
        """Sets the PWM up with its low and high phases in seconds; returns the phases the board
        achieved, in seconds."""
        code, unit_s, (lo, hi) = self._timing(low, high)
        real_low, real_high = self._call("i_MFB_InitPWM", self.pwm, code, lo, hi, OUT, OUT)
        return real_low * unit_s, real_high * unit_s

    @_codes("i_MFB_SetNewPWMTiming")
    def set_timing(self, low: float, high: float) -> None:
        """New low and high phases in seconds (after init)."""
        code, _, (lo, hi) = self._timing(low, high)
        self._call("i_MFB_SetNewPWMTiming", self.pwm, code, lo, hi)

    @_codes("i_MFB_EnablePWM")
    def enable(self, start_level: Level = Level.LOW, stop_mode: StopMode = StopMode.NOW,
               stop_level: Level = Level.LOW, extern_gate: bool = False,
               interrupt: bool = False) -> None:
        """Starts the PWM."""
        self._call("i_MFB_EnablePWM", self.pwm, int(start_level), int(stop_mode), int(stop_level),
                   int(extern_gate), int(interrupt))

    @_codes("i_MFB_DisablePWM")
    def disable(self) -> None:
        """Stops the PWM."""
        self._call("i_MFB_DisablePWM", self.pwm)

    @_codes("i_MFB_GetPWMInitialisation")
    def settings(self) -> Dict[str, Union[float, int, bool]]:
        """The set-up as the module reads it back: low and high in seconds, start_level,
        stop_mode, stop_level, extern_gate, interrupt, enabled."""
        unit, low, high, *rest = self._call("i_MFB_GetPWMInitialisation", self.pwm, *[OUT] * 9)
        unit_s = _PWM_UNITS[unit][1] if unit < len(_PWM_UNITS) else 0.0
        names = ("start_level", "stop_mode", "stop_level", "extern_gate", "interrupt", "enabled")
        return {"low": low * unit_s, "high": high * unit_s, **dict(zip(names, rest))}

    @_codes("i_MFB_GetPWMStatus")
    def status(self) -> Tuple[int, int]:
        """(output level, gate input level)."""
        return self._call("i_MFB_GetPWMStatus", self.pwm, OUT, OUT)

    @_codes("i_MFB_ReadPWM1DigitalInput")
    def read_input(self, channel: int) -> int:
        """One of the module's three digital inputs."""
        return self._call("i_MFB_ReadPWM1DigitalInput", channel, OUT)

    @_codes("i_MFB_ReadPWMAllDigitalInputs")
    def read_inputs(self) -> int:
        """The three digital inputs, a bit each."""
        return self._call("i_MFB_ReadPWMAllDigitalInputs", OUT)

    @_codes("i_MFB_EnableDisablePWMDigitalOutputManualSetting")
    def manual_output(self, on: bool) -> None:
        """Takes the digital output into manual setting (or gives it back to the module)."""
        self._call("i_MFB_EnableDisablePWMDigitalOutputManualSetting", int(on))

    @_codes("i_MFB_SetPWMDigitalOutputOn")
    def output_on(self) -> None:
        """Switches the output on (in manual setting)."""
        self._call("i_MFB_SetPWMDigitalOutputOn")

    @_codes("i_MFB_SetPWMDigitalOutputOff")
    def output_off(self) -> None:
        """Switches the output off (in manual setting)."""
        self._call("i_MFB_SetPWMDigitalOutputOff")


# The ETM's time-base units: (code, seconds per count, lowest, highest).
_ETM_UNITS = [(0, 1e-9, 1, 0xFFFFFFFF), (1, 1e-6, 1, 0xFFFFFFFF), (2, 1e-3, 1, 0xFFFFFFFF)]
_WAIT_ONCE = 0xFFFFFFFF  # one request, no wait


def _wait_count(wait):
    return _WAIT_ONCE if wait is None else max(1, round(wait * 1000))


class Etm(_Module):
    """One of the two ETMs (time-interval measurement) of an ETM module."""

    family = ETM

    def __init__(self, board: Board, module: int, etm: int):
        super().__init__(board, module)
        self.etm = etm

    @_codes("i_MFB_InitETM")
    def init(self, time_base: float) -> float:
        """Sets the tick in seconds (a whole number of ns, us or ms); returns the tick the board
        achieved, in seconds."""
        code, base = _in_unit(time_base, _ETM_UNITS, "time_base")
        real = self._call("i_MFB_InitETM", self.etm, code, base, OUT)
        return real * _ETM_UNITS[code][1]

    @_codes("i_MFB_EnableETM")
    def enable(self, start: Edge = Edge.RISING, mode: EtmMode = EtmMode.SINGLE) -> None:
        """Starts measuring from a rising edge (the high phase) or a falling one (the low)."""
        self._call("i_MFB_EnableETM", self.etm, int(start), int(mode), 0, 0, 0)

    @_codes("i_MFB_DisableETM")
    def disable(self) -> None:
        """Stops measuring."""
        self._call("i_MFB_DisableETM", self.etm)

    @_codes("i_MFB_GetETMInitialisation")
    def settings(self) -> Tuple[int, ...]:
        """(unit, base, settings 1 to 6) as the module reads them back."""
        return self._call("i_MFB_GetETMInitialisation", self.etm, *[OUT] * 8)

    @_codes("i_MFB_GetETMProgressStatus")
    def progress(self) -> int:
        """0 not enabled, 1 waiting for the start edge, 2 measuring."""
        return self._call("i_MFB_GetETMProgressStatus", self.etm, OUT)

    @_codes("i_MFB_ReadETMValue")
    def read(self, wait: Optional[float] = None) -> Tuple[int, int]:
        """(measurement state, value in ticks); waits up to `wait` seconds for a finished
        measurement (None: one request)."""
        return self._call("i_MFB_ReadETMValue", self.etm, _wait_count(wait), OUT, OUT)

    @_codes("i_MFB_ReadETMTotalTime")
    def read_total_time(self, wait: Optional[float] = None) -> Tuple[int, int]:
        """(measurement state, total time in ticks)."""
        return self._call("i_MFB_ReadETMTotalTime", self.etm, _wait_count(wait), OUT, OUT)

    @_codes("i_MFB_ReadETMDutyCycleValue")
    def read_duty_cycle(self, wait: Optional[float] = None) -> Tuple[int, float]:
        """(measurement state, duty cycle in percent)."""
        return self._call("i_MFB_ReadETMDutyCycleValue", self.etm, _wait_count(wait), OUT, OUT)

    @_codes("i_MFB_ConvertETMValue")
    def duration(self, ticks: int) -> Duration:
        """A tick count as hours down to nanoseconds, with the time base of ETM 0."""
        return Duration(*self._call("i_MFB_ConvertETMValue", ticks, *[OUT] * 6))


class Frequency(_Module):
    """A frequency measurement module: periods counted over a gate time."""

    family = FREQUENCY

    def __init__(self, board: Board, module: int):
        super().__init__(board, module)
        self.gate: Optional[float] = None

    @_codes("i_MFB_InitFrequencyMeasurement")
    def init(self, gate: float, clock_mhz: int = 40) -> float:
        """Sets the gate time in seconds on a 30, 33 or 40 MHz clock; returns the gate the
        board achieved, in seconds, which read() divides the count by."""
        ns = round(gate * 1e9)
        real = self._call("i_MFB_InitFrequencyMeasurement", clock_mhz, 0, ns, OUT)
        self.gate = real * 1e-9
        return self.gate

    @_codes("i_MFB_EnableFrequencyMeasurement")
    def enable(self, continuous: bool = False) -> None:
        """Opens the first gate: one gate, or gates back to back."""
        self._call("i_MFB_EnableFrequencyMeasurement", int(continuous))

    @_codes("i_MFB_ReadFrequencyMeasurement")
    def read(self) -> FrequencyReading:
        """The last gate: enabled, new (gates closed since the last read), periods, and hz
        (periods / gate, None before init() of this object)."""
        enabled, new, periods = self._call("i_MFB_ReadFrequencyMeasurement", OUT, OUT, OUT)
        hz = periods / self.gate if self.gate else None
        return FrequencyReading(bool(enabled), new, periods, hz)

    @_codes("i_MFB_DisableFrequencyMeasurement")
    def disable(self) -> None:
        """Stops measuring; the last result holds."""
        self._call("i_MFB_DisableFrequencyMeasurement")


class PulseEncoder(_Module):
    """One of the four pulse generators of a pulse encoder module."""

    family = PULSE_ENCODER

    def __init__(self, board: Board, module: int, encoder: int):
        super().__init__(board, module)
        self.encoder = encoder

    @_codes("i_MFB_InitPulseEncoder")
    def init(self, period: float, continuous: bool = False) -> None:
        """A pulse every `period` seconds (whole microseconds, or milliseconds for long ones);
        continuous: at a count of 0 it loads the start value and goes on."""
        code, count = _in_unit(period, [(0, 1e-6, 1, 0xFFFFFFFF), (1, 1e-3, 1, 0xFFFFFFFF)],
                               "period")
        self._call("i_MFB_InitPulseEncoder", self.encoder, code, int(continuous), count)

    @_codes("i_MFB_EnablePulseEncoder")
    def enable(self, at_once: bool = False, interrupt: bool = False) -> None:
        """Starts emitting (the first pulse at once, or a period later)."""
        self._call("i_MFB_EnablePulseEncoder", self.encoder, int(at_once), int(interrupt))

    @_codes("i_MFB_DisablePulseEncoder")
    def disable(self) -> None:
        """Stops emitting; the count holds."""
        self._call("i_MFB_DisablePulseEncoder", self.encoder)

    @_codes("i_MFB_ReadPulseEncoderStatus")
    def status(self) -> List[str]:
        """"running", "reached_zero" (since the last status read, which clears it)."""
        return flags("pulse-encoder.status",
                     self._call("i_MFB_ReadPulseEncoderStatus", self.encoder, OUT))

    @_codes("i_MFB_ReadPulseEncoderValue")
    def read(self) -> int:
        """The pulses still to come."""
        return self._call("i_MFB_ReadPulseEncoderValue", self.encoder, OUT)

    @_codes("i_MFB_WritePulseEncoderValue")
    def write(self, value: int) -> None:
        """Loads the pulses to come (and the start value)."""
        self._call("i_MFB_WritePulseEncoderValue", self.encoder, value)
