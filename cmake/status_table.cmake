# Turns the status table (include/mfb_status.json) into C++ initialisers that mfbctl compiles in,
# so the tool needs no file at run time. Run as a script:
#     cmake -DIN=include/mfb_status.json -DOUT=status_table.inc -P cmake/status_table.cmake
# The output defines kStatusCodes (every code of every export, export by export) and kExports
# (ordinal, name, family, driver rule, the export's first code and number of codes).

file(READ "${IN}" json)

include(${CMAKE_CURRENT_LIST_DIR}/cxx_string.cmake)

string(JSON count LENGTH "${json}" exports)
math(EXPR last "${count} - 1")
set(codes "")
set(exports "")
set(first 0)
foreach(i RANGE ${last})
  string(JSON ordinal GET "${json}" exports ${i} ordinal)
  string(JSON name GET "${json}" exports ${i} name)
  string(JSON family GET "${json}" exports ${i} family)
  string(JSON driver ERROR_VARIABLE no_driver GET "${json}" exports ${i} driver)
  if(no_driver)
    set(driver "")
  endif()
  string(JSON ncodes LENGTH "${json}" exports ${i} codes)
  if(ncodes GREATER 0)
    math(EXPR clast "${ncodes} - 1")
    foreach(c RANGE ${clast})
      string(JSON code GET "${json}" exports ${i} codes ${c} 0)
      string(JSON meaning GET "${json}" exports ${i} codes ${c} 1)
      cxx_string(meaning "${meaning}")
      string(APPEND codes "    {${code}, ${meaning}},\n")
    endforeach()
  endif()
  cxx_string(name "${name}")
  cxx_string(family "${family}")
  cxx_string(driver "${driver}")
  string(APPEND exports "    {${ordinal}, ${name}, ${family}, ${driver}, ${first}, ${ncodes}},\n")
  math(EXPR first "${first} + ${ncodes}")
endforeach()

set(text "// Generated from ${IN} by cmake/status_table.cmake; edit the table, not this file.\n")
string(APPEND text "constexpr StatusCode kStatusCodes[] = {\n${codes}};\n")
string(APPEND text "constexpr ExportEntry kExports[] = {\n${exports}};\n")
file(WRITE "${OUT}.tmp" "${text}")
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.tmp")
