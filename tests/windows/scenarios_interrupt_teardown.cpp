// Removing an interrupt routine where a tear-down could hang or free too early, on real Windows
// threads and events: two boards' routines resetting each other's board at the same moment, a
// routine that waits for a lock the resetting thread holds, a routine whose first call comes
// before the install has returned and resets its own board, and a routine still running after its
// board's last close while Windows hands out handle values to the next board opened.
//
// Each reset must return, and each interrupt thread must close its two events and its own handle
// exactly once, whichever side lets go of them last. Every wait here has a generous bound, so that
// a library that hangs fails its scenario instead of stopping the program; a routine left running
// by a failed scenario only touches state it shares by shared_ptr, never the scenario's stack.
#include "scenarios.h"

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

namespace wintest {
namespace {

// How long anything that must happen at all is given.
constexpr DWORD kPatienceMs = 10000;
constexpr std::uint32_t kInterruptEvent = 0x90002004;

using Inside = std::function<void(std::uint32_t board)>;

// What the routine saw, per board: word 1 of each record in the order of the calls, and the
// board's interrupt thread (a handle of the test's own, duplicated at the first call).
struct Seen {
    std::mutex mutex;
    std::map<std::uint32_t, std::vector<std::uint32_t>> words;
    std::map<std::uint32_t, HANDLE> threads;
    Inside inside; // run by the routine after the call is noted, outside the lock
} g_seen;

void MFB_CALL routine(std::uint32_t board, std::uint32_t, std::uint32_t word1, std::uint32_t,
                      std::uint32_t, std::uint32_t*) {
    Inside inside;
    {
        std::lock_guard lock(g_seen.mutex);
        g_seen.words[board].push_back(word1);
        if (!g_seen.threads.count(board)) {
            HANDLE thread = nullptr;
            DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &thread,
                            SYNCHRONIZE, FALSE, 0);
            g_seen.threads[board] = thread;
        }
        inside = g_seen.inside;
    }
    if (inside)
        inside(board);
}

// The routine's record for the length of a scenario: it starts empty, and at the end the routine
// does nothing more and the duplicated thread handles are closed.
class Watch {
  public:
    Watch() { clear(); }
    ~Watch() { clear(); }
    Watch(const Watch&) = delete;
    Watch& operator=(const Watch&) = delete;

    void inside(Inside f) {
        std::lock_guard lock(g_seen.mutex);
        g_seen.inside = std::move(f);
    }
    std::vector<std::uint32_t> words(std::uint32_t board) {
        std::lock_guard lock(g_seen.mutex);
        return g_seen.words[board];
    }
    // Null until the board's routine has been called.
    HANDLE thread(std::uint32_t board) {
        std::lock_guard lock(g_seen.mutex);
        auto it = g_seen.threads.find(board);
        return it == g_seen.threads.end() ? nullptr : it->second;
    }

  private:
    static void clear() {
        std::lock_guard lock(g_seen.mutex);
        g_seen.inside = nullptr;
        g_seen.words.clear();
        for (const auto& [board, thread] : g_seen.threads)
            CloseHandle(thread);
        g_seen.threads.clear();
    }
};

// The board's interrupt thread has ended (it was seen, and its handle is signalled).
bool thread_ended(Watch& watch, std::uint32_t board) {
    HANDLE thread = watch.thread(board);
    return thread && WaitForSingleObject(thread, kPatienceMs) == WAIT_OBJECT_0;
}

// After the hard case, the board takes a routine again and record n reaches it.
void works_again(Scenario& s, Watch& watch, OpenBoard& b, std::uint32_t n) {
    REQUIRE(s, MFB(i_MFB_SetBoardIntRoutine)(b.handle(), routine) == 0);
    b.sim().raise_interrupt(numbered_record(n));
    CHECK(s, wait_until([&] {
              const auto words = watch.words(b.handle());
              return !words.empty() && words.back() == n;
          }));
    CHECK_EQ(s, MFB(i_MFB_ResetBoardIntRoutine)(b.handle()), 0);
}

// A manual-reset event, closed with its last owner.
struct Event {
    HANDLE handle = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    Event() = default;
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;
    ~Event() {
        if (handle)
            CloseHandle(handle);
    }
};

// A board whose driver answers the handing over of the interrupt event only once the routine's
// first call is over. The driver signals pending records as soon as it has the event, so the
// routine then runs, and returns, before the install does.
class HoldingBoard : public RecordingBoard {
  public:
    HoldingBoard(std::shared_ptr<mfb::sim::SimBoard> sim, std::shared_ptr<Event> first_call_over)
        : RecordingBoard(std::move(sim)), first_call_over_(std::move(first_call_over)) {}
    int exchange(mfb::vbus::Exchange& x) override {
        const int result = RecordingBoard::exchange(x);
        if (x.code == kInterruptEvent)
            WaitForSingleObject(first_call_over_->handle, kPatienceMs);
        return result;
    }

