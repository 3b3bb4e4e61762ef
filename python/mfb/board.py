"""Boards and their module families: each library function as a method that returns what the
function writes and raises MfbError on a nonzero status. Numbers (settings, modes, units) are
the library's own; mfb.h says what each means."""

import collections
import ctypes
import queue
import threading

from ._library import OUT, InterruptRoutine, call

BoardInfo = collections.namedtuple(
    "BoardInfo", "index identifier serial firmware pci_bus pci_device interrupt_line positions"
)
Interrupt = collections.namedtuple("Interrupt", "board record_byte word1 word2 values")
Duration = collections.namedtuple("Duration", "hours minutes seconds ms us ns")

IDENTIFIER_SIZE = 52  # the identifier's at most 51 characters and the terminating zero

# Interrupt routines that may still be running when their board let go of them: a routine reset
# from inside itself returns after the reset. They are kept for the life of the process, since
# freeing a routine's code while a thread is in it would crash the process.
_retired_routines = []
_on_interrupt_thread = threading.local()


def on_interrupt_thread():
    """Whether this thread is running an interrupt routine of the package."""
    return getattr(_on_interrupt_thread, "active", False)


def _u32_array(n):
    return (ctypes.c_uint32 * n)()


def board_count():
    return call("i_MFB_GetNumberOfBoards", OUT)


def board_info(index):
    identifier = ctypes.create_string_buffer(IDENTIFIER_SIZE)
    # The library takes the words in the order 1, 3, 2, 4, 5.
    serial, bus, firmware, device, line, positions = call(
        "i_MFB_GetBoardInformation", index, identifier, IDENTIFIER_SIZE, OUT, OUT, OUT, OUT, OUT, OUT
    )
    return BoardInfo(
        index, identifier.value.decode("latin-1"), serial, firmware, bus, device, line, positions
    )


def boards():
    """Every board the library finds, with its identifier and information words."""
    return [board_info(i) for i in range(board_count())]


def dll_version():
    return call("i_MFB_GetDLLVersion", OUT)


