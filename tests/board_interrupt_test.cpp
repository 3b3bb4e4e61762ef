// Board interrupt delivery with real threads: install and reset, the drain of records, and the
// tear-down that never closes a handle the interrupt thread may still use.
#include "bus_fixture.h"

#include "sim/counter_module.h"
#include "sim/sim_board.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>

using namespace mfbtest;
using mfb::vbus::Fn;

namespace {

constexpr std::uint32_t kInterruptEvent = 0x90002004;
constexpr std::uint32_t kInterruptRecord = 0x90002008;
constexpr auto kPatience = std::chrono::seconds(10);

using Record = mfb::sim::InterruptRecord;

// A simulated board with no modules, whose interrupt queue the test fills, with hooks that let a
// test act at an exact point of the drain.
class InterruptDriver : public mfb::sim::SimBoard {
  public:
    InterruptDriver() : SimBoard({"irq", {}, 4}, {}) {}

    void push(const Record& r) { raise_interrupt(r); }
    // The event the library handed over last, and every one it handed over.
    std::uint32_t event() const { return interrupt_event(); }
    std::vector<std::uint32_t> events_handed() const {
        std::lock_guard lock(mutex_);
        return handed_;
    }
    unsigned reads() const { return reads_.load(); }
    // Runs inside the exchange that answers the end of the queue.
    std::function<void()> on_end_of_queue;
    std::atomic<bool> fail_reads{false};

    int exchange(mfb::vbus::Exchange& x) override {
        if (x.code == kInterruptRecord) {
            if (fail_reads)
                return 0;
            ++reads_;
        }
        const int result = SimBoard::exchange(x);
        if (x.code == kInterruptEvent) {
            std::lock_guard lock(mutex_);
            handed_.push_back(event());
        }
        if (x.code == kInterruptRecord && x.buffer[77] != 0 && on_end_of_queue)
            on_end_of_queue();
        return result;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::uint32_t> handed_;
    std::atomic<unsigned> reads_{0};
};

// What the routine saw, shared with the test thread.
struct Call {
    std::uint32_t handle, byte, word1, word2, count;
    std::uint32_t values[16];
    std::thread::id thread;
};
std::mutex g_mutex;
std::condition_variable g_changed;
std::vector<Call> g_calls;
std::function<void(const Call&)> g_inside; // runs inside the routine, after the call is recorded

std::vector<Call> calls() {
    std::lock_guard lock(g_mutex);
    return g_calls;
}

void MFB_CALL routine(std::uint32_t handle, std::uint32_t byte, std::uint32_t word1,
                      std::uint32_t word2, std::uint32_t count, std::uint32_t* values) {
    Call c{handle, byte, word1, word2, count, {}, std::this_thread::get_id()};
    std::memcpy(c.values, values, sizeof c.values);
    std::function<void(const Call&)> inside;
    {
        std::lock_guard lock(g_mutex);
        g_calls.push_back(c);
        inside = g_inside;
    }
    g_changed.notify_all();
    if (inside)
        inside(c);
}

class BoardInterrupt : public BusTest {
  protected:
    std::shared_ptr<InterruptDriver> driver = std::make_shared<InterruptDriver>();
    MFB_BoardHandle board = 0;

    void SetUp() override {
        BusTest::SetUp();
        {
            std::lock_guard lock(g_mutex);
            g_calls.clear();
            g_inside = nullptr;
        }
        mfb::vbus::attach(driver);
        ASSERT_EQ(i_MFB_OpenBoardViaIndex(0, &board), 0);
    }
    void TearDown() override {
        BusTest::TearDown();
        std::lock_guard lock(g_mutex);
        g_inside = nullptr;
    }

