# MFB.def in the other forms that the builds need. MFB.def gives each export its stdcall argument
# size, which the 32-bit link checks against the definition (none for a cdecl export), and its
# fixed ordinal. x64 has one calling convention and decorates no names, so the x64 link takes the
# same names and ordinals without the sizes; and the Windows test program takes the list of
# exports, which it resolves by name and by ordinal and whose decorated names it expects to find
# nowhere.
#
#   mfb_write_exports(<MFB.def> [X64_DEF <file>] [TABLE <file>])
#
# X64_DEF: the definition for the x64 link (the LIBRARY line and the exports at their ordinals,
# undecorated). TABLE: the lines of a C++ initializer list, {"name", argument size, ordinal} each,
# the size 0 for a cdecl export.
# Both are made at configure time, again whenever MFB.def changes, and written only when they
# change, so that an unchanged result relinks nothing.
function(mfb_write_exports def)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "X64_DEF;TABLE" "")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${def})
  file(STRINGS ${def} library REGEX "^LIBRARY ")
  file(STRINGS ${def} lines REGEX "^[ \t]*[A-Za-z_][A-Za-z0-9_]*(@[0-9]+)?[ \t]+@[0-9]+")
  if(NOT lines)
    message(FATAL_ERROR "${def} defines no exports")
  endif()
  set(x64_def "; Made from MFB.def for the x64 link: the same names and ordinals, no argument sizes.\n")
  string(APPEND x64_def "${library}\nEXPORTS\n")
  set(table "// Made from MFB.def: every export's name, stdcall argument size (0: cdecl) and ordinal.\n")
  foreach(line IN LISTS lines)
    string(REGEX MATCH "([A-Za-z_][A-Za-z0-9_]*)(@([0-9]+))?[ \t]+@([0-9]+)" matched "${line}")
    set(size 0)
    if(CMAKE_MATCH_3)
      set(size ${CMAKE_MATCH_3})
    endif()
    string(APPEND x64_def "    ${CMAKE_MATCH_1} @${CMAKE_MATCH_4}\n")
    string(APPEND table "{\"${CMAKE_MATCH_1}\", ${size}, ${CMAKE_MATCH_4}},\n")
  endforeach()
  foreach(kind IN ITEMS x64_def table)
    string(TOUPPER ${kind} option)
    if(arg_${option})
      file(WRITE ${arg_${option}}.new "${${kind}}")
      configure_file(${arg_${option}}.new ${arg_${option}} COPYONLY)
      file(REMOVE ${arg_${option}}.new)
    endif()
  endforeach()
endfunction()
