// The scenarios of the Windows test program, one function each; main.cpp lists them in its table.
#pragma once

#include "scenario.h"

namespace wintest {

// scenarios_exports.cpp
void exports_by_name_and_ordinal(Scenario& s);

// scenarios_boards.cpp
void enumerate_and_open_two_boards(Scenario& s);

// scenarios_families.cpp: one request of each module family, byte for byte
void family_requests(Scenario& s);

// scenarios_interrupts.cpp
void interrupts_in_order(Scenario& s);
void reset_inside_routine(Scenario& s);

// scenarios_interrupt_teardown.cpp: resets that must return, threads that close their handles once
void routines_reset_each_other(Scenario& s);
void routine_waits_for_the_resetting_thread(Scenario& s);
void reset_in_first_call_before_install_returns(Scenario& s);
void closed_boards_thread_reaches_no_board_opened_after(Scenario& s);

// scenarios_firmware.cpp
void flash_four_small_files(Scenario& s);

// scenarios_labview.cpp
void labview_events_in_order(Scenario& s);

} // namespace wintest
