// Board interrupts on the real Windows runtime: the library's events, its interrupt thread at its
// priorities, records delivered in order to the application's routine, and the routine removed
// from outside and from inside itself, with the thread gone and its handles closed afterwards.
#include "scenarios.h"

#include <array>
#include <mutex>

namespace wintest {
namespace {

// One call of the routine, as it arrived.
struct Delivery {
    std::uint32_t board, record_byte, word1, word2, value_count;
    std::array<std::uint32_t, 16> values;
    DWORD thread;
    int thread_priority;
};

// What the routine saw. It is a plain function, so it reports here.
struct Deliveries {
    std::mutex mutex;
    std::vector<Delivery> list;
    HANDLE thread = nullptr;     // the interrupt thread, duplicated at its first call
    std::size_t reset_after = 0; // remove the routine from inside at this many calls (0: never)
    std::int16_t reset_status = 1;

    void start(std::size_t reset_at) {
        std::lock_guard lock(mutex);
        list.clear();
        forget_thread();
        reset_after = reset_at;
        reset_status = 1;
    }
    void forget_thread() {
        if (thread)
            CloseHandle(thread);
        thread = nullptr;
    }
    std::size_t size() {
        std::lock_guard lock(mutex);
        return list.size();
    }
} g_deliveries;

void MFB_CALL routine(uint32_t board, uint32_t record_byte, uint32_t word1, uint32_t word2,
                      uint32_t value_count, uint32_t* values) {
    Delivery d{board,
               record_byte,
               word1,
               word2,
               value_count,
               {},
               GetCurrentThreadId(),
               GetThreadPriority(GetCurrentThread())};
    std::copy(values, values + 16, d.values.begin());
    std::unique_lock lock(g_deliveries.mutex);
    if (!g_deliveries.thread)
        DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(),
                        &g_deliveries.thread, SYNCHRONIZE, FALSE, 0);
    g_deliveries.list.push_back(d);
    const bool reset = g_deliveries.list.size() == g_deliveries.reset_after;
    lock.unlock();
    if (reset) {
        const std::int16_t status = MFB(i_MFB_ResetBoardIntRoutine)(board);
        lock.lock();
        g_deliveries.reset_status = status;
    }
}

// Deliveries [from, to) are records from + first ... in order, for the board, all on one thread
// other than the caller's, running at time-critical priority.
void check_deliveries(Scenario& s, const std::vector<Delivery>& list, std::size_t from,
                      std::size_t to, std::uint32_t first, MFB_BoardHandle board) {
    for (std::size_t i = from; i < to && i < list.size(); ++i) {
        const Delivery& d = list[i];
        const mfb::sim::InterruptRecord r =
            numbered_record(first + static_cast<std::uint32_t>(i - from));
        const std::string which = "delivery " + std::to_string(i) + ": ";
        s.check(d.board == board && d.record_byte == r.record_byte && d.word1 == r.word1 &&
                    d.word2 == r.word2 && d.value_count == r.value_count && d.values == r.values,
                which + "record " + std::to_string(r.word1) + " as raised (came word 1 " +
                    show(d.word1) + ")",
                __FILE__, __LINE__);
        s.check(d.thread == list[from].thread && d.thread != GetCurrentThreadId(),
                which + "on the one interrupt thread", __FILE__, __LINE__);
        s.check(d.thread_priority == THREAD_PRIORITY_TIME_CRITICAL,
                which + "at time-critical priority (came " + show(d.thread_priority) + ")",
                __FILE__, __LINE__);
    }
}

std::vector<Delivery> deliveries() {
    std::lock_guard lock(g_deliveries.mutex);
    return g_deliveries.list;
}

} // namespace

