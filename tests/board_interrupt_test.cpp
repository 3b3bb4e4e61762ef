// Board interrupt delivery with real threads: install and reset, the drain of records, and the
// tear-down that never closes a handle the interrupt thread may still use, nor waits without end.
#include "bus_fixture.h"

#include "sim/sim_board.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

using namespace mfbtest;
using mfb::vbus::Fn;

namespace {

constexpr std::uint32_t kInterruptEvent = 0x90002004;
constexpr std::uint32_t kInterruptRecord = 0x90002008;
constexpr auto kPatience = std::chrono::seconds(10);
// How long a call that must not hang is given before the test declares it hung.
constexpr auto kLimit = std::chrono::seconds(3);

using Record = mfb::sim::InterruptRecord;

// A simulated board with a counter at position 0, whose interrupt queue the test fills, with
// hooks that let a test act at an exact point of the drain.
class InterruptDriver : public mfb::sim::SimBoard {
  public:
    InterruptDriver() : SimBoard({"irq", {}, 4}, {mfb::sim::Function::Counter}) {}

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
    // Runs inside the install exchange, once the board has the event (and has signalled it, when
    // records are pending): the answer reaches the library only after it returns.
    std::function<void()> on_install;
    std::atomic<unsigned> failing_reads{0}; // so many record reads fail from now on
    // Set inside on_install: that install exchange fails once the hook has returned.
    std::atomic<bool> fail_this_install{false};
    // Bytes returned with an end-of-queue answer; fewer than 78 leave the flag out.
    std::atomic<std::uint32_t> end_of_queue_bytes{80};

