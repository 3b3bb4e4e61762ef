// The process-wide table of boards: the count of the last enumeration and one slot per board
// index. Every export that takes a board handle finds its slot here first.
//
// No lock guards the table; the application serialises opening, closing and interrupt-routine
// changes of one board. The fields that a board's interrupt thread shares with the application's
// threads (handle, device, interrupt delivery, and the count the lookup reads) are atomics, so
// concurrent reads and writes of them are defined without a lock.
#pragma once

#include "mfb.h"
#include "platform/win32.h"

#include <atomic>
#include <cstdint>
#include <optional>

namespace mfb {

constexpr std::size_t kSlotCount = 30;

// An open board's device handle once an interrupt thread reads with it: the value and a count of
// references, one for the open board and one for each interrupt delivery record that uses it. The
// last release closes the handle. While a thread that may still read with the handle runs, the
// handle stays open, so Windows cannot give its value to another device meanwhile.
struct DeviceHandle {
    std::uint32_t value;
    std::atomic<std::uint32_t> references;
};

struct BoardSlot {
    std::atomic<std::uint32_t> handle{0}; // 0 while the board is not open
    std::uint16_t open_count = 0;
    // The handle's count of references, from the first install of a routine to the last close;
    // null before (the close then closes the handle itself).
    std::atomic<DeviceHandle*> device{nullptr};
    // The interrupt delivery record (interrupt/board_interrupt.cpp) of whoever installs, holds or
    // uninstalls the board's routine, with kRoutineInstalled set while the routine counts as
    // installed; 0 when none does. One word, so that a change of routine claims it by one
    // compare-and-swap and no install can slip in while a reset is under way.
    std::atomic<std::uintptr_t> interrupt{0};
    std::atomic<std::uint32_t> labview_event{0};
    std::uint8_t digital_output_memory = 0;
    std::uint8_t port_configured[4] = {};
    std::uint8_t port_output[4] = {};
    std::uint8_t port_first_setting[4] = {};
    std::uint8_t port_second_setting[4] = {};

    static constexpr std::uintptr_t kRoutineInstalled = 1;
    // The interrupt-routine-installed flag.
    bool routine_installed() const { return (interrupt.load() & kRoutineInstalled) != 0; }
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

// The slot's device handle with one more reference, for an interrupt delivery record: made at the
// first call with the open board's reference and this one. Null when there is no memory for it.
// Only the install that has claimed the slot's interrupt word calls it.
DeviceHandle* share_device(BoardSlot& slot);
// Drops one reference; the last one closes the handle. False only when that close failed.
bool release_device(DeviceHandle* device);

} // namespace mfb
