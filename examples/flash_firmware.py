"""Flashes new firmware into board 0's four module positions and reads the flash back; then
rehearses a failed update with a flash byte that will not take a write. The files are made here
for the simulated board; on a real board they come with the modules."""
import os
import tempfile

import mfb
import mfb.sim

with tempfile.TemporaryDirectory() as folder, mfb.open(0) as board:
    payloads = [f"module {m} logic ".encode() * 8 for m in range(4)]
    files = [os.path.join(folder, f"module{m}.bin") for m in range(4)]
    for path, payload in zip(files, payloads):
        mfb.sim.write_firmware_file(path, payload)
    board.configure_all_modules(files)  # prints each stage of the library
    written = b"".join(payloads)
    ok = mfb.sim.flash_contents(0, 0, len(written)) == written
    print(f"flash holds the {len(written)} payload bytes: {ok}")

    mfb.sim.flash_fail_writes(0, address=200)
    try:
        board.configure_all_modules(files, stages=None)
    except mfb.MfbError as e:
        print(f"failed as rehearsed: {e.explanation}")
    mfb.sim.flash_clear_faults(0)
