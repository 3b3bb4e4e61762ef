# mfbctl's cases, included by tests/CMakeLists.txt where the build runs them (MFB_TOOL_CASES): each
# runs mfbctl with its arguments on the two simulated boards (cmake/mfbctl_case.cmake).
include(${PROJECT_SOURCE_DIR}/cmake/mfbctl_case.cmake)

# Usage errors: every kind of value against its range, with its own bound and words, before
# anything reaches a board (the counter set-up that comes first on its line never runs).
string(REPEAT "firmware " 400 firmware_payload) # 3600 bytes; byte 7 is odd
set(payload ${CMAKE_CURRENT_BINARY_DIR}/firmware_payload.bin)
set(firmware ${CMAKE_CURRENT_BINARY_DIR}/firmware_made.mfw)
mfbctl_table(range 2 REJECT "set up" ROWS
  "timer -t 3 read" "--timer: 3 is out of range for the timer number \\(0 to 2\\)"
  "counter read --half 2" "--half: 2 is out of range for the 16-bit counter number \\(0 or 1\\)"
  "counter setup --range 16 write --half 1 70000"
      "VALUE: 70000 is out of range for the 16-bit counter value \\(0 to 65535\\)"
  "--sim-boards 40 list"
      "--sim-boards: 40 is out of range for the number of simulated boards \\(0 to 30\\)"
  "info -b 30" "--board: 30 is out of range for the board index \\(0 to 29\\)"
  "watch --for=-1" "--for: '-1' is negative: times are 0 or more"
  "ttl set 26=1" "LINE=VALUE: 26 is out of range for the TTL line \\(0 to 25\\)"
  "ssi init --clock-base 33 --clock 251"
      "--clock: 251 is out of range for the SSI clock in Hz with clock base 33 MHz \\(252 to 5000000\\)"
  "pwm -b 1 init --low 100ns --high 1us"
      "--low: 100ns is out of range for a PWM phase in ns \\(150 to 4294967295 ns\\)"
  "dio --port 4 read" "--port: 4 is out of range for the port number \\(0 to 3\\)"
  "eeprom write 0 0x100000000"
      "VALUE: 4294967296 is out of range for the EEPROM word \\(0 to 4294967295\\)"
  "etm init --base 0" "--base: 0 is out of range for the time base in ms \\(1 to 4294967295\\)"
  "freq init --gate 7ms"
      "--gate: 7ms is out of range for the gate time with a 40 MHz clock \\(200ns to 6553\\.5us\\)"
  "pulse-encoder init --period 1500ns" "--period: 1.5us is not a whole number of microseconds"
  "firmware flash -y --sim-stuck-low 524288 ${firmware} ${firmware} ${firmware} ${firmware}"
      "--sim-stuck-low: 524288 is out of range for the flash address \\(0 to 524287\\)")
mfbctl_case(choice 2 "--mode: 'fast' is not a timer mode \\(single, gated-single, rate, square, strobe, gated-strobe\\)"
            timer init --mode fast --reload 5)
mfbctl_case(unknown_command 2 "^mfbctl: unknown command 'bogus'; run 'mfbctl help' for the commands" bogus)
mfbctl_case(nearest_command 2 "unknown command 'lsit' \\(did you mean 'list'\\?\\)" lsit)
mfbctl_case(unknown_step 2 "unknown timer command 'frobnicate'" timer frobnicate)
mfbctl_case(missing_step 2 "timer needs a command: init, enable, disable, read" timer)
mfbctl_case(needs_session 2 "use it in `mfbctl shell`" set-module -b 1 -m 3 ssi)
mfbctl_case(bench_needs_reader 2 "counter sim moves the simulated inputs, which last for this run only"
            counter sim --rate 1000)

# Versions and help.
mfbctl_case(version 0 "^mfbctl 1\\.0\nlibrary build 7376, August 2022 \\(version word 0x1cd00822\\)" -V)
mfbctl_case(help_sections 0 "Boards:.*Modules:.*counter.*timer.*ttl.*ssi.*pwm.*Interrupts:.*Simulation:.*Session:" help)
mfbctl_case(help_command 0 "--reload 0-4294967295" help timer init)

# Failures: the function, the code, its meaning, and the board's set-up where that is the cause.
mfbctl_case(failure_wrong_module 1
            "mfbctl: i_MFB_ReadTimerValue: -5 exchange failed: board 0 module 0 is a counter, not a timer"
            timer -m 0 read)
