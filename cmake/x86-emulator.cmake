# The 32-bit x86 build on a host whose kernel cannot execute 32-bit programs: its test programs
# (gtest discovery, every ctest case) run under qemu-i386's user-mode emulation instead. A host
# that executes them natively gets no emulator.
#
# Sets MFB_RUN: the command prefix that runs a program of this build (empty when native), for
# tests that call a program through a shell.
set(MFB_RUN "")
if(NOT CMAKE_SIZEOF_VOID_P EQUAL 4 OR CMAKE_CROSSCOMPILING)
  return()
endif()

try_run(MFB_X86_RUNS MFB_X86_COMPILES ${CMAKE_BINARY_DIR}/probe-exec
        ${CMAKE_CURRENT_LIST_DIR}/probe_exec.c)
if(NOT MFB_X86_COMPILES)
  message(FATAL_ERROR "a 32-bit program does not build: is g++-multilib installed?")
endif()
if(MFB_X86_RUNS EQUAL 0)
  set(MFB_X86_EXECUTION "32-bit tests run natively" CACHE INTERNAL "how the 32-bit programs run")
  return()
endif()

find_program(MFB_QEMU_I386 qemu-i386)
if(NOT MFB_QEMU_I386)
  message(FATAL_ERROR "this host cannot execute 32-bit programs and qemu-i386 is missing "
                      "(scripts/setup.sh installs qemu-user)")
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${MFB_QEMU_I386})
set(MFB_RUN ${MFB_QEMU_I386})
set(MFB_X86_EXECUTION "32-bit tests run under qemu-i386: this host cannot execute 32-bit programs"
    CACHE INTERNAL "how the 32-bit programs run")
message(STATUS "32-bit programs run under ${MFB_QEMU_I386}")