    int exchange(mfb::vbus::Exchange& x) override {
        if (x.code == kInterruptRecord) {
            for (unsigned n = failing_reads.load(); n != 0;)
                if (failing_reads.compare_exchange_weak(n, n - 1))
                    return 0;
            ++reads_;
        }
        const int result = SimBoard::exchange(x);
        if (x.code == kInterruptEvent) {
            std::lock_guard lock(mutex_);
            handed_.push_back(event());
        }
        if (x.code == kInterruptEvent && on_install)
            on_install();
        if (x.code == kInterruptEvent && fail_this_install.exchange(false))
            return 0;
        if (x.code == kInterruptRecord && x.buffer[77] != 0) {
            x.bytes_returned = std::min(x.bytes_returned, end_of_queue_bytes.load());
            if (on_end_of_queue)
                on_end_of_queue();
        }
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

void set_inside(std::function<void(const Call&)> inside) {
    std::lock_guard lock(g_mutex);
    g_inside = std::move(inside);
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

// A point where a thread stops until the test lets it go on (or the test's patience runs out).
struct Gate {
    std::atomic<bool> reached{false}, open{false};
    void pass() {
        reached = true;
        const auto until = std::chrono::steady_clock::now() + kPatience;
        while (!open && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
};

// Ends the interrupt threads (a process reset makes their waits fail) before the test's locals
// that their routines use go out of scope, also when an assertion failed.
struct EndThreadsFirst {
    ~EndThreadsFirst() { mfb::vbus::reset_process(); }
};

// Whether a call on another thread returns within the limit. One that hangs is made to return
// the same way, so that the test can end.
template <class T> bool returns(std::future<T>& call) {
    if (call.wait_for(kLimit) == std::future_status::ready)
        return true;
    mfb::vbus::reset_process();
    call.wait();
    return false;
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
    // Waits until the record with this word 1 has reached the routine with this board handle.
    bool wait_call(std::uint32_t word1, MFB_BoardHandle h) {
        std::unique_lock lock(g_mutex);
        return g_changed.wait_for(lock, kPatience, [&] {
            return std::any_of(g_calls.begin(), g_calls.end(),
                               [&](const Call& c) { return c.word1 == word1 && c.handle == h; });
        });
    }
    // Waits until nothing of an interrupt routine is held any more: no event, thread or pin,
    // only the open board handles.
    bool eventually_released(std::size_t board_handles = 1) {
        return eventually([&] {
            return mfb::vbus::open_handles() == board_handles && mfb::vbus::module_pins() == 0;
        });
    }
    // Installs, has a record delivered and resets: the board works.
    void expect_working(MFB_BoardHandle h, InterruptDriver& d, std::uint32_t word1) {
        const std::size_t before = calls().size();
        ASSERT_EQ(i_MFB_SetBoardIntRoutine(h, routine), 0);
        d.push(record(word1));
        ASSERT_TRUE(wait_calls(before + 1));
        EXPECT_EQ(calls().back().word1, word1);
        EXPECT_EQ(i_MFB_ResetBoardIntRoutine(h), 0);
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
    // The board handle, two events and the thread, which pins the library until it has ended.
    EXPECT_EQ(mfb::vbus::open_handles(), 4u);
    EXPECT_EQ(mfb::vbus::module_pins(), 1u);
    EXPECT_EQ(i_MFB_SetBoardIntRoutine(board, routine), -2);
    EXPECT_EQ(i_MFB_ResetBoardIntRoutine(board), 0);
    EXPECT_EQ(mfb::vbus::open_handles(), 1u);
    EXPECT_EQ(mfb::vbus::module_pins(), 0u);
    EXPECT_EQ(mfb::vbus::calls(Fn::FreeLibraryAndExitThread), 1u);
    EXPECT_EQ(mfb::vbus::priority_class(), 0x100u) << "the process stays in real-time class";
    EXPECT_EQ(i_MFB_ResetBoardIntRoutine(board), -2);
}

struct InstallFault {
    Fn fn;
    unsigned nth;
    std::int16_t code;
};

// Every failing step of the install gives its code and leaves nothing behind: no event, no
// thread, no record of the thread, no pin on the library, the flag still 0 (a later install
// succeeds). (The count of the board's handle, made at the first install, stays until the close.)
TEST_F(BoardInterrupt, EveryInstallFailureReleasesWhatItHeld) {
    const InstallFault cases[] = {
        {Fn::HeapAlloc, 2, -5}, // the count of the board's handle
        {Fn::CreateEventA, 1, -3},      {Fn::CreateEventA, 2, -4},
        {Fn::HeapAlloc, 1, -5},         {Fn::GetModuleHandleExA, 1, -5},
        {Fn::CreateThread, 1, -5},      {Fn::SetPriorityClass, 1, -6},
        {Fn::SetThreadPriority, 1, -7}, {Fn::DeviceIoControl, 1, -8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << mfb::vbus::name(c.fn) << " #" << c.nth);
        const std::size_t blocks = mfb::vbus::heap_blocks();
        mfb::vbus::fail(c.fn, c.nth);
        EXPECT_EQ(i_MFB_SetBoardIntRoutine(board, routine), c.code);
        EXPECT_EQ(mfb::vbus::open_handles(), 1u);
        EXPECT_EQ(mfb::vbus::heap_blocks(), blocks);
        EXPECT_EQ(mfb::vbus::module_pins(), 0u);
        EXPECT_EQ(i_MFB_ResetBoardIntRoutine(board), -2);
        ASSERT_EQ(i_MFB_SetBoardIntRoutine(board, routine), 0);
        ASSERT_EQ(i_MFB_ResetBoardIntRoutine(board), 0);
    }
    EXPECT_EQ(i_MFB_CloseBoard(board), 0);
    EXPECT_EQ(mfb::vbus::open_handles(), 0u);
    EXPECT_EQ(mfb::vbus::heap_blocks(), 0u);
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

// Records already pending when the driver takes the event reach the routine before the install
// has returned (the driver answers only after the first call); the routine counts as installed.
TEST_F(BoardInterrupt, RoutineCalledBeforeInstallReturnsFindsItselfInstalled) {
    std::atomic<int> gated{1}, reset{1};
    set_inside([&](const Call& c) {
        gated = i_MFB_EnableLatchInterrupt(c.handle, 0); // refused while no routine counts
        reset = i_MFB_ResetBoardIntRoutine(c.handle);
    });
    driver->on_install = [&] { eventually([&] { return reset != 1; }); }; // the first call is over
    EndThreadsFirst end_threads_first;
    driver->push(record(1));
    ASSERT_EQ(i_MFB_SetBoardIntRoutine(board, routine), 0);
    EXPECT_TRUE(eventually_released());
    EXPECT_EQ(gated.load(), 0);
    EXPECT_EQ(reset.load(), 0);
    EXPECT_EQ(i_MFB_ResetBoardIntRoutine(board), -2) << "the routine uninstalled itself";
    driver->on_install = nullptr;
    set_inside(nullptr);
    expect_working(board, *driver, 2);
}

// Each of two boards' routines resets the other board at the same moment: a reset on an
// interrupt thread does not wait for a thread, which here would be waiting for it in turn.
TEST_F(BoardInterrupt, RoutinesResettingEachOthersBoardsAtOnceBothReturn) {
    auto other = std::make_shared<InterruptDriver>();
    mfb::vbus::attach(other);
    MFB_BoardHandle second = 0;
    ASSERT_EQ(i_MFB_OpenBoardViaIndex(1, &second), 0);
    std::atomic<int> inside{0}, returned{0};
    set_inside([&](const Call& c) {
        ++inside;
        eventually([&] { return inside == 2; }); // both routines are running
        if (i_MFB_ResetBoardIntRoutine(c.handle == board ? second : board) == 0)
            ++returned;
    });
    EndThreadsFirst end_threads_first;
    ASSERT_EQ(i_MFB_SetBoardIntRoutine(board, routine), 0);
    ASSERT_EQ(i_MFB_SetBoardIntRoutine(second, routine), 0);
    driver->push(record(1));
    other->push(record(2));
    EXPECT_TRUE(eventually([&] { return returned == 2; })) << "the resets hang";
    EXPECT_TRUE(eventually_released(2));
    set_inside(nullptr);
    expect_working(board, *driver, 3);
    expect_working(second, *other, 4);
}

// The routine waits for a lock that the resetting thread holds. The reset gives up waiting after
// its time limit (at once, on the virtual clock); the thread ends and releases everything once the
// routine returns, and delivers no further record.
TEST_F(BoardInterrupt, ResetReturnsWhileTheRoutineWaitsForTheResettingThread) {
    std::mutex held;
    set_inside([&](const Call&) { std::lock_guard wait_for_the_reset(held); });
    ASSERT_EQ(i_MFB_SetBoardIntRoutine(board, routine), 0);
    mfb::vbus::set_virtual_clock(true);
    auto reset = std::async(std::launch::async, [&] {
        std::lock_guard holds_it(held);
        driver->push(record(1));
        driver->push(record(2));
        return wait_calls(1) ? i_MFB_ResetBoardIntRoutine(board) : std::int16_t{99};
    });
    ASSERT_TRUE(returns(reset)) << "the reset hangs";
    EXPECT_EQ(reset.get(), 0);
    EXPECT_TRUE(eventually_released());
    EXPECT_EQ(calls().size(), 1u);
}

// The last close uninstalls the routine before the handle goes: nothing stays running on a closed
// handle, a reset with it finds no board, and the reopened board takes a new routine. An earlier
// close of a counted open changes nothing.
TEST_F(BoardInterrupt, LastCloseUninstallsTheRoutine) {
    ASSERT_EQ(i_MFB_OpenBoardViaIndex(0, &board), 0);
    ASSERT_EQ(i_MFB_SetBoardIntRoutine(board, routine), 0);
    ASSERT_EQ(i_MFB_CloseBoard(board), 0);
    driver->push(record(1));
    ASSERT_TRUE(wait_calls(1)) << "still installed after the first close";
    ASSERT_EQ(i_MFB_CloseBoard(board), 0);
    EXPECT_EQ(mfb::vbus::open_handles(), 0u);
    EXPECT_EQ(mfb::vbus::module_pins(), 0u);
    EXPECT_EQ(i_MFB_ResetBoardIntRoutine(board), -1);
    ASSERT_EQ(i_MFB_OpenBoardViaIndex(0, &board), 0);
    expect_working(board, *driver, 2);
}

// An interrupt thread that runs on after its board's last close (the close gave up waiting for it,
// was made on another board's interrupt thread and did not wait, or found a reset on another
// thread waiting for it) keeps the board's device handle open until it ends, so that the value
// goes to no other device meanwhile: neither its record read nor its routine's calls with the old
// handle reach the board opened next, nor the same board opened again. (The value once went to the
// next open at once: the stale routine's reset uninstalled the other board's routine and its close
// closed the other board's handle, and the held read took the other board's record and dropped it.)
enum class Closer { MainThread, OtherBoardsRoutine, MainThreadWhileAResetWaits };
struct StaleThread {
    const char* what;
    bool held_at_read; // held as it starts a record read, not inside the routine
    Closer closer;
    std::uint8_t reopened; // the board opened while the thread is held
};

TEST_F(BoardInterrupt, ThreadOfAClosedBoardReachesNoBoardOpenedAfter) {
    const StaleThread cases[] = {
        {"routine blocked, main thread closes, another board opened", false, Closer::MainThread, 1},
        {"routine blocked, another board's routine closes", false, Closer::OtherBoardsRoutine, 1},
        {"routine blocked, the same board opened again", false, Closer::MainThread, 0},
        {"routine blocked, closed while a reset waits", false, Closer::MainThreadWhileAResetWaits,
         1},
        {"held at its record read, main thread closes", true, Closer::MainThread, 1},
    };
    for (const StaleThread& c : cases) {
        SCOPED_TRACE(c.what);
        mfb::vbus::reset_process();
        {
            std::lock_guard lock(g_mutex);
            g_calls.clear();
        }
        std::shared_ptr<InterruptDriver> boards[3];
        for (auto& b : boards)
            mfb::vbus::attach(b = std::make_shared<InterruptDriver>());
        MFB_BoardHandle first = 0, closer = 0, next = 0;
        ASSERT_EQ(i_MFB_OpenBoardViaIndex(0, &first), 0);
        Gate gate;
        std::atomic<int> stale_reset{1}, stale_close{1}, closed{1};
        set_inside([&](const Call& call) {
            if (call.handle == first && !c.held_at_read) {
                gate.pass();
                stale_reset = i_MFB_ResetBoardIntRoutine(first);
                stale_close = i_MFB_CloseBoard(first);
            } else if (call.handle == closer) {
                closed = i_MFB_CloseBoard(first);
            }
        });
        EndThreadsFirst end_threads_first;
        ASSERT_EQ(i_MFB_SetBoardIntRoutine(first, routine), 0);
        if (c.held_at_read)
            mfb::vbus::on_call(Fn::DeviceIoControl, 1, [&] { gate.pass(); });
        boards[0]->push(record(1));
        ASSERT_TRUE(eventually([&] { return gate.reached.load(); }));

        std::future<std::int16_t> reset;
        if (c.closer == Closer::OtherBoardsRoutine) {
            ASSERT_EQ(i_MFB_OpenBoardViaIndex(2, &closer), 0);
            ASSERT_EQ(i_MFB_SetBoardIntRoutine(closer, routine), 0);
            boards[2]->push(record(2));
            ASSERT_TRUE(eventually([&] { return closed != 1; }));
        } else if (c.closer == Closer::MainThreadWhileAResetWaits) {
            reset =
                std::async(std::launch::async, [&] { return i_MFB_ResetBoardIntRoutine(first); });
            ASSERT_TRUE(eventually([] { return mfb::vbus::calls(Fn::WaitForSingleObject) == 1; }));
            closed = i_MFB_CloseBoard(first);
        } else {
            mfb::vbus::set_virtual_clock(true); // the close's wait for the thread runs out at once
            closed = i_MFB_CloseBoard(first);
            mfb::vbus::set_virtual_clock(false);
        }
        EXPECT_EQ(closed.load(), 0);
        ASSERT_EQ(i_MFB_OpenBoardViaIndex(c.reopened, &next), 0);
        EXPECT_NE(next, first) << "a handle value that the thread still uses was handed out again";
        boards[c.reopened]->push(record(7));
        if (!c.held_at_read) { // the board opened next works while the old thread is held
            ASSERT_EQ(i_MFB_SetBoardIntRoutine(next, routine), 0);
            EXPECT_TRUE(wait_call(7, next));
        }
        gate.open = true;
        EXPECT_EQ(reset.valid() ? reset.get() : 0, 0);
        const std::size_t running =
            (c.held_at_read ? 0 : 1) + (c.closer == Closer::OtherBoardsRoutine ? 1 : 0);
        ASSERT_TRUE(eventually([&] { return mfb::vbus::module_pins() == running; }));
        EXPECT_EQ(stale_reset.load(), c.held_at_read ? 1 : -1);
        EXPECT_EQ(stale_close.load(), c.held_at_read ? 1 : -2);

        if (c.held_at_read) {
            ASSERT_EQ(i_MFB_SetBoardIntRoutine(next, routine), 0);
            EXPECT_TRUE(wait_call(7, next)) << "the held read took the next board's record";
        }
        boards[c.reopened]->push(record(8));
        EXPECT_TRUE(wait_call(8, next)) << "the next board's routine was uninstalled";
        EXPECT_EQ(i_MFB_CloseBoard(next), 0);
        EXPECT_EQ(closer ? i_MFB_CloseBoard(closer) : 0, 0);
        EXPECT_TRUE(eventually([] {
            return mfb::vbus::open_handles() == 0 && mfb::vbus::module_pins() == 0 &&
                   mfb::vbus::heap_blocks() == 0;
        }));
        set_inside(nullptr);
    }
}

// While a reset waits for the interrupt thread, another reset finds no routine installed, and an
// install either fails with -2 or installs a routine that works. (The reset once let an install in
// and then cleared its routine: the install returned 0, and nothing was delivered afterwards.)
TEST_F(BoardInterrupt, WhileAResetWaitsResetsFindNoneAndInstallsFailOrWork) {
    Gate gate;
    set_inside([&](const Call& c) {
        if (c.word1 == 1)
            gate.pass();
    });
    EndThreadsFirst end_threads_first;
    ASSERT_EQ(i_MFB_SetBoardIntRoutine(board, routine), 0);
    driver->push(record(1));
    ASSERT_TRUE(eventually([&] { return gate.reached.load(); }));
    auto reset = std::async(std::launch::async, [&] { return i_MFB_ResetBoardIntRoutine(board); });
    ASSERT_TRUE(eventually([] { return mfb::vbus::calls(Fn::WaitForSingleObject) == 1; }));
    EXPECT_EQ(i_MFB_ResetBoardIntRoutine(board), -2);
    const std::int16_t installed = i_MFB_SetBoardIntRoutine(board, routine);
    gate.open = true;
    EXPECT_EQ(reset.get(), 0);
    if (installed != 0) {
        EXPECT_EQ(installed, -2);
        ASSERT_EQ(i_MFB_SetBoardIntRoutine(board, routine), 0);
    }
    driver->push(record(2));
    EXPECT_TRUE(wait_call(2, board)) << "installed without delivery";
    EXPECT_EQ(i_MFB_ResetBoardIntRoutine(board), 0);
    EXPECT_TRUE(eventually_released());
}

// The driver signals pending records and then fails the install exchange, by which time the
// routine has uninstalled itself and installed itself again: the install reports -8 and leaves the
// routine's own install in place.
TEST_F(BoardInterrupt, FailedInstallExchangeLeavesTheRoutinesOwnInstall) {
    std::atomic<int> reinstalled{1};
    set_inside([&](const Call& c) {
        if (c.word1 == 1 && i_MFB_ResetBoardIntRoutine(c.handle) == 0)
            reinstalled = i_MFB_SetBoardIntRoutine(c.handle, routine);
    });
    const std::thread::id application = std::this_thread::get_id();
    driver->on_install = [&] {
        if (std::this_thread::get_id() == application) { // not the routine's install
            eventually([&] { return reinstalled != 1; });
            driver->fail_this_install = true;
        }
    };
    EndThreadsFirst end_threads_first;
    driver->push(record(1));
    EXPECT_EQ(i_MFB_SetBoardIntRoutine(board, routine), -8);
    EXPECT_EQ(reinstalled.load(), 0);
    driver->push(record(2));
    EXPECT_TRUE(wait_call(2, board)) << "the routine's own install was torn down";
    EXPECT_EQ(i_MFB_ResetBoardIntRoutine(board), 0);
    EXPECT_TRUE(eventually_released());
}

// A record that the thread takes from the driver as a reset begins reaches the routine before the
// reset returns: it is neither dropped nor left to the next routine.
TEST_F(BoardInterrupt, RecordReadAsAResetBeginsIsDelivered) {
    Gate gate;
    EndThreadsFirst end_threads_first;
    ASSERT_EQ(i_MFB_SetBoardIntRoutine(board, routine), 0);
    mfb::vbus::on_call(Fn::DeviceIoControl, 1, [&] { gate.pass(); }); // the thread's record read
    driver->push(record(1));
    ASSERT_TRUE(eventually([&] { return gate.reached.load(); }));
    auto reset = std::async(std::launch::async, [&] { return i_MFB_ResetBoardIntRoutine(board); });
    ASSERT_TRUE(eventually([] { return mfb::vbus::calls(Fn::WaitForSingleObject) == 1; }));
    gate.open = true;
    EXPECT_EQ(reset.get(), 0);
    EXPECT_EQ(calls().size(), 1u) << "the record read was dropped";
    EXPECT_EQ(driver->pending_interrupts(), 0u);
}

// An end-of-queue answer that succeeds with too few bytes to reach the flag ends the drain: the
// previous record is not delivered again.
TEST_F(BoardInterrupt, ShortRecordAnswerEndsTheDrain) {
    set_inside([&](const Call&) { // should records repeat, stop the thread with failing reads
        if (calls().size() > 20)
            driver->failing_reads = 1000000;
    });
    for (std::uint32_t bytes : {0u, 40u, 77u}) {
        SCOPED_TRACE(testing::Message() << bytes << " bytes");
        const std::size_t before = calls().size();
        driver->end_of_queue_bytes = bytes;
        expect_working(board, *driver, 1);
        EXPECT_EQ(calls().size(), before + 1);
    }
}

TEST_F(BoardInterrupt, ValueCountReachesTheRoutineAtMostSixteen) {
    const std::pair<std::uint32_t, std::uint32_t> cases[] = {
        {0, 0}, {16, 16}, {17, 16}, {1000, 16}, {0xFFFFFFFF, 16}};
    ASSERT_EQ(i_MFB_SetBoardIntRoutine(board, routine), 0);
    for (const auto& [sent, delivered] : cases)
        driver->push(record(1, sent));
    ASSERT_TRUE(wait_calls(std::size(cases)));
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(calls()[i].count, cases[i].second) << cases[i].first;
}

struct TearDownFault {
    const char* what;
    Fn fn;
    std::int16_t install; // the status of the install made with the fault pending
};

// A single failed platform call in a tear-down neither hangs it nor leaves a thread behind: the
// thread ends and closes what it holds, and the board works afterwards.
TEST_F(BoardInterrupt, FailedCallInTheTearDownStillEndsTheThread) {
    const TearDownFault cases[] = {
        {"stop event not set by the reset", Fn::SetEvent, 0},
        {"failed wait in the reset", Fn::WaitForSingleObject, 0},
        {"failed wait in the tear-down of a failed install", Fn::WaitForSingleObject, -8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.install != 0)
            mfb::vbus::fail(Fn::DeviceIoControl); // the install exchange
        mfb::vbus::fail(c.fn);
        ASSERT_EQ(i_MFB_SetBoardIntRoutine(board, routine), c.install);
        auto reset = std::async(std::launch::async, [&] {
            return c.install == 0 ? i_MFB_ResetBoardIntRoutine(board) : std::int16_t{0};
        });
        ASSERT_TRUE(returns(reset)) << "the reset hangs";
        EXPECT_EQ(reset.get(), 0);
        EXPECT_TRUE(eventually_released());
        auto works = std::async(std::launch::async, [&] { expect_working(board, *driver, 1); });
        ASSERT_TRUE(returns(works)) << "the next install or reset hangs";
    }
}

// A failed record read, then a failed reset of the event, each end only the drain under way: what
// is pending is delivered after all. A failed wait ends the thread, and so does an event that
// cannot be reset twice in a row, which would otherwise wake the thread again and again at
// time-critical priority; a reset still cleans up, and the next routine gets what is pending.
TEST_F(BoardInterrupt, FailedReadOrEventResetEndsOnlyTheDrain) {
    ASSERT_EQ(i_MFB_SetBoardIntRoutine(board, routine), 0);
    driver->failing_reads = 1;
    driver->push(record(1));
    ASSERT_TRUE(eventually([&] { return driver->failing_reads == 0; }));
    mfb::vbus::fail(Fn::ResetEvent);
    driver->push(record(2)); // the signal whose event reset fails
    ASSERT_TRUE(wait_calls(2));
    EXPECT_EQ(calls()[0].word1, 1u);
    EXPECT_EQ(calls()[1].word1, 2u);
    EXPECT_EQ(i_MFB_ResetBoardIntRoutine(board), 0);

    mfb::vbus::fail(Fn::WaitForMultipleObjects);
    ASSERT_EQ(i_MFB_SetBoardIntRoutine(board, routine), 0);
    EXPECT_TRUE(eventually([] { return mfb::vbus::module_pins() == 0; })) << "the thread ended";
    EXPECT_EQ(i_MFB_ResetBoardIntRoutine(board), 0);
    EXPECT_EQ(mfb::vbus::open_handles(), 1u);

    ASSERT_EQ(i_MFB_SetBoardIntRoutine(board, routine), 0);
    mfb::vbus::fail(Fn::ResetEvent, 1);
    mfb::vbus::fail(Fn::ResetEvent, 2);
    driver->push(record(3));
    EXPECT_TRUE(eventually([] { return mfb::vbus::module_pins() == 0; })) << "the thread spins";
    EXPECT_EQ(i_MFB_ResetBoardIntRoutine(board), 0);
    EXPECT_EQ(driver->pending_interrupts(), 1u);
    ASSERT_EQ(i_MFB_SetBoardIntRoutine(board, routine), 0);
    EXPECT_TRUE(wait_call(3, board));
    EXPECT_EQ(i_MFB_ResetBoardIntRoutine(board), 0);
    expect_working(board, *driver, 4);
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

} // namespace