mfbctl_case(failure_needs_routine 1 "i_MFB_EnableCompareLogic: -15 no interrupt routine installed"
            counter compare enable)
mfbctl_case(failure_driver_refusal 1
            "i_MFB_SetNewPWMTiming: -101 the board driver refused \\(driver status 1\\): the simulated PWM is not set up"
            pwm -b 1 timing --low 1 --high 1)
mfbctl_case(failure_no_board 1 "no board at index 5: 2 boards found" info -b 5)
mfbctl_case(list_no_board 1 "^mfbctl: no boards found; the virtual bus has no simulated boards: --sim-boards 2 attaches two\n$"
            --sim-boards 0 list --json)
mfbctl_case(failure_no_module 1 "board 0 has no pwm module \\(modules 0 counter, 1 timer, 2 ttl, 3 ssi\\); board 1 has one at module 0 \\(-b 1\\)"
            pwm status)

# What reads print: text, JSON objects, bare values; decoded interrupt records.
mfbctl_case(list 0 "^board +identifier +serial +firmware +PCI bus +device +interrupt line +positions\n0 +MFB-SIM-0 +0x10000 +0x203 +1 +8 +11 +4\n1 +MFB-SIM-1 " list)
mfbctl_case(list_json 0 "MFB-SIM-1" list --json
            JSON "len(objs) == 2 and plain[1] == {'board': 1, 'identifier': 'MFB-SIM-1', 'serial': 0x10001, 'firmware': 0x203, 'pci_bus': 1, 'pci_device': 9, 'interrupt_line': 11, 'positions': 4}")
mfbctl_case(value_only 0 "^1234\n$" counter sim --pulse 1234 read -q)
mfbctl_case(counter_chain 0 "board 0 module 0: two 16-bit counters set up.*board 0 module 0 counter 1: 70 "
            counter setup --range 16 sim -i 1 --pulse 70 read --half 1)
mfbctl_case(timer_json 0 "\"timer\":1" timer -t 1 run --mode rate --reload 1000 --for 5ms --json
            JSON "len(objs) == 1 and objs[0]['module'] == 1 and objs[0]['counting'] is True and objs[0]['count'] <= 1000")
mfbctl_case(ttl_lines 0 "line 0: set 1\n.*line 3: set 1\nmfbctl: note: line 3 reads 0: port 1 is an input.*line 0: 1\n.*line 3: 0"
            ttl direction out in in in set 0=1 3=1 get 0 3)
mfbctl_case(watch_decoded 0
            " +0\\.[0-9]+  board 0 module 0  counter compare +count 5000  events 1  direction up  latch_registers 0\n.*count 10000 .*2 interrupts"
            watch --drive 100000 --modulo 5000 -n 2)
mfbctl_case(watch_json 0 "compare" watch --drive 100000 --modulo 5000 -n 1 --json
            JSON "len(objs) == 1 and objs[0]['source'] == 'compare' and objs[0]['count'] == 5000 and objs[0]['direction'] == 'up' and objs[0]['board'] == 0 and objs[0]['t'] > 0")

# Sessions: set-ups carry from line to line; a failing line is named and the session goes on.
mfbctl_case(session 2
            "board 1 module 3: ssi.*mfbctl: line 3: i_MFB_ReadTimerValue: -5 exchange failed: board 1 module 3 is an SSI module, not a timer\n.*board 1 module 3 channel 0: position.*mfbctl: line 7: unknown command 'bogus'"
            shell INPUT "set-module -b 1 -m 3 ssi|modules -b 1|timer -b 1 -m 3 read|ssi -b 1 init read -c 0|# comment||bogus")
mfbctl_case(session_interrupts 0 "watching board 0.*counter compare +count [0-9]+ .*stopped watching board 0"
            shell INPUT "watch-start|counter sim --rate 100000|counter compare modulo 5000 enable|sleep 300|watch-stop")
mfbctl_case(session_stops 2 "line 1: unknown command 'bogus'" shell -e INPUT "bogus|list" REJECT "MFB-SIM")

# The board's identity, its own ports and EEPROM.
mfbctl_case(info_identity 0
            "hardware type +0x03\nmodule 0 +0x00000001 \\(counter, position 0\\)\nmodule 1 +0x00000102 \\(timer, position 1\\)\n.*library +build 7376, August 2022 \\(0x1cd00822\\)\ndriver +3\\.1\\.2 \\(0x00030102\\)"
            info)
