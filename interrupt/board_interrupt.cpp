// Board interrupts, delivered to an application routine on a thread of the library's own.
//
// Installing a routine creates two manual-reset events (stop, interrupt) and the board's
// interrupt thread, raises the process and the thread to the highest priorities, and hands the
// interrupt event to the driver. The driver sets that event whenever records are pending; the
// thread resets it, then reads records one by one until the driver answers one with the
// end-of-queue flag, calling the routine for each. Resetting the event before the drain means a
// record the driver queues during the drain sets it again, so the next wait returns at once.
//
// Ownership. The two events, the thread handle and a pin on this module sit in one record, the
// InterruptDelivery, which the thread is started with and never looks up again in the slot. It
// has two references: the thread's own, and the installed routine's, held by the slot and dropped
// by whoever uninstalls the routine. The side that drops the last one closes the handles, so
// exactly one side does, however the two race.
//
// Uninstalling tells the thread to stop and waits for it to end, so that the routine is no longer
// running when it returns. The wait has a bound. On an interrupt thread (inside any board's
// routine) it does not wait at all: its own thread cannot end under it, and another board's may be
// waiting for this one. Elsewhere it waits at most kStopWaitMs, for a routine may block on
// something the uninstalling thread holds (an application lock, a window message, the loader lock
// during an unload). When the thread has not ended by then, it closes the handles itself as it
// ends.
//
// The thread's code must stay mapped while it runs, even when the application unloads the library
// meanwhile: install pins this module for the thread, and the thread drops the pin with
// FreeLibraryAndExitThread, which does not return into the code it may unmap.
#include "interrupt/board_interrupt.h"

#include "board/driver_channel.h"
#include "mfb.h"
#include "platform/win32.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <iterator>
#include <new>

namespace mfb {

struct InterruptDelivery {
    BoardSlot* slot;
    HANDLE stop_event;
    HANDLE interrupt_event;
    HANDLE thread = nullptr;
    HMODULE module = nullptr; // the pin that the thread drops as it ends
    std::atomic<bool> stopping{false};
    std::atomic<int> references{2}; // the thread's and the installed routine's
};

namespace {

// Offsets in the 80-byte InterruptRecord.
constexpr std::size_t kWord1 = 0;
constexpr std::size_t kWord2 = 4;
constexpr std::size_t kValues = 8; // sixteen u32
constexpr std::uint32_t kValueSlots = 16;
constexpr std::size_t kValueCount = 72;
constexpr std::size_t kRecordByte = 76;
constexpr std::size_t kEndOfQueue = 77;
constexpr std::uint32_t kRecordSize = 80;

// The longest that uninstalling a routine waits for the interrupt thread to end (see mfb.h).
constexpr DWORD kStopWaitMs = 1000;

// On an interrupt thread: its delivery. Null on every other thread.
thread_local InterruptDelivery* t_current = nullptr;

std::uint32_t le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

void destroy(InterruptDelivery* d) {
    d->~InterruptDelivery();
    HeapFree(GetProcessHeap(), 0, d);
}

// Drops one reference; the last one closes the events and the thread handle.
void release(InterruptDelivery* d) {
    if (d->references.fetch_sub(1) != 1)
        return;
    CloseHandle(d->interrupt_event);
    CloseHandle(d->stop_event);
    CloseHandle(d->thread);
    destroy(d);
}

// Reads and delivers records until the end of the queue. False when the thread must end: it is
// being stopped, or the slot holds no routine to call. A failed read ends only this drain; the
// next signal starts another.
bool drain(InterruptDelivery& d) {
    // The record buffer is an array of u32 so that the routine gets a properly typed and aligned
    // address of the sixteen values; the fields are decoded from its bytes.
    static_assert(kRecordSize % 4 == 0);
    std::uint32_t record[kRecordSize / 4];
    auto* bytes = reinterpret_cast<std::uint8_t*>(record);
    while (!d.stopping.load()) {
        // Every read starts from an empty record marked as the end of the queue: an answer too
        // short to reach the flag ends the drain instead of leaving the previous record in the
        // buffer to be delivered again and again.
        std::fill(std::begin(record), std::end(record), 0u);
        bytes[kEndOfQueue] = 1;
        const std::uint32_t handle = d.slot->handle.load();
        if (!io_control(handle, code::kInterruptRecord, nullptr, 0, record, kRecordSize))
            return true;
        if (bytes[kEndOfQueue] != 0)
            return true;
        if (d.stopping.load()) // read while the routine was being uninstalled: not delivered
            return false;
        MFB_BoardIntRoutine routine = d.slot->routine.load();
        if (!routine)
            return false;
        // The record holds sixteen values, whatever count the driver wrote.
        const std::uint32_t count = std::min(le32(bytes + kValueCount), kValueSlots);
        routine(handle, bytes[kRecordByte], le32(bytes + kWord1), le32(bytes + kWord2), count,
                &record[kValues / 4]);
    }
    return false;
}

DWORD WINAPI interrupt_thread(LPVOID argument) {
    auto* d = static_cast<InterruptDelivery*>(argument);
    t_current = d;
    // When both are set the stop event wins, being first.
    const HANDLE events[2] = {d->stop_event, d->interrupt_event};
    for (;;) {
        // A failed wait ends the thread: waiting again would fail again, at time-critical
        // priority. The stopping flag is looked at after every wake, so that a stop whose event
        // could not be set still ends the thread at the next interrupt.
        const DWORD woke = WaitForMultipleObjects(2, events, FALSE, INFINITE);
        if (woke != WAIT_OBJECT_0 + 1 || d->stopping.load())
            break;
        // A failed reset leaves the event set, so the next wait returns at once and tries again.
        if (ResetEvent(d->interrupt_event) && !drain(*d))
            break;
    }
    t_current = nullptr;
    const HMODULE module = d->module;
    release(d);
    FreeLibraryAndExitThread(module, 0);
}

// The record, the pin and the thread for two new events; null when any of them fails, with
// nothing held but the events.
InterruptDelivery* start_thread(BoardSlot& slot, HANDLE stop, HANDLE interrupt) {
    void* memory = HeapAlloc(GetProcessHeap(), 0, sizeof(InterruptDelivery));
    if (!memory)
        return nullptr;
    auto* d = new (memory) InterruptDelivery{&slot, stop, interrupt};
    if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                           reinterpret_cast<LPCSTR>(&interrupt_thread), &d->module)) {
        d->thread = CreateThread(nullptr, 0, interrupt_thread, d, 0, nullptr);
        if (d->thread)
            return d;
        FreeLibrary(d->module);
    }
    destroy(d);
    return nullptr;
}

