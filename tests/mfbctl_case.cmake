# One mfbctl case of tests/CMakeLists.txt: runs mfbctl as a user would and checks its exit status
# and what it prints (standard output and standard error together).
#
#     cmake -DMFBCTL=<program> -DARGS=<arg|arg|...> -DEXIT=<status> -DEXPECT=<regex>
#           [-DREJECT=<regex>] [-DINPUT=<line|line|...>] [-DJSON=<python expression>]
#           [-DTERMINAL=ON] [-DBASH=<script>] [-DEMULATOR=<program>] -P mfbctl_case.cmake
#
# The arguments are separated by | (cmake would take some, such as -i, for its own after the
# script). INPUT goes to the standard input, its lines separated by |. JSON: what was printed, read
# as one JSON object a line into the list `objs` (and without their `t` into `plain`; lines that
# are no object, such as warnings, are left out), must make the Python expression true. TERMINAL runs mfbctl on a terminal of its own (script(1)), which
# the input is typed into. BASH runs the bash script instead of mfbctl, with $MFBCTL set.

string(REPLACE "|" ";" command "${MFBCTL}|${ARGS}")
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

set(problems "")
if(NOT status STREQUAL "${EXIT}")
  string(APPEND problems "exit status ${status}, expected ${EXIT}\n")
endif()
if(NOT printed MATCHES "${EXPECT}")
  string(APPEND problems "output does not match: ${EXPECT}\n")
endif()
if(REJECT AND printed MATCHES "${REJECT}")
  string(APPEND problems "output matches what it must not: ${REJECT}\n")
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
    string(APPEND problems "JSON: ${json_error}\n")
  endif()
endif()

if(problems)
  message(FATAL_ERROR "mfbctl ${command}\n${problems}--- printed:\n${printed}")
endif()