mfbctl_case(info_json 0 "pwm" info -b 1 --json
            JSON "objs[0]['hardware_type'] == 3 and objs[0]['modules'] == ['pwm', 'counter', 'timer', 'ttl'] and objs[0]['module_words'][3] == 0x303 and objs[0]['driver_version'] == '3.1.2'")
mfbctl_case(dio_loopback 0 "board 0 port 1: configured\n.*port 1: outputs 0x0f on\nboard 0 port 1 inputs: 0x0f \\(lines 0-7: 1 1 1 1 0 0 0 0\\)"
            dio --port 1 configure sim --loopback on on 0x0f read)
mfbctl_case(dio_memory 0 "^10\n$" dio configure memory on on 0x0f off 0x05 sim --loopback on read -q)
mfbctl_case(dio_control_lines_json 0 "inputs" dio configure --enable-line --strobe-line sim --drive 0xff read --json
            JSON "plain == [{'board': 0, 'port': 0, 'inputs': 0x9f}]")
mfbctl_case(failure_dio_unconfigured 1 "i_MFB_ReadDigitalInputs: -3 port not configured" dio read)
mfbctl_case(failure_dio_no_memory 1 "i_MFB_SetDigitalOutputsOff: -4 output memory off" dio configure off 1)
mfbctl_case(eeprom_write 0 "^board 0 EEPROM word 5: 0x00001234 written and read back\n$"
            eeprom write 5 0x1234)
mfbctl_case(eeprom_session 0 "^3735928559\n3735928559\n$" shell INPUT "eeprom write -b 1 7 0xdeadbeef --json -q|eeprom -b 1 read 7 -q" REJECT "dw_")
mfbctl_case(eeprom_json 0 "value" eeprom read 3 write 4 0x1234 --json
            JSON "plain == [{'board': 0, 'address': 3, 'value': 0xFFFFFFFF}, {'board': 0, 'address': 4, 'value': 0x1234}]")
mfbctl_case(failure_eeprom_address 1
            "i_MFB_EepromAMCCRead: 100 the board driver refused: the simulated board's EEPROM has words 0 to 255"
            eeprom read 256)

# ETM, frequency measurement and pulse encoder, fitted into board 1's last position.
mfbctl_case(etm_read 0
            "ETM 0: time base 100ns \\(asked 100ns\\).*ETM 0: finished.*\n  value +30 ticks +\\(0 h 0 min 0 s 0 ms 3 µs 0 ns\\)\n  total time +100 ticks +\\(0 h 0 min 0 s 0 ms 10 µs 0 ns\\)\n  duty cycle +30\\.00 %"
            shell INPUT "set-module -b 1 -m 3 etm|etm -b 1 init --base 100ns sim --period 10us --high 3us enable --mode continuous read")
mfbctl_case(etm_own_time_base 0 "ETM 1: finished.*\n  value +30 ticks +\\(0 h 0 min 0 s 0 ms 3 µs 0 ns\\)"
            shell INPUT "set-module -b 1 -m 3 etm|etm -b 1 init --base 1us|etm -b 1 --etm 1 init --base 100ns sim --period 10us --high 3us enable read")
mfbctl_case(etm_json 0 "duty_cycle"
            shell INPUT "set-module -b 1 -m 3 etm -q|etm -b 1 init --base 100ns sim --period 10us --high 3us enable --start falling read --json"
            JSON "objs[-1]['state'] == 2 and objs[-1]['value'] == 70 and objs[-1]['total'] == 100 and objs[-1]['duty_cycle'] == 70 and objs[-1]['value_ns'] == 7000")
mfbctl_case(failure_etm_not_set_up 1
            "line 2: i_MFB_EnableETM: 1 the board driver refused \\(driver status 1\\): the simulated ETM is not set up: run init first"
            shell INPUT "set-module -b 1 -m 3 etm|etm -b 1 enable")
mfbctl_case(freq_read 0 "gate 1ms \\(asked 1ms\\), 40 MHz clock.*: 25 periods in the gate: 25000 Hz over 1ms"
            shell INPUT "set-module -b 1 -m 3 frequency|freq -b 1 init --gate 1ms sim --hz 25000 enable read")
mfbctl_case(freq_json 0 "hz"
            shell INPUT "set-module -b 1 -m 3 frequency -q|freq -b 1 init --clock 30 --gate 2ms sim --hz 10000 enable --continuous read --json"
            JSON "objs[-1]['periods'] == 20 and objs[-1]['hz'] == 10000 and objs[-1]['enabled'] is True")