class Board:
    """An open board; `with mfb.open(0) as board:` closes it at the end."""

    def __init__(self, handle):
        self.handle = handle
        self._routine = None

    @classmethod
    def open(cls, which):
        """Opens the board at an index, or the first one whose identifier is the text."""
        if isinstance(which, str):
            return cls(call("i_MFB_OpenBoardViaIdentifier", which.encode("latin-1"), OUT))
        return cls(call("i_MFB_OpenBoardViaIndex", which, OUT))

    def close(self):
        if self.handle is None:
            return
        handle, self.handle = self.handle, None
        call("i_MFB_CloseBoard", handle)  # also ends the interrupt routine
        self._let_go_of_routine()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __repr__(self):
        return f"<mfb.Board handle {self.handle}>"

    def _call(self, function, *args):
        if self.handle is None:
            raise ValueError("the board is closed")
        return call(function, self.handle, *args)

    # ---- identity ----
    def hardware_type(self):
        return self._call("i_MFB_GetBoardHardwareType", OUT)

    def module_configuration(self, module):
        return self._call("i_MFB_GetModuleConfiguration", module, OUT)

    def driver_version(self):
        return self._call("i_MFB_GetDeviceDriverVersion", OUT)

    # ---- interrupts ----
    def on_interrupt(self, routine):
        """Calls routine(Interrupt) on the library's interrupt thread for every interrupt
        record. The record is copied before the call; the routine may call
        reset_interrupt_routine() or close() of any board."""

        def trampoline(board, record_byte, word1, word2, count, values):
            record = Interrupt(board, record_byte, word1, word2, tuple(values[: min(count, 16)]))
            _on_interrupt_thread.active = True
            try:
                routine(record)
            finally:
                _on_interrupt_thread.active = False

        thunk = InterruptRoutine(trampoline)
        self._call("i_MFB_SetBoardIntRoutine", thunk)
        self._routine = thunk

    def reset_interrupt_routine(self):
        self._call("i_MFB_ResetBoardIntRoutine")
        self._let_go_of_routine()

    def _let_go_of_routine(self):
        # Reset elsewhere, the library has waited for the routine to return; reset from inside a
        # routine (of any board), it has not waited, and the board's routine may still be running.
        if self._routine is not None and on_interrupt_thread():
            _retired_routines.append(self._routine)
        self._routine = None

    def interrupts(self, timeout=1.0):
        """Installs a routine that queues the board's interrupt records and returns them as an
        iterator, which ends when none has come for `timeout` seconds (None: wait for ever) and
        then uninstalls the routine, as close() does:

            with board.interrupts(timeout=2) as records:
                for record in records: ...
        """
        return Interrupts(self, timeout)

    def set_labview_interrupt(self, refnum):
        self._call("i_MFB_SetLabViewInterrupt", ctypes.byref(ctypes.c_uint32(refnum)))

    def reset_labview_interrupt(self):
        self._call("i_MFB_ResetLabViewInterrupt")

    # ---- board digital ports, EEPROM, firmware ----
    def port(self, port):
        return Port(self, port)

    def set_output_memory(self, on):
        self._call("i_MFB_SetDigitalOutputMemory", int(on))

    def eeprom_read(self, address):
        return self._call("i_MFB_EepromAMCCRead", address, OUT)

    def eeprom_write(self, address, value):
        self._call("i_MFB_EepromAMCCWrite", address, value)

    def configure_all_modules(self, files):
        """Flashes the firmware files of module positions 0 to 3 (four paths)."""
        if len(files) != 4:
            raise ValueError("four firmware files, one per module position")
        paths = [str(f).encode() for f in files]
        self._call("i_MFB_ConfigureAllModule", *paths, OUT)

    # ---- counter functions of the whole board ----
    def counter_self_test(self):
        return self._call("i_MFB_CounterAutoTest", OUT)

    def clear_all_counters(self):
        self._call("i_MFB_ClearAllCounterValue")

    # ---- module families ----
    def counter(self, module):
        return Counter(self, module)

    def timer(self, module, timer):
        return Timer(self, module, timer)

    def ttl(self, module):
        return Ttl(self, module)

    def ssi(self, module):
        return Ssi(self, module)

    def pwm(self, module, pwm):
        return Pwm(self, module, pwm)

    def etm(self, module, etm):
        return Etm(self, module, etm)

    def frequency(self, module):
        return Frequency(self, module)

    def pulse_encoder(self, module, encoder):
        return PulseEncoder(self, module, encoder)


class Interrupts:
    """The iterator of Board.interrupts()."""

    def __init__(self, board, timeout):
        self._board, self._timeout = board, timeout
        self._records = queue.Queue()
        board.on_interrupt(self._records.put)
        self._installed = True

    def __iter__(self):
        return self

    def __next__(self):
        if not self._installed:
            raise StopIteration
        try:
            return self._records.get(timeout=self._timeout)
        except queue.Empty:
            self.close()
            raise StopIteration from None

    def close(self):
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

    def __init__(self, board, port):
        self.board, self.port = board, port

    def configure(self, first=0, second=0):
        self.board._call("i_MFB_SetPortConfiguration", self.port, first, second)

    def read(self):
        return self.board._call("i_MFB_ReadDigitalInputs", self.port, OUT)

    def outputs_on(self, mask):
        self.board._call("i_MFB_SetDigitalOutputsOn", self.port, mask)

    def outputs_off(self, mask):
        self.board._call("i_MFB_SetDigitalOutputsOff", self.port, mask)


class _Module:
    def __init__(self, board, module):
        self.board, self.module = board, module

    def _call(self, function, *args):
        return self.board._call(function, self.module, *args)