// Stops the slot's interrupt thread and drops the installed routine's reference. Only the caller
// that uninstalled the routine (or an install that fails before the routine counts as installed)
// comes here.
void tear_down(BoardSlot& slot) {
    InterruptDelivery* d = slot.delivery.exchange(nullptr);
    if (!d)
        return;
    d->stopping.store(true);
    // Should the stop event fail to be set, the interrupt event wakes the thread all the same.
    if (!SetEvent(d->stop_event))
        SetEvent(d->interrupt_event);
    if (!t_current)
        WaitForSingleObject(d->thread, kStopWaitMs);
    release(d);
}

} // namespace

bool uninstall_routine(BoardSlot& slot) {
    std::uint8_t installed = 1;
    if (!slot.routine_installed.compare_exchange_strong(installed, 0))
        return false;
    tear_down(slot);
    slot.routine.store(nullptr);
    return true;
}

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
    InterruptDelivery* d = start_thread(*slot, stop, interrupt);
    if (!d) {
        CloseHandle(interrupt);
        CloseHandle(stop);
        return -5;
    }
    slot->delivery.store(d);
    slot->routine.store(v_InterruptRoutine);

    if (!SetPriorityClass(GetCurrentProcess(), REALTIME_PRIORITY_CLASS)) {
        tear_down(*slot);
        return -6;
    }
    if (!SetThreadPriority(d->thread, THREAD_PRIORITY_TIME_CRITICAL)) {
        tear_down(*slot);
        return -7;
    }
    // From the exchange on the driver sets the event whenever records are pending, at once if
    // some already are: the routine counts as installed before its first call, so that a reset
    // or a counter function called from inside it finds it so.
    slot->routine_installed.store(1);
    Frame<4> request;
    request.u32<0>(platform::handle_value(interrupt));
    if (!io_control(dw_BoardHandle, code::kInterruptEvent, request, Io::RequestOnly)) {
        uninstall_routine(*slot); // unless the routine already uninstalled itself
        return -8;
    }
    return 0;
}

int16_t MFB_CALL i_MFB_ResetBoardIntRoutine(MFB_BoardHandle dw_BoardHandle) {
    BoardSlot* slot = find_slot(dw_BoardHandle);
    if (!slot)
        return -1;
    return uninstall_routine(*slot) ? 0 : -2;
}

} // extern "C"