mfbctl_case(failure_freq_state 1
            "i_MFB_EnableFrequencyMeasurement: -3 the board driver refused \\(driver status -2\\): the request does not fit the simulated module's state"
            shell INPUT "set-module -b 1 -m 3 frequency|freq -b 1 enable")
mfbctl_case(pulse_encoder_run 0
            "encoder 2: a pulse every 100us, single run.*encoder 2: 0 pulses to come, stopped, the count reached 0.*encoder 2: 50 pulses at the simulated output"
            shell INPUT "set-module -b 1 -m 3 pulse-encoder|pulse-encoder -b 1 --encoder 2 init --period 100us write 50 enable --at-once sleep 50 read sim")
mfbctl_case(pulse_encoder_json 0 "running"
            shell INPUT "set-module -b 1 -m 3 pulse-encoder -q|pulse-encoder -b 1 init --period 1s write 10 enable read --json"
            JSON "objs[-1]['count'] == 10 and objs[-1]['running'] is True and objs[-1]['reached_zero'] is False")
mfbctl_case(failure_pulse_not_set_up 1
            "i_MFB_EnablePulseEncoder: -3 the board driver refused \\(driver status 3\\): the simulated encoder is not set up"
            shell INPUT "set-module -b 1 -m 3 pulse-encoder|pulse-encoder -b 1 enable")

# Firmware: a file made from a raw payload, what the loader reads from it, and flashing it.
file(WRITE ${payload} "${firmware_payload}")
mfbctl_case(firmware_make 0 "firmware_made.mfw: firmware file of 3600 payload bytes" firmware make ${payload} ${firmware})
set_tests_properties(mfbctl.firmware_make PROPERTIES FIXTURES_SETUP firmware_file)
mfbctl_case(firmware_inspect 1
            "firmware_made.mfw: 6552 bytes, sections 0 \\+ 0 \\+ 0 bytes, payload 3600 bytes at 2952 \\(3600 there\\): accepted\n.*firmware_payload.bin: 3600 bytes, .*: not accepted: the sections end past the end of the file\nmfbctl: 1 of 2 files would not be accepted"
            firmware inspect ${firmware} ${payload})
mfbctl_case(firmware_flash 0
            "-> flash erased\n.*programming +\\[#+\\] 14400/14400 bytes +([0-9]+ bytes/s +)?done.*-> flash programmed\n.*reading back +\\[#+\\] 14400/14400 bytes.*-> flex reload ok\nboard 0: the firmware of the four modules is replaced \\(14400 bytes\\)"
            firmware flash -y --progress ${firmware} ${firmware} ${firmware} ${firmware}
            REJECT "programming [^\n]*[0-9][0-9][0-9][0-9][0-9][0-9] bytes/s") # 14 us a byte
mfbctl_case(failure_firmware_write 1
            "i_MFB_ConfigureAllModule: -5 writing a flash byte failed five times: flash address 4000 \\(module 1 byte 400\\)"
            firmware flash -y -b 1 --sim-fail-write 4000 ${firmware} ${firmware} ${firmware} ${firmware})
mfbctl_case(firmware_flash_json 0 "stage" firmware flash -y --json ${firmware} ${firmware} ${firmware} ${firmware}
            JSON "plain[-1] == {'board': 0, 'status': 0, 'result': 'done', 'bytes': 14400} and [o['stage'] for o in objs[:-1]] == ['start', 'handle ok', 'file loaded', 'file decripted', 'flash erased', 'flash programmed', 'flash read', 'read value ok', 'flex reloaded', 'flex reload ok']")
mfbctl_case(failure_firmware_differs 1
            "-> flash read\nmfbctl: i_MFB_ConfigureAllModule: -7 a flash byte read back differs: flash address 7 \\(module 0 byte 7\\)"
            firmware flash -y --sim-stuck-low 7 ${firmware} ${firmware} ${firmware} ${firmware})
mfbctl_case(failure_firmware_file 1 "i_MFB_ConfigureAllModule: -2 firmware files not loaded: .*firmware_payload.bin: "
            firmware flash -y ${firmware} ${payload} ${firmware} ${firmware})
set_tests_properties(mfbctl.firmware_inspect mfbctl.firmware_flash mfbctl.failure_firmware_write
                     mfbctl.firmware_flash_json mfbctl.failure_firmware_differs mfbctl.failure_firmware_file
                     PROPERTIES FIXTURES_REQUIRED firmware_file)

