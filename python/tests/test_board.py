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
    assert (found[1].pci_bus, found[1].pci_device) == (1, 9)


@pytest.mark.parametrize("which", [1, "MFB-SIM-1"])
def test_open_by_index_or_identifier(boards, which):
    with mfb.open(which) as b:
        assert b.module_configuration(0) & 0xFF == 5  # board 1 carries a PWM at position 0


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


def test_arrays_and_several_results(board):
    timer = board.timer(1, 2)
    timer.init(mode=2, reload=1000)
    assert board.timer(1, 0).read_all() == (0, 0, 1000)
    with mfb.open(1) as b1:
        low, high = b1.pwm(0, 0).init(0, 1000, 3000)
        assert (low, high) == (1000, 3000)
        settings = b1.pwm(0, 0).settings()
        assert settings[:3] == (0, 1000, 3000) and len(settings) == 9


def test_fitted_functions(board):
    mfb.sim.fit(0, 3, "frequency")
    freq = board.frequency(3)
    assert board.module_configuration(3) & 0xFF == 7
    mfb.sim.frequency_input(0, 3, 50_000)
    real_gate = freq.init(40, 2, 1)  # 1 ms gate on the 40 MHz clock
    assert real_gate == 1
    with pytest.raises(ValueError):
        mfb.sim.frequency_input(0, 0, 1)  # a counter at position 0


def test_failed_platform_call(boards):
    mfb.sim.fail("CreateFileA")
    with pytest.raises(mfb.MfbError) as e:
        mfb.open(0)
    assert str(e.value) == "i_MFB_OpenBoardViaIndex: -7 device could not be opened"
    with pytest.raises(ValueError):
        mfb.sim.fail("NoSuchCall")


def test_firmware_flashed_from_files(board, tmp_path, capfd):
    payloads = [bytes([m]) * (10 + m) for m in range(4)]
    files = []
    for m, payload in enumerate(payloads):
        files.append(tmp_path / f"module{m}.bin")
        mfb.sim.write_firmware_file(files[-1], payload)
    board.configure_all_modules(files)
    joined = b"".join(payloads)
    assert mfb.sim.flash_contents(0, 0, len(joined) + 1) == joined + b"\xff"
    capfd.readouterr()  # the library prints its stages


def test_firmware_file_that_does_not_load(board, tmp_path, capfd):
    bad = tmp_path / "short.bin"
    bad.write_bytes(b"\0" * 100)
    with pytest.raises(mfb.MfbError, match=r"^i_MFB_ConfigureAllModule: -2 "):
        board.configure_all_modules([bad] * 4)
    assert mfb.sim.flash_contents(0, 0, 4) == b"\xff" * 4  # nothing reached the board
    capfd.readouterr()