  private:
    std::shared_ptr<Event> first_call_over_;
};

// A thread that takes a lock, lets the routine be called (which then waits for the lock), resets
// the routine, and keeps the lock until it is let go.
struct Resetter {
    MFB_BoardHandle board = 0;
    decltype(&i_MFB_ResetBoardIntRoutine) reset = nullptr;
    HANDLE lock = CreateMutexA(nullptr, FALSE, nullptr);
    Event holding, go_reset, reset_returned, let_go;
    std::atomic<int> status{1};
    std::atomic<DWORD> routine_got{WAIT_FAILED}; // the routine's wait for the lock

    Resetter() = default;
    Resetter(const Resetter&) = delete;
    Resetter& operator=(const Resetter&) = delete;
    ~Resetter() {
        if (lock)
            CloseHandle(lock);
    }
    bool made() const {
        return lock && holding.handle && go_reset.handle && reset_returned.handle && let_go.handle;
    }
};

// The thread owns a reference of its own, so that it may outlive a failed scenario.
DWORD WINAPI hold_lock_and_reset(LPVOID argument) {
    const std::unique_ptr<std::shared_ptr<Resetter>> owned(
        static_cast<std::shared_ptr<Resetter>*>(argument));
    Resetter& r = **owned;
    WaitForSingleObject(r.lock, INFINITE);
    SetEvent(r.holding.handle);
    if (WaitForSingleObject(r.go_reset.handle, kPatienceMs) == WAIT_OBJECT_0) {
        r.status = r.reset(r.board);
        SetEvent(r.reset_returned.handle);
        WaitForSingleObject(r.let_go.handle, kPatienceMs);
    }
    ReleaseMutex(r.lock);
    return 0;
}

HANDLE start_resetter(const std::shared_ptr<Resetter>& r) {
    auto* argument = new std::shared_ptr<Resetter>(r);
    HANDLE thread = CreateThread(nullptr, 0, hold_lock_and_reset, argument, 0, nullptr);
    if (!thread)
        delete argument;
    return thread;
}

} // namespace

void routines_reset_each_other(Scenario& s) {
    OpenBoard a(s, 0), b(s, 1);
    Watch watch;
    struct Shared {
        MFB_BoardHandle boards[2];
        decltype(&i_MFB_ResetBoardIntRoutine) reset;
        std::atomic<int> inside{0}, returned{0};
        std::atomic<int> status[2] = {1, 1};
    };
    auto shared = std::make_shared<Shared>();
    shared->boards[0] = a.handle();
    shared->boards[1] = b.handle();
    shared->reset = MFB(i_MFB_ResetBoardIntRoutine);
    // Each routine waits until both are running, then resets the other board: a reset that waited
    // for the other board's thread would wait for a thread that waits for it in turn.
    watch.inside([shared](std::uint32_t board) {
        ++shared->inside;
        wait_until([&] { return shared->inside.load() == 2; }, kPatienceMs);
        const int mine = board == shared->boards[0] ? 0 : 1;
        shared->status[mine] = shared->reset(shared->boards[1 - mine]);
        ++shared->returned;
    });
    const Closes closes;

    REQUIRE(s, MFB(i_MFB_SetBoardIntRoutine)(a.handle(), routine) == 0);
    REQUIRE(s, MFB(i_MFB_SetBoardIntRoutine)(b.handle(), routine) == 0);
    a.sim().raise_interrupt(numbered_record(1));
    b.sim().raise_interrupt(numbered_record(2));
    CHECK(s, wait_until([&] { return shared->returned.load() == 2; }, kPatienceMs));
    CHECK_EQ(s, shared->status[0].load(), 0);
    CHECK_EQ(s, shared->status[1].load(), 0);

    // Each thread ends once its routine returns, and its events and handle are closed once.
    CHECK(s, thread_ended(watch, a.handle()));
    CHECK(s, thread_ended(watch, b.handle()));
    CHECK_EQ(s, closes.more(), 6u);
    CHECK_EQ(s, closes.more_refused(), 0u);
    CHECK_EQ(s, watch.words(a.handle()), std::vector<std::uint32_t>{1});
    CHECK_EQ(s, watch.words(b.handle()), std::vector<std::uint32_t>{2});
    CHECK_EQ(s, MFB(i_MFB_ResetBoardIntRoutine)(a.handle()), -2);
    CHECK_EQ(s, MFB(i_MFB_ResetBoardIntRoutine)(b.handle()), -2);

    watch.inside(nullptr);
    works_again(s, watch, a, 3);
    works_again(s, watch, b, 4);
}

