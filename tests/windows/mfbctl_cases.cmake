# mfbctl.exe as a user runs it, under Wine (windows/tests.cmake): on two simulated boards put
# behind MFB.dll in the tool's own process (--sim-boards 2), and without them, where Wine has no
# board. What it prints and its exit status are those of the Linux build's mfbctl.

mfbctl_case(list 0 "^board +identifier +serial .*\n0 +MFB-SIM-0 +0x10000 +0x203 +1 +8 +11 +4\n1 +MFB-SIM-1 "
            --sim-boards 2 list)
mfbctl_case(list_json 0 "MFB-SIM-1" --sim-boards 2 list --json
            JSON "plain == [{'board': b, 'identifier': 'MFB-SIM-%d' % b, 'serial': 0x10000 + b, 'firmware': 0x203, 'pci_bus': 1, 'pci_device': 8 + b, 'interrupt_line': 11, 'positions': 4} for b in (0, 1)]")
mfbctl_case(no_board 1 "^mfbctl: no boards found; Windows lists no MFB board \\(is the board in its slot and its driver installed\\?\\); to try mfbctl on simulated boards: --sim-boards 2\n$"
            list)
mfbctl_case(info 0 "identifier +MFB-SIM-1\n.*module 0 +0x00000005 \\(pwm, position 0\\)\n.*library +build 7376, August 2022 \\(0x1cd00822\\)\ndriver +3\\.1\\.2"
            --sim-boards 2 info -b 1)
# The first read comes a few milliseconds after the encoder starts, before the simulated board's
# ticker may have moved it: the count rises from there.
mfbctl_case(counter_turns 0 "count" --sim-boards 2 counter sim --rate 100000 read --rate 20 -n 3 --json
            JSON "len(objs) == 3 and objs[0]['count'] < objs[1]['count'] < objs[2]['count']")
mfbctl_case(watch_decoded 0
            " +0\\.[0-9]+  board 0 module 0  counter compare +count 5000  events 1  direction up  latch_registers 0\n.*count 10000 .*count 15000 .*\n3 interrupts\n$"
            --sim-boards 2 watch -n 3 --drive 100000 --modulo 5000)
mfbctl_case(watch_labview 0 "board 0  refnum 0x00001234  record byte 0x00  word 1 0x00000003  word 2 0x00001388  values\\[3\\] 1 1 [0-9]+\n"
            --sim-boards 2 watch --labview --drive 100000 --modulo 5000 -n 1)
mfbctl_case(wrong_module 1 "^mfbctl: i_MFB_ReadTimerValue: -5 exchange failed: board 0 module 0 is a counter, not a timer\n$"
            --sim-boards 2 timer -m 0 read)
mfbctl_case(usage 2 "--timer: 3 is out of range" --sim-boards 2 timer -t 3 read)

# A firmware flash whose write fails: the stage lines the library printed, the error position.
string(REPEAT "firmware " 400 payload_text)
set(payload ${CMAKE_CURRENT_BINARY_DIR}/firmware_payload.bin)
set(firmware ${CMAKE_CURRENT_BINARY_DIR}/firmware_made.mfw)
file(WRITE ${payload} "${payload_text}")
mfbctl_case(firmware_make 0 "firmware file of 3600 payload bytes" firmware make ${payload} ${firmware})
mfbctl_case(flash_fails 1 "mfbctl: i_MFB_ConfigureAllModule: -5 writing a flash byte failed five times: flash address 4000 \\(module 1 byte 400\\)\n$"
            --sim-boards 2 firmware flash -y -b 1 --sim-fail-write 4000 --json ${firmware} ${firmware} ${firmware} ${firmware}
            JSON "[o['stage'] for o in objs[:-1]] == ['start', 'handle ok', 'file loaded', 'file decripted', 'flash erased'] and plain[-1] == {'board': 1, 'status': -5, 'result': 'writing a flash byte failed five times', 'error_position': 4000, 'bytes': 14400}")
set_tests_properties(mfbctl.firmware_make PROPERTIES FIXTURES_SETUP firmware_file)
set_tests_properties(mfbctl.flash_fails PROPERTIES FIXTURES_REQUIRED firmware_file)
