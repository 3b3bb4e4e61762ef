// Board interrupts, delivered to an application routine on a thread of the library's own.
//
// Installing a routine creates two manual-reset events (stop, interrupt) and the board's
// interrupt thread, raises the process and the thread to the highest priorities, and hands the
// interrupt event to the driver. The driver sets that event whenever records are pending; the
// thread resets it, then reads records one by one until the driver answers one with the
// end-of-queue flag, calling the routine for each. Resetting the event before the drain means a
// record the driver queues during the drain sets it again, so the next wait returns at once.
//
// Tear-down signals the stop event and waits for the thread to end before any of its handles is
// closed: the thread may be inside a read or inside the routine when it is asked to stop. A reset
// from inside the routine, on the interrupt thread itself, cannot wait for its own thread; the
// thread then ends as soon as the routine returns and closes its handles itself.
#include "board/board_table.h"
#include "board/driver_channel.h"
#include "board/frame.h"
#include "mfb.h"
#include "platform/win32.h"

#include <cstdint>

namespace mfb {
namespace {

// Offsets in the 80-byte InterruptRecord.
constexpr std::size_t kWord1 = 0;
constexpr std::size_t kWord2 = 4;
constexpr std::size_t kValues = 8; // sixteen u32
constexpr std::size_t kValueCount = 72;
constexpr std::size_t kRecordByte = 76;
constexpr std::size_t kEndOfQueue = 77;
constexpr std::uint32_t kRecordSize = 80;

// What one interrupt thread holds. It lives on the thread's stack; t_current points to it so
// that a reset running on this very thread can find it.
struct InterruptThread {
    BoardSlot* slot;
    HANDLE stop;
    HANDLE interrupt;
    HANDLE own_handle = nullptr; // set when a reset from inside the routine leaves it to close
    bool detached = false;       // reset from inside the routine: end after the routine returns
};
thread_local InterruptThread* t_current = nullptr;

std::uint32_t le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// A reset takes the stop event out of the slot before it signals it; the thread checks this
// between records so that a steady stream of interrupts cannot hold a reset off.
bool stopping(const InterruptThread& self) {
    return self.detached || self.slot->stop_event.load() != self.stop;
}

// Reads and delivers records until the end of the queue (true) or until the thread must end
// (false): a failed read, no routine to call, or a reset.
bool drain(InterruptThread& self) {
    // The record buffer is an array of u32 so that the routine gets a properly typed and aligned
    // address of the sixteen values; the fields are decoded from its bytes.
    static_assert(kRecordSize % 4 == 0);
    std::uint32_t record[kRecordSize / 4] = {};
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(record);
    while (!stopping(self)) {
        const std::uint32_t handle = self.slot->handle.load();
        if (!io_control(handle, code::kInterruptRecord, nullptr, 0, record, kRecordSize))
            return false;
        if (bytes[kEndOfQueue] != 0)
            return true;
        MFB_BoardIntRoutine routine = self.slot->routine.load();
        if (!routine)
            return false;
        routine(handle, bytes[kRecordByte], le32(bytes + kWord1), le32(bytes + kWord2),
                le32(bytes + kValueCount), &record[kValues / 4]);
    }
    return false;
}

DWORD WINAPI interrupt_thread(LPVOID argument) {
    auto* slot = static_cast<BoardSlot*>(argument);
    InterruptThread self{slot, slot->stop_event.load(), slot->interrupt_event.load()};
    t_current = &self;
    HANDLE events[2] = {self.stop, self.interrupt}; // both set: the stop event wins, being first
    for (;;) {
        const DWORD woke = WaitForMultipleObjects(2, events, FALSE, INFINITE);
        if (woke == WAIT_OBJECT_0) {
            ResetEvent(self.stop);
            break;
        }
        if (woke != WAIT_OBJECT_0 + 1 || !ResetEvent(self.interrupt) || !drain(self))
            break;
    }
    t_current = nullptr;
    if (self.detached) {
        CloseHandle(self.interrupt);
        CloseHandle(self.stop);
        CloseHandle(self.own_handle);
    }
    return 0;
}

// Stops the board's interrupt thread and releases its events and thread handle; the slot's
// fields are cleared at once so that nothing else reaches the handles.
void tear_down(BoardSlot& slot) {
    HANDLE interrupt = slot.interrupt_event.exchange(nullptr);
    HANDLE stop = slot.stop_event.exchange(nullptr);
    HANDLE thread = slot.interrupt_thread.exchange(nullptr);
    // Should the stop event fail to be set, the interrupt event wakes the thread all the same: it
    // finds its stop event gone from the slot and ends.
    const bool woken = SetEvent(stop) || SetEvent(interrupt);
    if (t_current && t_current->slot == &slot && t_current->stop == stop) {
        t_current->detached = true;     // this thread ends when the routine returns ...
        t_current->own_handle = thread; // ... and closes the handles then
        return;
    }
    // Only a thread that has ended cannot use the handles any more. A thread that could not be
    // woken would never end, so there is nothing to wait for; should the wait itself fail, the
    // handles are likewise left open rather than closed under a thread that may still use them.
    if (!woken || WaitForSingleObject(thread, INFINITE) != WAIT_OBJECT_0)
        return;
    CloseHandle(interrupt);
    CloseHandle(stop);
    CloseHandle(thread);
}

} // namespace
} // namespace mfb

using namespace mfb;

extern "C" {

int16_t MFB_CALL i_MFB_SetBoardIntRoutine(MFB_BoardHandle dw_BoardHandle,
                                          MFB_BoardIntRoutine v_InterruptRoutine) {
    BoardSlot* slot = find_slot(dw_BoardHandle);
    if (!slot)
        return -1;
    if (slot->routine_installed.load() == 1)
        return -2;

    HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!stop)
        return -3;
    HANDLE interrupt = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!interrupt) {
        CloseHandle(stop);
        return -4;
    }
    slot->stop_event.store(stop);
    slot->interrupt_event.store(interrupt);
    HANDLE thread = CreateThread(nullptr, 0, interrupt_thread, slot, 0, nullptr);
    if (!thread) {
        slot->stop_event.store(nullptr);
        slot->interrupt_event.store(nullptr);
        CloseHandle(stop);
        CloseHandle(interrupt);
        return -5;
    }
    slot->interrupt_thread.store(thread);
    slot->routine.store(v_InterruptRoutine);

    if (!SetPriorityClass(GetCurrentProcess(), REALTIME_PRIORITY_CLASS)) {
        tear_down(*slot);
        return -6;
    }
    if (!SetThreadPriority(thread, THREAD_PRIORITY_TIME_CRITICAL)) {
        tear_down(*slot);
        return -7;
    }
    // From now on the driver sets this event whenever records are pending.
    Frame<4> request;
    request.u32<0>(platform::handle_value(interrupt));
    if (!io_control(dw_BoardHandle, code::kInterruptEvent, request, Io::RequestOnly)) {
        tear_down(*slot);
        return -8;
    }
    slot->routine_installed.store(1);
    return 0;
}

int16_t MFB_CALL i_MFB_ResetBoardIntRoutine(MFB_BoardHandle dw_BoardHandle) {
    BoardSlot* slot = find_slot(dw_BoardHandle);
    if (!slot)
        return -1;
    if (slot->routine_installed.load() != 1)
        return -2;
    tear_down(*slot);
    slot->routine.store(nullptr);
    slot->routine_installed.store(0);
    return 0;
}

} // extern "C"