void routine_waits_for_the_resetting_thread(Scenario& s) {
    OpenBoard b(s, 0);
    Watch watch;
    auto shared = std::make_shared<Resetter>();
    REQUIRE(s, shared->made());
    shared->board = b.handle();
    shared->reset = MFB(i_MFB_ResetBoardIntRoutine);
    watch.inside([shared](std::uint32_t) {
        const DWORD got = WaitForSingleObject(shared->lock, 2 * kPatienceMs);
        if (got == WAIT_OBJECT_0 || got == WAIT_ABANDONED)
            ReleaseMutex(shared->lock);
        shared->routine_got = got;
    });
    REQUIRE(s, MFB(i_MFB_SetBoardIntRoutine)(b.handle(), routine) == 0);
    const Closes closes;
    HANDLE resetter = start_resetter(shared);
    REQUIRE(s, resetter != nullptr);

    CHECK_EQ(s, WaitForSingleObject(shared->holding.handle, kPatienceMs), WAIT_OBJECT_0);
    b.sim().raise_interrupt(numbered_record(1));
    b.sim().raise_interrupt(numbered_record(2));
    CHECK(s, wait_until([&] { return watch.words(b.handle()).size() == 1; }));
    SetEvent(shared->go_reset.handle);

    // The reset gives up waiting for the thread and returns; the thread, still in the routine,
    // keeps its handles open until it ends.
    CHECK_EQ(s, WaitForSingleObject(shared->reset_returned.handle, kPatienceMs), WAIT_OBJECT_0);
    CHECK_EQ(s, shared->status.load(), 0);
    HANDLE thread = watch.thread(b.handle());
    CHECK(s, thread && WaitForSingleObject(thread, 0) == WAIT_TIMEOUT);
    CHECK_EQ(s, closes.more(), 0u);
    CHECK_EQ(s, MFB(i_MFB_ResetBoardIntRoutine)(b.handle()), -2);

    // Let go: the routine gets the lock and returns, and the thread ends without reading the
    // second record, closing its events and its handle once.
    SetEvent(shared->let_go.handle);
    CHECK_EQ(s, WaitForSingleObject(resetter, kPatienceMs), WAIT_OBJECT_0);
    CloseHandle(resetter);
    CHECK(s, thread_ended(watch, b.handle()));
    CHECK_EQ(s, shared->routine_got.load(), WAIT_OBJECT_0);
    CHECK_EQ(s, closes.more(), 3u);
    CHECK_EQ(s, closes.more_refused(), 0u);
    CHECK_EQ(s, watch.words(b.handle()), std::vector<std::uint32_t>{1});
    CHECK_EQ(s, b.sim().pending_interrupts(), 1u);
}