class Counter(_Module):
    def init(self, s1, s2, s3, s4, s5):
        self._call("i_MFB_InitCounter", s1, s2, s3, s4, s5)

    def clear(self):
        self._call("i_MFB_ClearCounterValue")

    def set_input_filter(self, filter1, filter2):
        self._call("i_MFB_SetInputFilter", filter1, filter2)

    def set_input_filter_efg(self, filter):
        self._call("i_MFB_SetInputFilterEFG", filter)

    def latch(self, latch_value):
        self._call("i_MFB_LatchCounter", latch_value)

    def latch_status(self, register):
        return self._call("i_MFB_ReadLatchRegisterStatus", register, OUT)

    def latch_value(self, register):
        return self._call("i_MFB_ReadLatchRegisterValue", register, OUT)

    def enable_latch_interrupt(self):
        self._call("i_MFB_EnableLatchInterrupt")

    def disable_latch_interrupt(self):
        self._call("i_MFB_DisableLatchInterrupt")

    def read16(self, counter):
        return self._call("i_MFB_Read16BitCounterValue", counter, OUT)

    def read32(self):
        return self._call("i_MFB_Read32BitCounterValue", OUT)

    def write16(self, counter, value):
        self._call("i_MFB_Write16BitCounterValue", counter, value)

    def write32(self, value):
        self._call("i_MFB_Write32BitCounterValue", value)

    def init_index(self, s1, s2, s3, interrupt):
        self._call("i_MFB_InitIndex", s1, s2, s3, interrupt)

    def enable_index(self):
        self._call("i_MFB_EnableIndex")

    def disable_index(self):
        self._call("i_MFB_DisableIndex")

    def index_status(self):
        return self._call("i_MFB_GetIndexStatus", OUT)

    def set_index_and_reference_source(self, source):
        self._call("i_MFB_SetIndexAndReferenceSource", source)

    def init_reference(self, level):
        self._call("i_MFB_InitReference", level)

    def reference_status(self):
        return self._call("i_MFB_GetReferenceStatus", OUT)

    def uas_status(self):
        return self._call("i_MFB_GetUASStatus", OUT)

    def cb_status(self):
        return self._call("i_MFB_GetCBStatus", OUT)

    def cb_status16(self):
        return self._call("i_MFB_Get16BitCBStatus", OUT, OUT)

    def ud_status(self):
        return self._call("i_MFB_GetUDStatus", OUT)

    def interrupt_ud_latched_status(self):
        return self._call("i_MFB_GetInterruptUDLatchedStatus", OUT)

    def init_external_strobe(self, strobe, level):
        self._call("i_MFB_InitExternalStrobe", strobe, level)

    def init_compare(self, value):
        self._call("i_MFB_InitCompareLogic", value)

    def enable_compare(self):
        self._call("i_MFB_EnableCompareLogic")

    def disable_compare(self):
        self._call("i_MFB_DisableCompareLogic")

    def init_modulo_compare(self, modulo, option):
        self._call("i_MFB_InitModuloCompareLogic", modulo, option)

    def modulo_compare_correction(self, correction1, correction2):
        self._call("i_MFB_ModuloCompareCorrection", correction1, correction2)

    def compare_latch(self):
        return self._call("i_MFB_ReadCompareLatchRegister", OUT)

    def digital_channel_on(self):
        self._call("i_MFB_SetDigitalChlOn")

    def digital_channel_off(self):
        self._call("i_MFB_SetDigitalChlOff")

    def use_digital_channel(self, use):
        self._call("i_MFB_ConfigDigitalChlUse", use)


class Timer(_Module):
    def __init__(self, board, module, timer):
        super().__init__(board, module)
        self.timer = timer

    def init(self, mode, reload, clock=0, clock_level=0, output_level=0, gate_level=0):
        self._call(
            "i_MFB_InitTimer", self.timer, mode, reload, clock, clock_level, output_level, gate_level
        )

    def enable(self, interrupt=False):
        self._call("i_MFB_EnableTimer", self.timer, int(interrupt))

    def disable(self):
        self._call("i_MFB_DisableTimer", self.timer)

    def read(self):
        return self._call("i_MFB_ReadTimerValue", self.timer, OUT)

    def read_all(self):
        """The values of the module's timers 0, 1 and 2."""
        values = _u32_array(3)
        self._call("i_MFB_ReadAllTimerValue", values)
        return tuple(values)

    def write(self, value):
        self._call("i_MFB_WriteTimerValue", self.timer, value)

    def output_level(self):
        return self._call("i_MFB_GetTimerOutputLevel", self.timer, OUT)

    def progress(self):
        return self._call("i_MFB_GetTimerProgressStatus", self.timer, OUT)

    def progress_ex(self):
        return self._call("i_MFB_GetTimerProgressStatusEx", self.timer, OUT)


