# Turns the test panel's files (its page and the charting library's) into C++ initialisers that
# mfbctl compiles in (tools/panel/assets.cpp), so that the page needs nothing from elsewhere while
# it runs. Run as a script:
#     cmake -DFILES=<path>=<file>=<type>|... -DOUT=panel_assets.inc -P cmake/embed_files.cmake
# Each entry: the path the page asks for, the file, its media type.

string(REPLACE "|" ";" entries "${FILES}")
set(arrays "")
set(table "")
set(n 0)
foreach(entry IN LISTS entries)
  string(REPLACE "=" ";" parts "${entry}")
  list(GET parts 0 path)
  list(GET parts 1 file)
  list(GET parts 2 type)
  file(READ "${file}" hex HEX)
  string(LENGTH "${hex}" length)
  math(EXPR size "${length} / 2")
  # Sixty-four bytes a line.
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "((0x..,){64})" "\\1\n" bytes "${bytes}")
  string(APPEND arrays "const unsigned char kFile${n}[] = {\n${bytes}0};\n")
  string(APPEND table "    {\"${path}\", \"${type}\", kFile${n}, ${size}},\n")
  math(EXPR n "${n} + 1")
endforeach()
file(WRITE "${OUT}.new" "// Made by cmake/embed_files.cmake: do not edit.\n${arrays}\nconst Asset kAssets[] = {\n${table}};\n")
# Only a change rewrites the file, so that an unchanged page compiles nothing again.
file(COPY_FILE "${OUT}.new" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.new")