    // Waits until the routine has been called n times in all.
    bool wait_calls(std::size_t n) {
        std::unique_lock lock(g_mutex);
        return g_changed.wait_for(lock, kPatience, [&] { return g_calls.size() >= n; });
    }
    // Waits until a condition on the bus holds (the interrupt thread acts on its own time).
    template <class P> bool eventually(P predicate) {
        auto until = std::chrono::steady_clock::now() + kPatience;
        while (!predicate()) {
            if (std::chrono::steady_clock::now() > until)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }
};

Record record(std::uint32_t word1, std::uint32_t count = 3, std::uint8_t byte = 0x81) {
    Record r;
    r.word1 = word1;
    r.word2 = ~word1;
    r.value_count = count;
    r.record_byte = byte;
    for (std::uint32_t i = 0; i < 16; ++i)
        r.values[i] = word1 * 100 + i;
    return r;
}

TEST_F(BoardInterrupt, InstallHandsTheDriverItsEventAndRaisesPriorities) {
    EXPECT_EQ(i_MFB_SetBoardIntRoutine(board + 4, routine), -1);
    EXPECT_EQ(i_MFB_SetBoardIntRoutine(0, routine), -1);
    EXPECT_EQ(i_MFB_ResetBoardIntRoutine(board + 4), -1);
    EXPECT_EQ(mfb::vbus::calls(Fn::CreateEventA), 0u);
    ASSERT_EQ(i_MFB_SetBoardIntRoutine(board, routine), 0);
    ASSERT_EQ(driver->events_handed().size(), 1u);
    EXPECT_TRUE(mfb::vbus::signal_event(driver->event())) << "the value handed over is an event";
    EXPECT_EQ(mfb::vbus::priority_class(), 0x100u);
    EXPECT_EQ(mfb::vbus::last_thread_priority(), 15);
    // The board handle, two events and the thread.
    EXPECT_EQ(mfb::vbus::open_handles(), 4u);
    EXPECT_EQ(i_MFB_SetBoardIntRoutine(board, routine), -2);
    EXPECT_EQ(i_MFB_ResetBoardIntRoutine(board), 0);
    EXPECT_EQ(mfb::vbus::open_handles(), 1u);
    EXPECT_EQ(mfb::vbus::priority_class(), 0x100u) << "the process stays in real-time class";
    EXPECT_EQ(i_MFB_ResetBoardIntRoutine(board), -2);
}

struct InstallFault {
    Fn fn;
    unsigned nth;
    std::int16_t code;
};

// Every failing step of the install gives its code and leaves nothing behind: no event, no
// thread, the flag still 0 (a later install succeeds).
TEST_F(BoardInterrupt, EveryInstallFailureReleasesWhatItHeld) {
    const InstallFault cases[] = {
        {Fn::CreateEventA, 1, -3},     {Fn::CreateEventA, 2, -4},      {Fn::CreateThread, 1, -5},
        {Fn::SetPriorityClass, 1, -6}, {Fn::SetThreadPriority, 1, -7}, {Fn::DeviceIoControl, 1, -8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << mfb::vbus::name(c.fn) << " #" << c.nth);
        mfb::vbus::fail(c.fn, c.nth);
        EXPECT_EQ(i_MFB_SetBoardIntRoutine(board, routine), c.code);
        EXPECT_EQ(mfb::vbus::open_handles(), 1u);
        EXPECT_EQ(i_MFB_ResetBoardIntRoutine(board), -2);
        ASSERT_EQ(i_MFB_SetBoardIntRoutine(board, routine), 0);
        ASSERT_EQ(i_MFB_ResetBoardIntRoutine(board), 0);
    }
}

TEST_F(BoardInterrupt, TwoRecordsAtOneSignalGiveTwoCallsInOrder) {
    ASSERT_EQ(i_MFB_SetBoardIntRoutine(board, routine), 0);
    // Queue both before the one signal that counts.
    const std::uint32_t event = driver->event();
    ASSERT_NE(event, 0u);
    driver->push(record(1, 3, 0x81));
    driver->push(record(2, 0, 0x02)); // no valid values: delivered all the same
    ASSERT_TRUE(wait_calls(2));
    auto c = calls();
    ASSERT_EQ(c.size(), 2u);
    EXPECT_EQ(c[0].handle, board);
    EXPECT_EQ(c[0].byte, 0x81u);
    EXPECT_EQ(c[0].word1, 1u);
    EXPECT_EQ(c[0].word2, ~1u);
    EXPECT_EQ(c[0].count, 3u);
    EXPECT_EQ(c[0].values[0], 100u);
    EXPECT_EQ(c[0].values[15], 115u);
    EXPECT_EQ(c[1].word1, 2u);
    EXPECT_EQ(c[1].count, 0u);
    EXPECT_EQ(c[1].values[15], 215u) << "the routine still gets the sixteen values";
    EXPECT_NE(c[0].thread, std::this_thread::get_id());
    // The thread waits again: a later record is delivered too.
    driver->push(record(3));
    ASSERT_TRUE(wait_calls(3));
    EXPECT_EQ(calls()[2].word1, 3u);
    EXPECT_EQ(i_MFB_ResetBoardIntRoutine(board), 0);
    EXPECT_EQ(calls().size(), 3u) << "the end-of-queue records call nothing";
}

TEST_F(BoardInterrupt, NullRoutineEndsTheThreadAtTheFirstRecord) {
    ASSERT_EQ(i_MFB_SetBoardIntRoutine(board, nullptr), 0);
    driver->push(record(1));
    ASSERT_TRUE(eventually([&] { return driver->reads() == 1; }));
    driver->push(record(2));
    // Nothing reads the second record: the thread has ended.
    EXPECT_EQ(driver->reads(), 1u);
    EXPECT_EQ(i_MFB_ResetBoardIntRoutine(board), 0) << "the flag stayed 1";
    EXPECT_EQ(mfb::vbus::open_handles(), 1u);
}

TEST_F(BoardInterrupt, FailedReadEndsTheThreadAndResetStillCleansUp) {
    ASSERT_EQ(i_MFB_SetBoardIntRoutine(board, routine), 0);
    driver->fail_reads = true;
    driver->push(record(1));
    ASSERT_TRUE(eventually([&] { return mfb::vbus::calls(Fn::DeviceIoControl) >= 3; }));
    EXPECT_EQ(i_MFB_ResetBoardIntRoutine(board), 0);
    EXPECT_EQ(mfb::vbus::open_handles(), 1u);
    EXPECT_TRUE(calls().empty());
}

TEST_F(BoardInterrupt, InstallResetInstallCreatesNewEventsAndThread) {
    ASSERT_EQ(i_MFB_SetBoardIntRoutine(board, routine), 0);
    ASSERT_EQ(i_MFB_ResetBoardIntRoutine(board), 0);
    ASSERT_EQ(i_MFB_SetBoardIntRoutine(board, routine), 0);
    auto handed = driver->events_handed();
    ASSERT_EQ(handed.size(), 2u);
    EXPECT_NE(handed[0], handed[1]);
    EXPECT_FALSE(mfb::vbus::signal_event(handed[0])) << "the old event is closed";
    driver->push(record(5));
    ASSERT_TRUE(wait_calls(1));
    EXPECT_EQ(calls()[0].word1, 5u);
}

// A record queued after the drain has read the end of the queue, but before the thread waits
// again, sets the event once more; since the thread reset the event before draining, it wakes
// and delivers the record.
TEST_F(BoardInterrupt, SignalDuringTheDrainIsNotLost) {
    bool once = true;
    driver->on_end_of_queue = [&] {
        if (once) {
            once = false;
            driver->push(record(9));
        }
    };
    ASSERT_EQ(i_MFB_SetBoardIntRoutine(board, routine), 0);
    driver->push(record(8));
    ASSERT_TRUE(wait_calls(2));
    EXPECT_EQ(calls()[0].word1, 8u);
    EXPECT_EQ(calls()[1].word1, 9u);
}

TEST_F(BoardInterrupt, ResetWaitsForTheRoutineToReturn) {
    std::atomic<bool> returned{false};
    {
        std::lock_guard lock(g_mutex);
        g_inside = [&](const Call&) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            returned = true;
        };
    }
    ASSERT_EQ(i_MFB_SetBoardIntRoutine(board, routine), 0);
    driver->push(record(1));
    ASSERT_TRUE(wait_calls(1));
    EXPECT_EQ(i_MFB_ResetBoardIntRoutine(board), 0);
    EXPECT_TRUE(returned.load()) << "the handles were closed while the routine ran";
    EXPECT_EQ(mfb::vbus::open_handles(), 1u);
}

TEST_F(BoardInterrupt, ResetFromInsideTheRoutine) {
    std::atomic<int> status{1};
    {
        std::lock_guard lock(g_mutex);
        g_inside = [&](const Call& c) { status = i_MFB_ResetBoardIntRoutine(c.handle); };
    }
    ASSERT_EQ(i_MFB_SetBoardIntRoutine(board, routine), 0);
    driver->push(record(1));
    driver->push(record(2)); // already queued: must not be delivered after the reset
    ASSERT_TRUE(wait_calls(1));
    // The thread ends after the routine returns and closes its own handles.
    ASSERT_TRUE(eventually([] { return mfb::vbus::open_handles() == 1u; }));
    EXPECT_EQ(status.load(), 0);
    EXPECT_EQ(calls().size(), 1u);
    EXPECT_EQ(i_MFB_ResetBoardIntRoutine(board), -2);
    // The board takes a new routine.
    {
        std::lock_guard lock(g_mutex);
        g_inside = nullptr;
    }
    ASSERT_EQ(i_MFB_SetBoardIntRoutine(board, routine), 0);
    ASSERT_TRUE(wait_calls(2));
    EXPECT_EQ(calls()[1].word1, 2u);
}

TEST_F(BoardInterrupt, FailedWaitLeavesTheHandlesOpenRatherThanClosingThemInUse) {
    ASSERT_EQ(i_MFB_SetBoardIntRoutine(board, routine), 0);
    mfb::vbus::fail(Fn::WaitForSingleObject);
    EXPECT_EQ(i_MFB_ResetBoardIntRoutine(board), 0);
    EXPECT_EQ(mfb::vbus::open_handles(), 4u);
    EXPECT_EQ(i_MFB_ResetBoardIntRoutine(board), -2);
}

// A reset whose stop event cannot be set wakes the thread through its interrupt event and returns
// once the thread has ended; with neither event set it returns without waiting and leaves the
// handles open. (A reset once waited for ever for a thread that was never told to stop.)
TEST_F(BoardInterrupt, ResetReturnsWhenItsEventsCannotBeSet) {
    for (unsigned failures : {1u, 2u}) {
        SCOPED_TRACE(failures);
        ASSERT_EQ(i_MFB_SetBoardIntRoutine(board, routine), 0);
        for (unsigned n = 1; n <= failures; ++n)
            mfb::vbus::fail(Fn::SetEvent, n);
        std::atomic<int> status{1};
        std::thread reset([&] { status = i_MFB_ResetBoardIntRoutine(board); });
        const bool returned = eventually([&] { return status.load() != 1; });
        if (!returned)
            mfb::vbus::reset_process(); // fails the wait, so that the thread can be joined
        reset.join();
        ASSERT_TRUE(returned) << "the reset waits for a thread that was never told to stop";
        EXPECT_EQ(status.load(), 0);
        EXPECT_EQ(mfb::vbus::open_handles(), failures == 1 ? 1u : 4u);
    }
}

// Install and reset over and over while the simulated board's counter raises compare interrupts
// from the board's ticker thread; under ThreadSanitizer this must be free of data races, and no
// handle may leak.
TEST(BoardInterruptOnSimulatedBoard, InstallResetStressWhileTheCounterRaisesInterrupts) {
    mfb::vbus::reset_process();
    {
        std::lock_guard lock(g_mutex);
        g_calls.clear();
        g_inside = nullptr;
    }
    auto board = mfb::sim::make_board(0);
    mfb::vbus::attach(board);
    MFB_BoardHandle h = 0;
    ASSERT_EQ(i_MFB_OpenBoardViaIndex(0, &h), 0);
    ASSERT_TRUE(board->with_module<mfb::sim::CounterModule>(
        0, [](mfb::sim::CounterModule& m) { m.set_rate(0, 5000000); }));
    ASSERT_EQ(i_MFB_SetBoardIntRoutine(h, routine), 0);
    ASSERT_EQ(i_MFB_InitModuloCompareLogic(h, 0, 1000, 0), 0);
    ASSERT_EQ(i_MFB_EnableCompareLogic(h, 0), 0);
    board->start_ticker(1);
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(i_MFB_ResetBoardIntRoutine(h), 0);
        ASSERT_EQ(i_MFB_SetBoardIntRoutine(h, routine), 0);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    {
        std::unique_lock lock(g_mutex); // let at least one compare event through
        ASSERT_TRUE(g_changed.wait_for(lock, kPatience, [] { return !g_calls.empty(); }));
    }
    ASSERT_EQ(i_MFB_ResetBoardIntRoutine(h), 0);
    board->stop_ticker();
    EXPECT_EQ(mfb::vbus::open_handles(), 1u);
    for (const Call& c : calls())
        EXPECT_EQ(c.word1, 3u) << "compare records only";
    mfb::vbus::reset_process();
}

} // namespace