class Ttl(_Module):
    def set_directions(self, d1, d2, d3, d4):
        self._call("i_MFB_InitTTLIODirection", d1, d2, d3, d4)

    def read_channel(self, port, channel):
        return self._call("i_MFB_ReadTTLIOChannelValue", port, channel, OUT)

    def read_port(self, port):
        return self._call("i_MFB_ReadTTLIOPortValue", port, OUT)

    def read_all(self):
        return self._call("i_MFB_ReadTTLIOAllPortValue", OUT)

    def channel_on(self, port, channel):
        self._call("i_MFB_SetTTLIOChannelOn", port, channel)

    def channel_off(self, port, channel):
        self._call("i_MFB_SetTTLIOChannelOff", port, channel)

    def line_on(self, line):
        self._call("i_MFB_SetTTLIOChlOn", line)

    def line_off(self, line):
        self._call("i_MFB_SetTTLIOChlOff", line)


class Ssi(_Module):
    def init(self, frame_bits, position_bits, turn_bits, clock_base, clock_hz, option=0):
        self._call(
            "i_MFB_InitSSI", frame_bits, position_bits, turn_bits, clock_base, clock_hz, option
        )

    def init_raw(self, frame_bits, clock_base, clock_hz):
        self._call("i_MFB_InitSSIRawData", frame_bits, clock_base, clock_hz)

    def read(self, channel):
        """(position, turns) of a channel, read now."""
        return self._call("i_MFB_Read1SSIValue", channel, OUT, OUT)

    def read_raw(self, channel, words=1):
        data = _u32_array(2)
        self._call("i_MFB_Read1SSIRawDataValue", channel, data, words)
        return tuple(data[:words])

    def read_all(self):
        """((positions of channels 0 to 2), (turns of channels 0 to 2))."""
        positions, turns = _u32_array(3), _u32_array(3)
        self._call("i_MFB_ReadAllSSIValue", positions, turns)
        return tuple(positions), tuple(turns)

    def read_all_raw(self, words):
        data = _u32_array(max(words, 1))
        self._call("i_MFB_ReadAllSSIRawDataValue", data, words)
        return tuple(data[:words])

    def read_input(self, channel):
        return self._call("i_MFB_ReadSSI1DigitalInput", channel, OUT)

    def read_inputs(self):
        return self._call("i_MFB_ReadSSIAllDigitalInput", OUT)

    def output_on(self):
        self._call("i_MFB_SetSSIDigitalOutputOn")

    def output_off(self):
        self._call("i_MFB_SetSSIDigitalOutputOff")

    def start_acquisition(self):
        self._call("i_MFB_StartSSIAcquisition")

    def acquisition_status(self):
        return self._call("i_MFB_GetSSIAcquisitionStatus", OUT)

    def acquired(self, channel):
        return self._call("i_MFB_GetSSIValue", channel, OUT, OUT)

    def acquired_raw(self, channel, words=1):
        data = _u32_array(2)
        self._call("i_MFB_GetSSIRawDataValue", channel, data, words)
        return tuple(data[:words])


