# mfbctl_case(): a ctest case that runs mfbctl as a user would, by tests/mfbctl_case.cmake. The
# cases of tests/mfbctl_cases.cmake run the Linux build's mfbctl; those of
# tests/windows/mfbctl_cases.cmake run mfbctl.exe (MFBCTL_CASE_PROGRAM) under Wine (MFB_RUN).
set(MFB_CASE_RUNNER ${CMAKE_CURRENT_LIST_DIR}/../tests/mfbctl_case.cmake)

# The program the cases run: the Linux build's mfbctl, or MFBCTL_CASE_PROGRAM where it is set.
function(mfbctl_case_program out)
  set(program $<TARGET_FILE:mfbctl>)
  if(MFBCTL_CASE_PROGRAM)
    set(program ${MFBCTL_CASE_PROGRAM})
  endif()
  set(${out} ${program} PARENT_SCOPE)
endfunction()

# mfbctl driven as a user would: each case runs mfbctl with its arguments on the two simulated
# boards and checks the exit status (0 done, 1 failed, 2 usage error) and that what it prints
# (output and errors together) matches EXPECT. INPUT: lines for `mfbctl shell`, separated by |.
# JSON: a Python expression over the output read as JSON lines (`objs`, and `plain` without
# their `t`). REJECT: a pattern that must not show. TERMINAL: mfbctl runs on a terminal, typed
# into from INPUT. BASH: a bash script runs instead, with $MFBCTL.
function(mfbctl_case name exit expect)
  cmake_parse_arguments(PARSE_ARGV 3 CASE "TERMINAL" "INPUT;JSON;REJECT;BASH" "")
  string(JOIN "|" args ${CASE_UNPARSED_ARGUMENTS})
  mfbctl_case_program(program)
  add_test(NAME mfbctl.${name}
           COMMAND ${CMAKE_COMMAND} -DMFBCTL=${program} "-DARGS=${args}" -DEXIT=${exit}
                   "-DEXPECT=${expect}" "-DINPUT=${CASE_INPUT}" "-DJSON=${CASE_JSON}"
                   "-DREJECT=${CASE_REJECT}" "-DEMULATOR=${MFB_RUN}" -DTERMINAL=${CASE_TERMINAL}
                   "-DBASH=${CASE_BASH}" -P ${MFB_CASE_RUNNER})
endfunction()

# A table of mfbctl runs as one case: ROWS are pairs of the arguments (split as a shell splits
# them) and the pattern that run's output must match; every run exits with `exit` and shows
# nothing that REJECT matches.
function(mfbctl_table name exit)
  cmake_parse_arguments(PARSE_ARGV 2 CASE "" "REJECT" "ROWS")
  set(rows ${CMAKE_CURRENT_BINARY_DIR}/mfbctl_${name}.rows)
  string(JOIN "\n" text ${CASE_ROWS})
  file(WRITE ${rows} "${text}\n")
  mfbctl_case_program(program)
  add_test(NAME mfbctl.${name}
           COMMAND ${CMAKE_COMMAND} -DMFBCTL=${program} "-DROWS=${rows}" -DEXIT=${exit}
                   "-DREJECT=${CASE_REJECT}" "-DEMULATOR=${MFB_RUN}" -P ${MFB_CASE_RUNNER})
endfunction()
