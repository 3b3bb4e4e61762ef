"""Flashes new firmware into board 0's four module positions and reads the flash back. The files
are made here for the simulated board; on a real board they come with the modules."""
import os
import tempfile

import mfb
import mfb.sim

with tempfile.TemporaryDirectory() as folder, mfb.open(0) as board:
    payloads = [f"module {m} logic ".encode() * 8 for m in range(4)]
    files = [os.path.join(folder, f"module{m}.bin") for m in range(4)]
    for path, payload in zip(files, payloads):
        mfb.sim.write_firmware_file(path, payload)
    board.configure_all_modules(files)  # the library prints each stage
    print()
    written = b"".join(payloads)
    ok = mfb.sim.flash_contents(0, 0, len(written)) == written
    print(f"flash holds the {len(written)} payload bytes: {ok}")
