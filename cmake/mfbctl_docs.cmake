# The man page and the bash completion of mfbctl, made from its command table by the tool itself:
#     cmake -DMFBCTL=<mfbctl> -DHELP2MAN=<help2man> -DOUT=<folder> -P cmake/mfbctl_docs.cmake
# writes OUT/mfbctl.bash (`mfbctl completion bash`) and OUT/mfbctl.1: help2man's page of
# `mfbctl --help` and `--version`, with every command's help (`mfbctl help --all`) as a section.

file(MAKE_DIRECTORY "${OUT}")
execute_process(COMMAND "${MFBCTL}" completion bash OUTPUT_FILE "${OUT}/mfbctl.bash"
                RESULT_VARIABLE failed)
execute_process(COMMAND "${MFBCTL}" help --all OUTPUT_VARIABLE commands RESULT_VARIABLE failed_too)
if(failed OR failed_too)
  message(FATAL_ERROR "mfbctl could not write its completion or its help")
endif()

# roff: a backslash is \e, and a line must not start with a control character.
string(REPLACE "\\" "\\e" commands "${commands}")
string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" commands "${commands}")
file(WRITE "${OUT}/commands.h2m" "[COMMANDS]\n.nf\n${commands}\n.fi\n")
execute_process(
  COMMAND "${HELP2MAN}" --no-info --no-discard-stderr --section 1
          "--name=list, inspect and drive MFB counter and multifunction boards"
          "--include=${OUT}/commands.h2m" "--output=${OUT}/mfbctl.1" "${MFBCTL}"
  RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "help2man could not make the man page of mfbctl")
endif()
