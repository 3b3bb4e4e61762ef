# cxx_string(OUT TEXT): TEXT as a C++ string literal, for the generators of the tables mfbctl
# compiles in.
function(cxx_string out text)
  string(REPLACE "\\" "\\\\" text "${text}")
  string(REPLACE "\"" "\\\"" text "${text}")
  set(${out} "\"${text}\"" PARENT_SCOPE)
endfunction()