# Interrupts as a LabVIEW program receives them through the library's bridge.
mfbctl_case(watch_labview 0
            "watching board 0 for LabVIEW, user event refnum 0x00001234.*board 0  refnum 0x00001234  record byte 0x00  word 1 0x00000003  word 2 0x00001388  values\\[3\\] 1 1 [0-9]+\n.*word 2 0x00002710 .*2 interrupts"
            watch --labview --drive 100000 --modulo 5000 -n 2)
mfbctl_case(watch_labview_json 0 "refnum" watch --labview --refnum 77 --drive 100000 --modulo 5000 -n 1 --json
            JSON "len(objs) == 1 and objs[0]['refnum'] == 77 and objs[0]['word1'] == 3 and objs[0]['word2'] == 5000 and objs[0]['count'] == 3 and len(objs[0]['values']) == 3")

# Sampling at a rate: one record per sample, each with its due time `t`; CSV under a header. The
# rates leave each read 100 ms, so that a loaded machine misses no sample (the sampler's own test
# checks the timing on the bus's clock).
mfbctl_case(sample_json 0 "count" counter sim --rate 100000 read --rate 10 -n 5 --json
            JSON "len(objs) == 5 and all(b['t'] - a['t'] >= 0.099 for a, b in zip(objs, objs[1:])) and objs[-1]['count'] > objs[0]['count']")
mfbctl_case(sample_csv 0 "^t,board,module,lines_0,lines_1,values_0,values_1\n[0-9.]+,0,2,0,3,1,0\n[0-9.]+,0,2,0,3,1,0\n[0-9.]+,0,2,0,3,1,0\n$"
            ttl sim 0=1 get 0 3 --csv --rate 10Hz -n 3)
mfbctl_case(sample_for 0 "^0 0 0\n0 0 0\n0 0 0\n0 0 0\n0 0 0\n$" timer read --all --for 500ms --interval 100ms -q)
mfbctl_case(sample_count 0 "^0\n0\n0\n$" timer read -n 3 -q)
mfbctl_case(sample_missed 0 "warning: a read ran past the time of sample [0-9]+ at 1e\\+06 Hz: [0-9]+ samples? missed.*warning: [0-9]+ of [0-9]+ sample times missed"
            counter read --rate 1MHz -n 20 -q)
mfbctl_case(sample_rate_twice 2 "--rate and --interval both set the sampling rate" dio read --rate 10 --interval 1ms)
mfbctl_case(sample_eeprom 0 "^4294967295\n4294967295\n$" eeprom read 9 -n 2 --rate 10Hz -q)

# Hints that work when followed, and names as the family commands give them.
mfbctl_case(hint_reads 2 "as in `ttl sim ... get`" ttl sim 0=1)
mfbctl_case(hint_followed 0 "line 0: 1" ttl sim 0=1 get 0)
mfbctl_case(family_name 0 "board 1 module 3: frequency" shell INPUT "set-module -b 1 -m 3 freq|modules -b 1")

# Words the parser would not take, in the tool's words.
mfbctl_case(unknown_option 2 "^mfbctl: counter read: unknown option '--hlaf' \\(did you mean '--half'\\?\\)\n$" counter read --hlaf 1)
mfbctl_case(no_value 2 "list takes no value: '3' is not understood" list 3)
mfbctl_case(step_twice 2 "timer: the step init comes twice; a command runs each step at most once" timer init --reload 5 init --reload 6)
mfbctl_case(too_few_files 2 "FILE: 4 values are needed, fewer were given \\(the firmware files of modules 0, 1, 2 and 3\\)" firmware flash -y a b c)
mfbctl_case(global_after 0 "\n2 +MFB-SIM-2" list --sim-boards 3)
mfbctl_case(unknown_help_step 2 "unknown dio command 'write'" dio write --help)

# Errors that say what to do, and options without effect.
mfbctl_case(hint_dio 1 "-3 port not configured: configure the port first, in the same command" dio read)
mfbctl_case(hint_compare 1 "-15 no interrupt routine installed: compare events raise interrupts, which need a routine: `watch --drive RATE`" counter compare enable)
mfbctl_case(modulo_alone 2 "--modulo: takes effect only with --drive" watch --modulo 5 -n 1)
mfbctl_case(interrupt_single_run 2 "timer run --interrupt: its interrupts would reach no routine in a single run: run `watch-start -b 0` first" timer run --mode rate --reload 5 --interrupt)

