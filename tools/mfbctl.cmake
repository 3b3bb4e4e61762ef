# mfbctl, the command-line tool: included by the top-level CMakeLists.txt (Linux) and by
# windows/CMakeLists.txt (mfbctl.exe, beside MFB.dll). The including project has the target
# mfb_sim (the simulated board), and names in MFBCTL_LIBRARY what the tool calls the library
# through: the static library on Linux, MFB.dll's import library on Windows. MFBCTL_OPTIONS are
# further compile options of the tool, MFBCTL_UNITY_BATCH the files in one unit of its unity build.
#
# Argument parsing by CLI11, formatting by {fmt}, both header-only, so that every build of the
# tool needs only their headers. mfbctl_common holds what the tool and its unit tests share; it
# compiles in the status table and the explanation table. Both libraries' code is generated anew
# in every unit that uses it, which is most of what the tool costs to compile, so the tool is a
# unity build: its files compile in a few large units. The command files keep their helpers in a
# namespace named after the file, so that the units join them without clashes.
#
# What only one platform has lives in files named after it: console_posix.cpp and
# backend_vbus.cpp (Linux), console_windows.cpp and backend_windows.cpp (Windows).

set(MFBCTL_SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR})
if(NOT DEFINED MFBCTL_UNITY_BATCH)
  set(MFBCTL_UNITY_BATCH 8) # files in one unit; 0: all the files of a target in one
endif()
get_filename_component(MFBCTL_PROJECT_DIR ${CMAKE_CURRENT_LIST_DIR} DIRECTORY)

# The status table (include/mfb_status.json) and the explanation table (include/mfb_explain.json)
# compiled in as C++ initialisers.
set(MFB_GENERATED_DIR ${CMAKE_CURRENT_BINARY_DIR}/generated)
foreach(table status explain)
  set(json ${MFBCTL_PROJECT_DIR}/include/mfb_${table}.json)
  set(script ${MFBCTL_PROJECT_DIR}/cmake/${table}_table.cmake)
  add_custom_command(
    OUTPUT ${MFB_GENERATED_DIR}/${table}_table.inc
    COMMAND ${CMAKE_COMMAND} -DIN=${json} -DOUT=${MFB_GENERATED_DIR}/${table}_table.inc -P ${script}
    DEPENDS ${json} ${script} ${MFBCTL_PROJECT_DIR}/cmake/cxx_string.cmake
    COMMENT "Compiling in the ${table} table")
  list(APPEND MFBCTL_TABLES ${MFB_GENERATED_DIR}/${table}_table.inc)
endforeach()

find_path(MFB_CLI11_INCLUDE CLI/CLI.hpp REQUIRED)
find_path(MFB_FMT_INCLUDE fmt/format.h REQUIRED)

if(WIN32)
  set(MFBCTL_OTHER_PLATFORM "_(posix|vbus)\\.cpp$")
else()
  set(MFBCTL_OTHER_PLATFORM "_windows\\.cpp$")
endif()
file(GLOB MFBCTL_COMMON_SOURCES CONFIGURE_DEPENDS ${MFBCTL_SOURCE_DIR}/common/*.cpp)
list(FILTER MFBCTL_COMMON_SOURCES EXCLUDE REGEX "${MFBCTL_OTHER_PLATFORM}")
add_library(mfbctl_common STATIC ${MFBCTL_COMMON_SOURCES} ${MFBCTL_TABLES})
target_include_directories(mfbctl_common PUBLIC ${MFBCTL_SOURCE_DIR} ${MFB_CLI11_INCLUDE}
                                                ${MFB_FMT_INCLUDE}
                                         PRIVATE ${MFB_GENERATED_DIR})
target_compile_definitions(mfbctl_common PUBLIC FMT_HEADER_ONLY)
target_compile_options(mfbctl_common PRIVATE ${MFB_WARNINGS} ${MFBCTL_OPTIONS})
target_link_libraries(mfbctl_common PUBLIC mfb_sim ${MFBCTL_LIBRARY})
# The shell's line editing and history come from libedit where the build has it (64-bit Linux);
# elsewhere the shell reads plain lines.
if(NOT WIN32)
  find_path(MFB_LIBEDIT_INCLUDE editline/readline.h)
  find_library(MFB_LIBEDIT edit)
  if(MFB_LIBEDIT_INCLUDE AND MFB_LIBEDIT AND CMAKE_SIZEOF_VOID_P EQUAL 8)
    target_compile_definitions(mfbctl_common PRIVATE MFBCTL_LIBEDIT)
    target_link_libraries(mfbctl_common PUBLIC ${MFB_LIBEDIT})
  endif()
endif()

file(GLOB MFBCTL_SOURCES CONFIGURE_DEPENDS ${MFBCTL_SOURCE_DIR}/*.cpp)
add_executable(mfbctl ${MFBCTL_SOURCES})
set_source_files_properties(${MFBCTL_SOURCE_DIR}/main.cpp PROPERTIES
                            COMPILE_DEFINITIONS MFBCTL_VERSION="${PROJECT_VERSION}")
target_compile_options(mfbctl PRIVATE ${MFB_WARNINGS} ${MFBCTL_OPTIONS})
set_target_properties(mfbctl mfbctl_common PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE ${MFBCTL_UNITY_BATCH})
target_link_libraries(mfbctl PRIVATE mfbctl_common)

# The test panel (`mfbctl panel`), where the build carries it.
include(${MFBCTL_PROJECT_DIR}/cmake/panel.cmake)