void interrupts_in_order(Scenario& s) {
    OpenBoard b(s, 0);
    g_deliveries.start(0);
    const unsigned closes_before = bench::closes_passed_on();
    const unsigned refused_before = bench::closes_refused();

    REQUIRE(s, MFB(i_MFB_SetBoardIntRoutine)(b.handle(), routine) == 0);
    CHECK_EQ(s, MFB(i_MFB_SetBoardIntRoutine)(b.handle(), routine), -2);
    const DWORD priority_class = GetPriorityClass(GetCurrentProcess());
    // Windows gives the high class instead where the process may not raise itself to real time.
    CHECK(s, priority_class == REALTIME_PRIORITY_CLASS || priority_class == HIGH_PRIORITY_CLASS);

    // The board was handed an event of this process: a real one, not yet set.
    const auto handed = b.exchanges();
    REQUIRE(s, handed.size() == 1);
    REQUIRE(s, handed[0].code == 0x90002004 && handed[0].request.size() == 4);
    const std::uint32_t event = b.sim().interrupt_event();
    CHECK_EQ(s, handed[0].request, le32(event));
    CHECK_EQ(s, WaitForSingleObject(mfb::platform::to_handle(event), 0), WAIT_TIMEOUT);

    // Three records one at a time, then five at once: all arrive, in order.
    for (std::uint32_t n = 1; n <= 3; ++n) {
        b.sim().raise_interrupt(numbered_record(n));
        CHECK(s, wait_until([&] { return g_deliveries.size() == n; }));
    }
    for (std::uint32_t n = 4; n <= 8; ++n)
        b.sim().raise_interrupt(numbered_record(n));
    CHECK(s, wait_until([] { return g_deliveries.size() == 8; }));
    const auto list = deliveries();
    CHECK_EQ(s, list.size(), 8u);
    check_deliveries(s, list, 0, list.size(), 1, b.handle());
    CHECK_EQ(s, b.sim().pending_interrupts(), 0u);

    // The reset waits for the thread to end, then closes its two events and the thread handle.
    CHECK_EQ(s, MFB(i_MFB_ResetBoardIntRoutine)(b.handle()), 0);
    REQUIRE(s, g_deliveries.thread != nullptr);
    CHECK_EQ(s, WaitForSingleObject(g_deliveries.thread, 0), WAIT_OBJECT_0);
    CHECK_EQ(s, bench::closes_passed_on() - closes_before, 3u);
    CHECK_EQ(s, bench::closes_refused(), refused_before);
    CHECK_EQ(s, MFB(i_MFB_ResetBoardIntRoutine)(b.handle()), -2);

    // Nothing reads the board any more.
    b.sim().raise_interrupt(numbered_record(9));
    Sleep(50);
    CHECK_EQ(s, g_deliveries.size(), 8u);
    CHECK_EQ(s, b.sim().pending_interrupts(), 1u);
    g_deliveries.forget_thread();
}

void reset_inside_routine(Scenario& s) {
    OpenBoard b(s, 0);
    g_deliveries.start(3);
    const unsigned closes_before = bench::closes_passed_on();

    REQUIRE(s, MFB(i_MFB_SetBoardIntRoutine)(b.handle(), routine) == 0);
    for (std::uint32_t n = 1; n <= 5; ++n)
        b.sim().raise_interrupt(numbered_record(n));

    // The third call removes the routine; the thread ends when it returns, reads no further
    // record, and closes its own handles.
    CHECK(s, wait_until([] { return g_deliveries.size() >= 3; }));
    REQUIRE(s, wait_until([] {
                std::lock_guard lock(g_deliveries.mutex);
                return g_deliveries.thread != nullptr;
            }));
    CHECK_EQ(s, WaitForSingleObject(g_deliveries.thread, 5000), WAIT_OBJECT_0);
    {
        std::lock_guard lock(g_deliveries.mutex);
        CHECK_EQ(s, g_deliveries.reset_status, 0);
    }
    auto list = deliveries();
    CHECK_EQ(s, list.size(), 3u);
    check_deliveries(s, list, 0, list.size(), 1, b.handle());
    CHECK_EQ(s, b.sim().pending_interrupts(), 2u);
    CHECK_EQ(s, bench::closes_passed_on() - closes_before, 3u);
    CHECK_EQ(s, MFB(i_MFB_ResetBoardIntRoutine)(b.handle()), -2);

    // A new routine gets the two records left and the next one, in order, on a thread that runs
    // until the next reset.
    g_deliveries.forget_thread();
    {
        std::lock_guard lock(g_deliveries.mutex);
        g_deliveries.reset_after = 0;
    }
    REQUIRE(s, MFB(i_MFB_SetBoardIntRoutine)(b.handle(), routine) == 0);
    b.sim().raise_interrupt(numbered_record(6));
    CHECK(s, wait_until([] { return g_deliveries.size() == 6; }));
    list = deliveries();
    CHECK_EQ(s, list.size(), 6u);
    check_deliveries(s, list, 3, list.size(), 4, b.handle());
    HANDLE thread = nullptr;
    {
        std::lock_guard lock(g_deliveries.mutex);
        thread = g_deliveries.thread;
    }
    REQUIRE(s, thread != nullptr);
    CHECK_EQ(s, WaitForSingleObject(thread, 0), WAIT_TIMEOUT);
    CHECK_EQ(s, MFB(i_MFB_ResetBoardIntRoutine)(b.handle()), 0);
    CHECK_EQ(s, WaitForSingleObject(thread, 0), WAIT_OBJECT_0);
    g_deliveries.forget_thread();
}

} // namespace wintest
