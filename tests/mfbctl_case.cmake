# One mfbctl case of tests/CMakeLists.txt: runs mfbctl as a user would and checks its exit status
# and what it prints (standard output and standard error together).
#
#     cmake -DMFBCTL=<program> -DARGS=<arg|arg|...> -DEXIT=<status> -DEXPECT=<regex>
#           [-DREJECT=<regex>] [-DINPUT=<line|line|...>] [-DJSON=<python expression>]
#           [-DTERMINAL=ON] [-DBASH=<script>] [-DEMULATOR=<program>] -P mfbctl_case.cmake
#     cmake -DMFBCTL=<program> -DROWS=<file> -DEXIT=<status> [-DREJECT=<regex>] ... -P ...
#
# The arguments are separated by | (cmake would take some, such as -i, for its own after the
# script). INPUT goes to the standard input, its lines separated by |. JSON: what was printed, read
# as one JSON object a line into the list `objs` (and without their `t` into `plain`; lines that
# are no object, such as warnings, are left out), must make the Python expression true. TERMINAL
# runs mfbctl on a terminal of its own (script(1)), which the input is typed into. BASH runs the
# bash script instead of mfbctl, with $MFBCTL set.
# ROWS: a table of runs instead of one, two lines a row: the arguments as a shell would split them,
# then the EXPECT of that run; every run must exit with EXIT and show nothing that REJECT matches.

set(problems "")

# Runs mfbctl with the arguments (a list) and adds what is wrong with the run to `problems`.
function(run_mfbctl args expect)
  set(command ${MFBCTL} ${args})
  if(TERMINAL)
    string(REPLACE ";" " " line "${command}")
    set(command script -qec "${line}" /dev/null)
  elseif(BASH)
    set(ENV{MFBCTL} "${MFBCTL}")
    set(command bash -c "${BASH}")
  endif()

  set(input_file /dev/null)
  if(INPUT)
    string(RANDOM LENGTH 8 tag)
    set(input_file "${CMAKE_CURRENT_BINARY_DIR}/mfbctl_case_${tag}.in")
    string(REPLACE "|" "\n" lines "${INPUT}")
    file(WRITE "${input_file}" "${lines}\n")
  endif()

  # One variable for both streams keeps them in the order printed.
  execute_process(COMMAND ${EMULATOR} ${command}
                  INPUT_FILE "${input_file}"
                  OUTPUT_VARIABLE printed ERROR_VARIABLE printed RESULT_VARIABLE status)
  if(INPUT)
    file(REMOVE "${input_file}")
  endif()
  # Windows programs end their lines with \r\n.
  string(REPLACE "\r\n" "\n" printed "${printed}")

  set(wrong "")
  if(NOT status STREQUAL "${EXIT}")
    string(APPEND wrong "exit status ${status}, expected ${EXIT}\n")
  endif()
  if(NOT printed MATCHES "${expect}")
    string(APPEND wrong "output does not match: ${expect}\n")
  endif()
  if(REJECT AND printed MATCHES "${REJECT}")
    string(APPEND wrong "output matches what it must not: ${REJECT}\n")
  endif()
  if(JSON)
    string(RANDOM LENGTH 8 tag)
    set(json_file "${CMAKE_CURRENT_BINARY_DIR}/mfbctl_case_${tag}.json")
    file(WRITE "${json_file}" "${printed}")
    execute_process(
      COMMAND python3 -c "import json, sys\nobjs = [json.loads(l) for l in sys.stdin if l.startswith('{')]\nplain = [{k: v for k, v in o.items() if k != 't'} for o in objs]\nif not eval(sys.argv[1]):\n    sys.exit('not true of %r: %s' % (objs, sys.argv[1]))"
              "${JSON}"
      INPUT_FILE "${json_file}" RESULT_VARIABLE json_status ERROR_VARIABLE json_error)
    file(REMOVE "${json_file}")
    if(NOT json_status EQUAL 0)
      string(APPEND wrong "JSON: ${json_error}\n")
    endif()
  endif()

  if(wrong)
    string(REPLACE ";" " " shown "${command}")
    set(problems "${problems}${shown}\n${wrong}--- printed:\n${printed}\n" PARENT_SCOPE)
  endif()
endfunction()

if(ROWS)
  file(STRINGS "${ROWS}" lines)
  list(LENGTH lines count)
  math(EXPR last "${count} - 1")
  foreach(i RANGE 0 ${last} 2)
    list(GET lines ${i} row)
    math(EXPR j "${i} + 1")
    list(GET lines ${j} expect)
    separate_arguments(args UNIX_COMMAND "${row}")
    run_mfbctl("${args}" "${expect}")
  endforeach()
else()
  string(REPLACE "|" ";" args "${ARGS}")
  run_mfbctl("${args}" "${EXPECT}")
endif()

if(problems)
  message(FATAL_ERROR "${problems}")
endif()