void reset_in_first_call_before_install_returns(Scenario& s) {
    struct Shared {
        std::shared_ptr<Event> first_call_over = std::make_shared<Event>();
        decltype(&i_MFB_ResetBoardIntRoutine) reset;
        std::atomic<bool> install_returned{false};
        std::atomic<bool> called_during_install{false};
        std::atomic<int> status{1};
    };
    auto shared = std::make_shared<Shared>();
    REQUIRE(s, shared->first_call_over->handle != nullptr);
    shared->reset = MFB(i_MFB_ResetBoardIntRoutine);
    // A third board, at index 2, whose driver holds the install's exchange.
    auto holding = std::make_shared<HoldingBoard>(mfb::sim::make_board(2), shared->first_call_over);
    REQUIRE(s, mfb::vbus::attach(holding) == 2);
    OpenBoard b(s, 2);
    Watch watch;
    watch.inside([shared](std::uint32_t board) {
        shared->called_during_install = !shared->install_returned.load();
        shared->status = shared->reset(board);
        SetEvent(shared->first_call_over->handle);
    });
    b.sim().raise_interrupt(numbered_record(1));
    b.sim().raise_interrupt(numbered_record(2));
    const Closes closes;

    // The routine counts as installed at its first call, so its reset uninstalls it; the install
    // still reports success, and the thread ends after the call without reading record 2.
    CHECK_EQ(s, MFB(i_MFB_SetBoardIntRoutine)(b.handle(), routine), 0);
    shared->install_returned = true;
    CHECK(s, shared->called_during_install.load());
    CHECK_EQ(s, shared->status.load(), 0);
    CHECK(s, thread_ended(watch, b.handle()));
    CHECK_EQ(s, closes.more(), 3u);
    CHECK_EQ(s, closes.more_refused(), 0u);
    CHECK_EQ(s, watch.words(b.handle()), std::vector<std::uint32_t>{1});
    CHECK_EQ(s, MFB(i_MFB_ResetBoardIntRoutine)(b.handle()), -2);
    CHECK_EQ(s, b.sim().pending_interrupts(), 1u);

    // A new routine gets the record left, then the next one.
    watch.inside(nullptr);
    works_again(s, watch, b, 3);
    CHECK_EQ(s, watch.words(b.handle()), (std::vector<std::uint32_t>{1, 2, 3}));
}

} // namespace wintest

namespace wintest {

void closed_boards_thread_reaches_no_board_opened_after(Scenario& s) {
    Watch watch;
    struct Shared {
        HANDLE lock = CreateMutexA(nullptr, FALSE, nullptr);
        MFB_BoardHandle first = 0;
        decltype(&i_MFB_ResetBoardIntRoutine) reset;
        decltype(&i_MFB_CloseBoard) close;
        std::atomic<bool> called{false};
        std::atomic<int> reset_status{1}, close_status{1};
        ~Shared() {
            if (lock)
                CloseHandle(lock);
        }
    };
    auto shared = std::make_shared<Shared>();
    REQUIRE(s, shared->lock && WaitForSingleObject(shared->lock, 0) == WAIT_OBJECT_0);
    shared->reset = MFB(i_MFB_ResetBoardIntRoutine);
    shared->close = MFB(i_MFB_CloseBoard);
    REQUIRE(s, MFB(i_MFB_OpenBoardViaIndex)(0, &shared->first) == 0);
    const MFB_BoardHandle first = shared->first;
    // The first call waits for the lock that this thread holds through the close, then uses the
    // board's handle as the routine still may.
    watch.inside([shared](std::uint32_t) {
        if (shared->called.exchange(true))
            return;
        if (WaitForSingleObject(shared->lock, kPatienceMs) == WAIT_OBJECT_0)
            ReleaseMutex(shared->lock);
        shared->reset_status = shared->reset(shared->first);
        shared->close_status = shared->close(shared->first);
    });
    const Closes closes;
    REQUIRE(s, MFB(i_MFB_SetBoardIntRoutine)(first, routine) == 0);
    bench::board(0)->sim().raise_interrupt(numbered_record(1));
    REQUIRE(s, wait_until([&] { return watch.words(first).size() == 1; }));

    // The close gives up waiting for the thread and returns; the thread keeps the device handle,
    // so Windows gives the board opened next another value.
    CHECK_EQ(s, MFB(i_MFB_CloseBoard)(first), 0);
    CHECK(s, bench::board_of(first) != nullptr);
    OpenBoard next(s, 1);
    CHECK(s, next.handle() != first);
    REQUIRE(s, MFB(i_MFB_SetBoardIntRoutine)(next.handle(), routine) == 0);
    next.sim().raise_interrupt(numbered_record(2));
    CHECK(s, wait_until([&] { return watch.words(next.handle()).size() == 1; }));

    // Let go: the old routine's calls with the old handle find no board, and the thread closes
    // the device handle as it ends.
    ReleaseMutex(shared->lock);
    CHECK(s, thread_ended(watch, first));
    CHECK_EQ(s, shared->reset_status.load(), -1);
    CHECK_EQ(s, shared->close_status.load(), -2);
    CHECK(s, bench::board_of(first) == nullptr);
    CHECK_EQ(s, closes.more(), 3u);
    CHECK_EQ(s, closes.more_refused(), 0u);

    // The next board's routine was left alone.
    next.sim().raise_interrupt(numbered_record(3));
    CHECK(s, wait_until([&] { return watch.words(next.handle()).size() == 2; }));
    CHECK_EQ(s, MFB(i_MFB_ResetBoardIntRoutine)(next.handle()), 0);
}

} // namespace wintest
