"""Boards and module families end to end on the simulated boards."""

import time

import pytest

import mfb
import mfb.sim


def test_boards_lists_identifiers_and_information(boards):
    found = mfb.boards()
    assert [(b.index, b.identifier, b.serial, b.firmware, b.positions) for b in found] == [
        (0, "MFB-SIM-0", 0x10000, 0x0203, 4),
        (1, "MFB-SIM-1", 0x10001, 0x0203, 4),
    ]
    assert (found[1].pci_bus, found[1].pci_device, found[1].interrupt_line) == (1, 9, 11)


@pytest.mark.parametrize("which", [1, "MFB-SIM-1"])
def test_open_by_index_or_identifier(boards, which):
    with mfb.open(which) as b:
        assert (b.index, b.module_function(0)) == (1, "pwm")


def test_no_such_board(boards):
    with pytest.raises(mfb.MfbError, match="^i_MFB_OpenBoardViaIdentifier: -4 "):
        mfb.open("MFB-SIM-7")
    with pytest.raises(mfb.MfbError, match="^i_MFB_OpenBoardViaIndex: -2 "):
        mfb.open(2)


def test_closed_board_is_refused_and_closes_once(boards):
    with mfb.open(0) as b:
        handle = b.handle
    with pytest.raises(ValueError, match="closed"):
        b.counter(0).read32()
    b.close()  # a second close does nothing
    with mfb.open(0) as again:
        assert again.handle == handle  # the slot was freed and is handed out again


def test_counter_follows_the_simulated_encoder(board):
    counter = board.counter(0)
    mfb.sim.encoder_pulse(0, 0, 1000)
    assert counter.read32() == 1000
    mfb.sim.encoder_pulse(0, 0, -1500)
    assert counter.read32() == (1000 - 1500) & 0xFFFFFFFF
    counter.write32(7)
    assert counter.read32() == 7
    mfb.sim.encoder_rate(0, 0, 100_000)
    time.sleep(0.05)
    assert counter.read32() > 7 + 1000  # 5,000 edges expected; the clock is real


def test_ttl_lines_and_board_ports(board):
    ttl = board.ttl(2)
    mfb.sim.ttl_inputs(0, 2, 0x00C30201)
    assert ttl.read_all() == 0x00C30201
    assert ttl.read_port(2) == 0xC3
    port = board.port(3)
    port.configure()
    mfb.sim.port_inputs(0, 3, 0x5A)
    assert port.read() == 0x5A


def test_names_units_and_default_positions(board):
    timer = board.timer(timer=2)  # the board's first timer module: position 1
    timer.init(mode=mfb.TimerMode.RATE, reload_value=1000)
    assert (timer.module, board.timer(1).read_all()) == (1, (0, 0, 1000))
    with mfb.open(1) as b1:
        pwm = b1.pwm()
        assert pwm.init(low=3e-6, high=7e-6) == pytest.approx((3e-6, 7e-6))
        assert pwm.init(low=250e-9, high=1e-3) == pytest.approx((300e-9, 1e-3))  # 100 ns steps
        settings = pwm.settings()
        assert settings["low"] == pytest.approx(250e-9) and settings["enabled"] == 0
        with pytest.raises(ValueError, match="no timing unit"):
            pwm.init(low=1e-10, high=1.0)


@pytest.mark.parametrize("name", ["frequency", "freq"])
def test_fitted_functions(board, name):
    mfb.sim.fit(0, 3, name)
    freq = board.frequency()
    assert (freq.module, board.module_function(3)) == (3, "frequency")
    mfb.sim.frequency_input(0, 3, 50_000)
    assert freq.init(gate=1e-3) == pytest.approx(1e-3)
    freq.enable()
    time.sleep(0.05)
    assert freq.read() == (False, 1, 50, pytest.approx(50_000))
    with pytest.raises(ValueError):
        mfb.sim.frequency_input(0, 0, 1)  # a counter at position 0


def test_failed_platform_call(boards):
    mfb.sim.fail("CreateFileA")
    with pytest.raises(mfb.MfbError) as e:
        mfb.open(0)
    assert str(e.value) == "i_MFB_OpenBoardViaIndex: -7 device could not be opened"
    with pytest.raises(ValueError):
        mfb.sim.fail("NoSuchCall")


def _firmware(tmp_path):
    payloads = [bytes([m]) * (10 + m) for m in range(4)]
    files = []
    for m, payload in enumerate(payloads):
        files.append(tmp_path / f"module{m}.bin")
        mfb.sim.write_firmware_file(files[-1], payload)
    return files, b"".join(payloads)


def test_firmware_flashed_from_files(board, tmp_path, capfd):
    files, joined = _firmware(tmp_path)
    print("before", end="")
    board.configure_all_modules(files)
    print("after")
    out = capfd.readouterr().out
    stage = "i_MFB_ConfigureAllModule -> "
    assert out.startswith(f"before{stage}start\n{stage}handle ok\n")
    assert out.endswith(f"{stage}flex reload ok\nafter\n")
    assert mfb.sim.flash_contents(0, 0, len(joined) + 1) == joined + b"\xff"


@pytest.mark.parametrize("fault, text", [
    (lambda: mfb.sim.flash_fail_writes(0, address=20), "-5 writing a flash byte failed five "
     "times (board 0): flash address 20 (module 1 byte 10)"),
    (lambda: mfb.sim.flash_stuck_bit(0, 44), "-7 a flash byte read back differs (board 0): "
     "flash address 44 (module 3 byte 11)"),
])
def test_failing_flash_rehearsed(board, tmp_path, fault, text):
    files, _ = _firmware(tmp_path)
    fault()
    stages = []
    with pytest.raises(mfb.MfbError) as e:
        board.configure_all_modules(files, stages=stages.append)
    assert str(e.value) == "i_MFB_ConfigureAllModule: " + text
    assert stages[:2] == ["i_MFB_ConfigureAllModule -> start", "i_MFB_ConfigureAllModule -> handle ok"]
    mfb.sim.flash_clear_faults(0)
    board.configure_all_modules(files, stages=None)


def test_firmware_file_that_does_not_load(board, tmp_path):
    bad = tmp_path / "short.bin"
    bad.write_bytes(b"\0" * 100)
    with pytest.raises(mfb.MfbError, match=r"^i_MFB_ConfigureAllModule: -2 "):
        board.configure_all_modules([bad] * 4, stages=None)
    assert mfb.sim.flash_contents(0, 0, 4) == b"\xff" * 4  # nothing reached the board


def test_eeprom_write_keeps_the_library_lines_out(board, capfd):
    board.eeprom_write(7, 0x1234)
    assert board.eeprom_read(7) == 0x1234
    assert capfd.readouterr().out == ""