class Pwm(_Module):
    def __init__(self, board, module, pwm):
        super().__init__(board, module)
        self.pwm = pwm

    def init(self, unit, low, high):
        """Sets the PWM up; returns the (low, high) timings the board achieved."""
        return self._call("i_MFB_InitPWM", self.pwm, unit, low, high, OUT, OUT)

    def set_timing(self, unit, low, high):
        self._call("i_MFB_SetNewPWMTiming", self.pwm, unit, low, high)

    def enable(self, start_level=0, stop_mode=0, stop_level=0, extern_gate=0, interrupt=0):
        self._call(
            "i_MFB_EnablePWM", self.pwm, start_level, stop_mode, stop_level, extern_gate, interrupt
        )

    def disable(self):
        self._call("i_MFB_DisablePWM", self.pwm)

    def settings(self):
        """(unit, low, high, start level, stop mode, stop level, extern gate, interrupt,
        enabled)."""
        return self._call("i_MFB_GetPWMInitialisation", self.pwm, *[OUT] * 9)

    def status(self):
        """(output status, extern gate status)."""
        return self._call("i_MFB_GetPWMStatus", self.pwm, OUT, OUT)

    def read_input(self, channel):
        return self._call("i_MFB_ReadPWM1DigitalInput", channel, OUT)

    def read_inputs(self):
        return self._call("i_MFB_ReadPWMAllDigitalInputs", OUT)

    def manual_output(self, on):
        self._call("i_MFB_EnableDisablePWMDigitalOutputManualSetting", int(on))

    def output_on(self):
        self._call("i_MFB_SetPWMDigitalOutputOn")

    def output_off(self):
        self._call("i_MFB_SetPWMDigitalOutputOff")


class Etm(_Module):
    def __init__(self, board, module, etm):
        super().__init__(board, module)
        self.etm = etm

    def init(self, unit, base):
        """Sets the time base up; returns the base the board achieved."""
        return self._call("i_MFB_InitETM", self.etm, unit, base, OUT)

    def enable(self, s1, s2, s3, s4, s5):
        self._call("i_MFB_EnableETM", self.etm, s1, s2, s3, s4, s5)

    def disable(self):
        self._call("i_MFB_DisableETM", self.etm)

    def settings(self):
        """(unit, base, settings 1 to 6)."""
        return self._call("i_MFB_GetETMInitialisation", self.etm, *[OUT] * 8)

    def progress(self):
        return self._call("i_MFB_GetETMProgressStatus", self.etm, OUT)

    def read(self, wait=0):
        """(measurement state, value in ticks)."""
        return self._call("i_MFB_ReadETMValue", self.etm, wait, OUT, OUT)

    def read_total_time(self, wait=0):
        return self._call("i_MFB_ReadETMTotalTime", self.etm, wait, OUT, OUT)

    def read_duty_cycle(self, wait=0):
        """(measurement state, duty cycle in percent)."""
        return self._call("i_MFB_ReadETMDutyCycleValue", self.etm, wait, OUT, OUT)

    def duration(self, ticks):
        return Duration(*self._call("i_MFB_ConvertETMValue", ticks, *[OUT] * 6))


class Frequency(_Module):
    def init(self, clock_mhz, unit, gate):
        """Sets the gate up; returns the gate time the ticks give."""
        return self._call("i_MFB_InitFrequencyMeasurement", clock_mhz, unit, gate, OUT)

    def enable(self, setting):
        self._call("i_MFB_EnableFrequencyMeasurement", setting)

    def read(self):
        """(result 1, result 2, measured value)."""
        return self._call("i_MFB_ReadFrequencyMeasurement", OUT, OUT, OUT)

    def disable(self):
        self._call("i_MFB_DisableFrequencyMeasurement")


class PulseEncoder(_Module):
    def __init__(self, board, module, encoder):
        super().__init__(board, module)
        self.encoder = encoder

    def init(self, s1, s2, value):
        self._call("i_MFB_InitPulseEncoder", self.encoder, s1, s2, value)

    def enable(self, setting, interrupt=0):
        self._call("i_MFB_EnablePulseEncoder", self.encoder, setting, interrupt)

    def disable(self):
        self._call("i_MFB_DisablePulseEncoder", self.encoder)

    def status(self):
        return self._call("i_MFB_ReadPulseEncoderStatus", self.encoder, OUT)

    def read(self):
        return self._call("i_MFB_ReadPulseEncoderValue", self.encoder, OUT)

    def write(self, value):
        self._call("i_MFB_WritePulseEncoderValue", self.encoder, value)
