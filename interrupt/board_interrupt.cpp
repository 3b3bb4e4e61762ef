// Board interrupts, delivered to an application routine on a thread of the library's own.
//
// Installing a routine creates two manual-reset events (stop, interrupt) and the board's
// interrupt thread, raises the process and the thread to the highest priorities, and hands the
// interrupt event to the driver. The driver sets that event whenever records are pending; the
// thread resets it, then reads records one by one until the driver answers one with the
// end-of-queue flag, calling the routine for each. Resetting the event before the drain means a
// record the driver queues during the drain sets it again, so the next wait returns at once.
//
// Ownership. The two events, the thread handle, a pin on this module, the routine and a reference
// to the board's device handle sit in one record, the InterruptDelivery, which the thread is
// started with and never looks up again in the slot: it reads records with the device handle that
// its record holds, so a close of the board cannot hand the value to another device under it. The
// record has up to three references: the thread's own, the installed routine's (dropped by
// whoever uninstalls the routine) and the installing call's while it runs. The side that drops the
// last one closes the handles and releases the device handle, so exactly one side does, however
// they race.
//
// Install and uninstall claim the slot by one compare-and-swap on its interrupt word
// (board_table.h): an install claims a free slot (0) for its record before it starts the thread,
// and marks the routine installed once the thread runs; an uninstall takes that mark away and keeps
// the claim until the thread has ended (or it has given up waiting), then frees the slot. So an
// install that races a reset or another install fails with -2 or installs a routine that works,
// never one that a reset under way then tears down, nor a second thread that delivers the board's
// records beside one that a reset still waits for.
//
// Uninstalling tells the thread to stop and waits for it to end, so that the routine is no longer
// running when it returns. A record the thread has already taken from the driver is delivered
// first. The wait has a bound. On an interrupt thread (inside any board's routine) it does not
// wait at all: its own thread cannot end under it, and another board's may be waiting for this
// one. Elsewhere it waits at most kStopWaitMs, for a routine may block on something the
// uninstalling thread holds (an application lock, a window message, the loader lock during an
// unload). When nobody waits any more, the thread calls the routine no more: a record it has read
// by then is lost, the only way one can be. The thread releases what it holds as it ends.
//
// The thread's code must stay mapped while it runs, even when the application unloads the library
// meanwhile: install pins this module for the thread, and the thread drops the pin with
// FreeLibraryAndExitThread, which does not return into the code it may unmap.
#include "interrupt/board_interrupt.h"

#include "board/driver_channel.h"
#include "mfb.h"
#include "platform/win32.h"
#include "protocol/interrupt_record.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <iterator>
#include <new>

