// The process-wide table of boards: the count of the last enumeration and one slot per board
// index. Every export that takes a board handle finds its slot here first.
//
// No lock guards the table; the application serialises opening, closing and interrupt-routine
// changes of one board. The fields that a board's interrupt thread shares with the application's
// threads (handle, interrupt delivery, routine, installed flag, and the count the lookup reads) are
// atomics, so concurrent reads and writes of them are defined without a lock.
#pragma once

#include "mfb.h"
#include "platform/win32.h"

#include <atomic>
#include <cstdint>
#include <optional>

namespace mfb {

constexpr std::size_t kSlotCount = 30;

struct InterruptDelivery;

struct BoardSlot {
    std::atomic<std::uint32_t> handle{0}; // 0 while the board is not open
    std::uint16_t open_count = 0;
    // While a routine is installed: the record of the board's interrupt thread and its two events
    // (interrupt/board_interrupt.cpp). Null otherwise.
    std::atomic<InterruptDelivery*> delivery{nullptr};
    std::atomic<std::uint32_t> labview_event{0};
    std::atomic<std::uint8_t> routine_installed{0};
    std::uint8_t digital_output_memory = 0;
    std::uint8_t port_configured[4] = {};
    std::uint8_t port_output[4] = {};
    std::uint8_t port_first_setting[4] = {};
    std::uint8_t port_second_setting[4] = {};
    std::atomic<MFB_BoardIntRoutine> routine{nullptr};
};

struct BoardTable {
    std::atomic<std::uint8_t> count{0}; // boards found by the last enumeration
    BoardSlot slots[kSlotCount];
};

BoardTable& boards();

// Back to the state at process attach: count 0, every slot empty and zero.
void clear_board_table();

// The slot that holds a board handle: the first among slots 0 to count - 1 (never past the last
// slot) whose handle equals it. Handle 0 marks a closed slot and is never found.
BoardSlot* find_slot(std::uint32_t handle);

// The same search over all 30 slots, whatever the count: for the close, which must find an open
// handle even after an enumeration that no longer counts its board.
BoardSlot* find_open_slot(std::uint32_t handle);

} // namespace mfb