# Decoded output: named flags, values on one line with spaces quoted.
mfbctl_case(counter_flags 0 "uas +0x0[0-9a-f] \\(track a.*\n  ud +0x01 \\(up\\)" counter sim --pulse 5 status)
mfbctl_case(timer_flags 0 "progress ex +0x01 \\(counting\\)" timer run --mode rate --reload 100000 --for 1ms)
mfbctl_case(values_line 0 "^0 0 0\n$" timer read --all -q)
mfbctl_case(values_quoted 0 "\"build 7376, August 2022\"" info -q)

# Simulated layout for one run.
mfbctl_case(sim_layout 0 "ETM 0: finished" --sim-layout 1:3=etm etm -b 1 init --base 100ns sim --period 10us --high 3us enable read)
mfbctl_case(sim_layout_hint 1 "fit one into the simulated board for this run with `--sim-layout 0:3=etm`" etm read)

# Firmware: confirmation, a fault that the files never reach.
mfbctl_case(flash_needs_yes 2 "confirm it with -y \\(--yes\\) when the standard input is not a terminal"
            firmware flash ${firmware} ${firmware} ${firmware} ${firmware} REJECT "erased")
mfbctl_case(flash_confirmed 0 "Replace the firmware of the four modules of board 0 \\(14400 bytes\\)\\? \\[y/N\\].*replaced" TERMINAL INPUT "y"
            firmware flash ${firmware} ${firmware} ${firmware} ${firmware})
mfbctl_case(flash_unreached_fault 2 "--sim-fail-write: flash address 20000 is never reached: the four files program addresses 0 to 14399"
            firmware flash -y --sim-fail-write 20000 ${firmware} ${firmware} ${firmware} ${firmware})
set_tests_properties(mfbctl.flash_needs_yes mfbctl.flash_confirmed mfbctl.flash_unreached_fault
                     PROPERTIES FIXTURES_REQUIRED firmware_file)

# The shell's help and global options; times with a space or an exponent; article.
mfbctl_case(shell_help 0 "exit +end the session.*quit +end the session.*(Line editing|plain lines)" shell INPUT "help")
mfbctl_case(shell_global 0 "2 +MFB-SIM-2.*board 1 module 3: etm" shell INPUT "list --sim-boards 3|--sim-layout 1:3=etm modules -b 1")
mfbctl_case(time_units 0 "^5\n$" counter sim --pulse 5 sleep 10 ms read -q)
mfbctl_case(time_exponent 0 "after 1ms" timer run --mode rate --reload 10 --for 1e6ns)
mfbctl_case(article 2 "'3' is not an edge evaluation" counter setup --evaluation 3)

# Completion from the command table.
foreach(completion
        "counter re|read" "counter setup --range |32 16" "counter read sim --ha|--half"
        "timer init --mode g|gated-single gated-strobe" "set-module -m 3 fr|frequency" "wat|watch watch-start watch-stop")
  string(REPLACE "|" ";" parts "${completion}")
  list(GET parts 0 words)
  list(GET parts 1 expected)
  string(MAKE_C_IDENTIFIER "${words}" id)
  mfbctl_case(completion_${id} 0 "^${expected}\n$"
              BASH "source <($MFBCTL completion bash)\nread -ra COMP_WORDS <<< 'mfbctl ${words}'\n[[ '${words}' == *' ' ]] && COMP_WORDS+=('')\nCOMP_CWORD=$((\${#COMP_WORDS[@]} - 1))\n_mfbctl\necho \"\${COMPREPLY[*]}\"")
endforeach()
mfbctl_case(hint_ssi 1 "i_MFB_ReadAllSSIValue: -3 exchange failed: the simulated SSI module answers value reads only after init" ssi read)

# The man page and the completion, installed where man and bash find them.
if(TARGET mfbctl_docs)
  set(prefix ${CMAKE_CURRENT_BINARY_DIR}/mfbctl-install)
  mfbctl_case(installed_docs 0 "^\\.TH MFBCTL .*list, inspect and drive MFB.*\\.SH COMMANDS.*mfbctl firmware flash.*\ncomplete -F _mfbctl mfbctl\n$"
              BASH "rm -rf ${prefix} && ${CMAKE_COMMAND} --install ${CMAKE_BINARY_DIR} --component mfbctl --prefix ${prefix} >/dev/null && sed 1d ${prefix}/share/man/man1/mfbctl.1 && tail -1 ${prefix}/share/bash-completion/completions/mfbctl")
endif()