namespace mfb {
namespace {

// How far the thread is from ending.
enum Stop : int {
    kRunning,
    kStopping, // an uninstall waits for the thread: deliver what is read, read nothing more
    kAbandoned // nobody waits for it any more: call the routine no more
};

struct InterruptDelivery {
    HANDLE stop_event;
    HANDLE interrupt_event;
    MFB_BoardIntRoutine routine;
    DeviceHandle* device = nullptr; // the board's device handle, which the thread reads with
    HANDLE thread = nullptr;
    HMODULE module = nullptr; // the pin that the thread drops as it ends
    std::atomic<int> stop{kRunning};
    std::atomic<int> references{3}; // the thread's, the installed routine's, the installing call's
};
static_assert(alignof(InterruptDelivery) > BoardSlot::kRoutineInstalled);

namespace record = protocol::interrupt_record;

// The longest that uninstalling a routine waits for the interrupt thread to end (see mfb.h).
constexpr DWORD kStopWaitMs = 1000;

// On an interrupt thread: its delivery. Null on every other thread.
thread_local InterruptDelivery* t_current = nullptr;

std::uintptr_t word_of(const InterruptDelivery* d) {
    return reinterpret_cast<std::uintptr_t>(d);
}

// What a record holds besides its references: its events, the device reference, the pin and the
// thread handle, whichever it has got. Then the record goes.
void destroy(InterruptDelivery* d) {
    CloseHandle(d->interrupt_event);
    CloseHandle(d->stop_event);
    if (d->thread)
        CloseHandle(d->thread);
    else if (d->module) // without a thread nobody else drops the pin
        FreeLibrary(d->module);
    if (d->device)
        release_device(d->device);
    d->~InterruptDelivery();
    HeapFree(GetProcessHeap(), 0, d);
}

// Drops one reference; the last one destroys the record.
void release(InterruptDelivery* d) {
    if (d->references.fetch_sub(1) == 1)
        destroy(d);
}

// Reads and delivers records until the end of the queue. False when the thread must end: it is
// being stopped, or there is no routine to call. A failed read ends only this drain; the next
// signal starts another.
bool drain(InterruptDelivery& d) {
    // The record buffer is an array of u32 so that the routine gets a properly typed and aligned
    // address of the sixteen values; the fields are decoded from its bytes.
    static_assert(record::kSize % 4 == 0 && record::kValues % 4 == 0);
    std::uint32_t words[record::kSize / 4];
    auto* bytes = reinterpret_cast<std::uint8_t*>(words);
    while (d.stop.load() == kRunning) {
        // Every read starts from an empty record marked as the end of the queue: an answer too
        // short to reach the flag ends the drain instead of leaving the previous record in the
        // buffer to be delivered again and again.
        std::fill(std::begin(words), std::end(words), 0u);
        bytes[record::kEndOfQueue] = 1;
        const std::uint32_t handle = d.device->value;
        if (!io_control(handle, protocol::board::kInterruptRecord.code, nullptr, 0, words,
                        record::kSize))
            return true;
        if (bytes[record::kEndOfQueue] != 0)
            return true;
        // A record taken from the driver is the routine's while an uninstall waits for it.
        if (d.stop.load() == kAbandoned || !d.routine)
            return false;
        // The record holds sixteen values, whatever count the driver wrote.
        const std::uint32_t count =
            std::min(protocol::get_le32(bytes + record::kValueCount), record::kValueSlots);
        d.routine(handle, bytes[record::kRecordByte], protocol::get_le32(bytes + record::kWord1),
                  protocol::get_le32(bytes + record::kWord2), count, &words[record::kValues / 4]);
    }
    return false;
}

DWORD WINAPI interrupt_thread(LPVOID argument) {
    auto* d = static_cast<InterruptDelivery*>(argument);
    t_current = d;
    // When both are set the stop event wins, being first.
    const HANDLE events[2] = {d->stop_event, d->interrupt_event};
    bool reset_failed = false;
    for (;;) {
        // A failed wait ends the thread: waiting again would fail again, at time-critical
        // priority. The stop state is looked at after every wake, so that a stop whose event
        // could not be set still ends the thread at the next interrupt.
        const DWORD woke = WaitForMultipleObjects(2, events, FALSE, INFINITE);
        if (woke != WAIT_OBJECT_0 + 1 || d->stop.load() != kRunning)
            break;
        // A failed reset leaves the event set, so the next wait returns at once and tries again.
        // An event that cannot be reset twice in a row would keep the thread spinning at
        // time-critical priority: it ends as a failed wait ends it, and the records stay queued.
        if (!ResetEvent(d->interrupt_event)) {
            if (reset_failed)
                break;
            reset_failed = true;
            continue;
        }
        reset_failed = false;
        if (!drain(*d))
            break;
    }
    t_current = nullptr;
    const HMODULE module = d->module;
    release(d);
    FreeLibraryAndExitThread(module, 0);
}

// The record for two new events, owning them from now on; null (the events still the caller's)
// when there is no memory.
InterruptDelivery* new_delivery(HANDLE stop, HANDLE interrupt, MFB_BoardIntRoutine routine) {
    void* memory = HeapAlloc(GetProcessHeap(), 0, sizeof(InterruptDelivery));
    return memory ? new (memory) InterruptDelivery{stop, interrupt, routine} : nullptr;
}

// The device reference, the pin and the thread; false when any of them fails.
bool start_thread(BoardSlot& slot, InterruptDelivery& d) {
    d.device = share_device(slot);
    if (!d.device || !GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                         reinterpret_cast<LPCSTR>(&interrupt_thread), &d.module))
        return false;
    d.thread = CreateThread(nullptr, 0, interrupt_thread, &d, 0, nullptr);
    return d.thread != nullptr;
}

// Tells the thread to stop, waits for it where that is safe, and drops the installed routine's
// reference.
void stop_thread(InterruptDelivery* d) {
    const bool wait = !t_current;
    d->stop.store(wait ? kStopping : kAbandoned);
    // Should the stop event fail to be set, the interrupt event wakes the thread all the same.
    if (!SetEvent(d->stop_event))
        SetEvent(d->interrupt_event);
    if (wait && WaitForSingleObject(d->thread, kStopWaitMs) != WAIT_OBJECT_0)
        d->stop.store(kAbandoned);
    release(d);
}

// Frees the slot's interrupt word that d has claimed.
void free_claim(BoardSlot& slot, const InterruptDelivery* d) {
    std::uintptr_t claimed = word_of(d);
    slot.interrupt.compare_exchange_strong(claimed, 0);
}

// Uninstalls the routine if it is installed (and, given `only`, if it is that record's): takes the
// mark away, stops the thread and frees the slot.
bool uninstall(BoardSlot& slot, const InterruptDelivery* only) {
    std::uintptr_t word = slot.interrupt.load();
    do {
        if (!(word & BoardSlot::kRoutineInstalled) ||
            (only && word != (word_of(only) | BoardSlot::kRoutineInstalled)))
            return false;
    } while (!slot.interrupt.compare_exchange_weak(word, word & ~BoardSlot::kRoutineInstalled));
    auto* d = reinterpret_cast<InterruptDelivery*>(word & ~BoardSlot::kRoutineInstalled);
    stop_thread(d);
    free_claim(slot, d);
    return true;
}

// An install that fails once its thread runs: the thread stops, the slot is free, and the
// installing call's reference goes.
std::int16_t abandon_install(BoardSlot& slot, InterruptDelivery* d, std::int16_t status) {
    stop_thread(d);
    free_claim(slot, d);
    release(d);
    return status;
}

} // namespace

