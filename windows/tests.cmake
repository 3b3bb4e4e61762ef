# The tests of a mingw-dll build, which ctest runs under Wine (scripts/wine-test.sh runs them for
# both builds): the Windows test program, mfbctl.exe as a user runs it
# (tests/windows/mfbctl_cases.cmake), and the MSVC import library read back. Included by the
# top-level CMakeLists.txt. Each program runs through wine-run.sh in the build tree, which keeps
# a Wine prefix of its own there: the x64 build's under wine64, the 32-bit build's under 32-bit
# Wine.
enable_testing()
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(MFB_WINE_LOADER /usr/lib/wine/wine64)
  set(MFB_WINEARCH "")
else()
  set(MFB_WINE_LOADER /usr/lib/wine/wine)
  set(MFB_WINEARCH WINEARCH=win32)
endif()
set(MFB_RUN ${CMAKE_BINARY_DIR}/wine-run.sh)
configure_file(${CMAKE_CURRENT_LIST_DIR}/../cmake/wine-run.sh.in ${MFB_RUN} @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                WORLD_READ WORLD_EXECUTE)

add_test(NAME wintest COMMAND ${MFB_RUN} ${CMAKE_BINARY_DIR}/mfb_wintest.exe)
set_tests_properties(wintest PROPERTIES TIMEOUT 300)

find_program(MFB_PYTHON python3 REQUIRED)
add_test(NAME import_library
         COMMAND ${MFB_PYTHON} ${PROJECT_SOURCE_DIR}/tests/windows/check_import_library.py
                 --def ${PROJECT_SOURCE_DIR}/MFB.def --bits $<IF:$<EQUAL:${CMAKE_SIZEOF_VOID_P},8>,64,32>
                 ${CMAKE_BINARY_DIR}/MFB.lib ${CMAKE_BINARY_DIR}/MFB.dll ${CMAKE_BINARY_DIR}/mfbctl.exe)

# mfbctl.exe's test panel, where the build carries it (MFB_PANEL ON in both Windows presets): it starts on
# two simulated boards and serves its page and its event stream to an HTTP client.
if(MFB_PANEL STREQUAL "ON")
  add_test(NAME panel_served
           COMMAND ${MFB_PYTHON} ${PROJECT_SOURCE_DIR}/tests/panel/served.py
                   ${MFB_RUN} ${CMAKE_BINARY_DIR}/mfbctl.exe panel --sim-boards 2)
  set_tests_properties(panel_served PROPERTIES TIMEOUT 180)
endif()

set(MFBCTL_CASE_PROGRAM ${CMAKE_BINARY_DIR}/mfbctl.exe)
include(${PROJECT_SOURCE_DIR}/cmake/mfbctl_case.cmake)
include(${PROJECT_SOURCE_DIR}/tests/windows/mfbctl_cases.cmake)