bool uninstall_routine(BoardSlot& slot) {
    return uninstall(slot, nullptr);
}

} // namespace mfb

using namespace mfb;

extern "C" {

int16_t MFB_CALL i_MFB_SetBoardIntRoutine(MFB_BoardHandle dw_BoardHandle,
                                          MFB_BoardIntRoutine v_InterruptRoutine) {
    BoardSlot* slot = find_slot(dw_BoardHandle);
    if (!slot)
        return -1;
    // Installed, or being installed or uninstalled on another thread.
    if (slot->interrupt.load() != 0)
        return -2;

    HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!stop)
        return -3;
    HANDLE interrupt = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!interrupt) {
        CloseHandle(stop);
        return -4;
    }
    InterruptDelivery* d = new_delivery(stop, interrupt, v_InterruptRoutine);
    if (!d) {
        CloseHandle(interrupt);
        CloseHandle(stop);
        return -5;
    }
    std::uintptr_t free_word = 0;
    if (!slot->interrupt.compare_exchange_strong(free_word, word_of(d))) {
        destroy(d);
        return -2;
    }
    if (!start_thread(*slot, *d)) {
        free_claim(*slot, d);
        destroy(d);
        return -5;
    }

    if (!SetPriorityClass(GetCurrentProcess(), REALTIME_PRIORITY_CLASS))
        return abandon_install(*slot, d, -6);
    if (!SetThreadPriority(d->thread, THREAD_PRIORITY_TIME_CRITICAL))
        return abandon_install(*slot, d, -7);
    // From the exchange on the driver sets the event whenever records are pending, at once if
    // some already are: the routine counts as installed before its first call, so that a reset
    // or a counter function called from inside it finds it so.
    slot->interrupt.store(word_of(d) | BoardSlot::kRoutineInstalled);
    Buffer<protocol::board::kInterruptEvent> request;
    request.u32<0>(platform::handle_value(interrupt));
    const bool handed = io_control(dw_BoardHandle, request);
    // Unless the routine uninstalled itself meanwhile (and maybe installed itself again).
    if (!handed)
        uninstall(*slot, d);
    release(d);
    return handed ? 0 : -8;
}

int16_t MFB_CALL i_MFB_ResetBoardIntRoutine(MFB_BoardHandle dw_BoardHandle) {
    BoardSlot* slot = find_slot(dw_BoardHandle);
    if (!slot)
        return -1;
    return uninstall_routine(*slot) ? 0 : -2;
}

} // extern "C"
