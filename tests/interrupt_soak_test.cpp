// A soak of the whole interrupt path under load, with exact accounting of every record.
//
// Thirty simulated boards. Raiser threads queue numbered records on them as fast as the boards
// take them (each board has one raiser, so its numbers follow its queue order, and a board without
// a routine keeps at most kQueueLimit). Application threads meanwhile open, close, install and
// reset boards at random, one change of a board at a time as the application's contract asks; the
// routine never blocks. At the end every routine is reset, and each record raised must have reached
// its own board's routine, with that board's handle, exactly once and in order across re-installs,
// or still be queued in the board. Only a bounded wait that ran out may excuse a lost record (one
// per wait), and it is printed. Nothing may stay held: no handle, heap block or module pin.
//
// MFB_SOAK_SECONDS sets how long it runs (default 2); scripts/soak.sh runs it for as long as asked.
#include "mfb.h"
#include "mfb_vbus.h"
#include "sim/sim_board.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kBoards = 30;
constexpr std::size_t kRaisers = 3;
constexpr std::size_t kAppThreads = 3;
constexpr std::size_t kQueueLimit = 256;
constexpr int kMaxOpens = 3;
constexpr auto kWaitBound = std::chrono::milliseconds(1000); // the library's for a reset

struct Board {
    std::shared_ptr<mfb::sim::SimBoard> sim;
    std::uint32_t raised = 0; // by its raiser only, read after the raisers ended

    std::mutex changes; // the application's: one open, close, install or reset at a time
    int opens = 0;
    bool installed = false;
    unsigned waits_run_out = 0;
    std::atomic<std::uint32_t> handle{0}; // while open, for the routine to check

    std::mutex seen; // what the routine saw
    std::uint32_t next = 0, delivered = 0, skipped = 0;
    std::uint32_t wrong = 0;     // repeated, or not as raised
    std::uint32_t strangers = 0; // called with another handle than the board's
};

std::array<Board, kBoards> g_boards;

mfb::sim::InterruptRecord numbered(std::size_t board, std::uint32_t number) {
    mfb::sim::InterruptRecord r;
    r.word1 = static_cast<std::uint32_t>(board);
    r.word2 = number;
    r.values[0] = ~number;
    r.values[15] = number * 7;
    r.value_count = number % 17;
    r.record_byte = static_cast<std::uint8_t>(number);
    return r;
}

void MFB_CALL count(std::uint32_t handle, std::uint32_t byte, std::uint32_t word1,
                    std::uint32_t number, std::uint32_t value_count, std::uint32_t* values) {
    Board& b = g_boards[word1 % kBoards];
    std::lock_guard lock(b.seen);
    const bool intact = word1 < kBoards && byte == (number & 0xFF) && values[0] == ~number &&
                        values[15] == number * 7 && value_count == std::min(number % 17, 16u);
    if (!intact || number < b.next) {
        ++b.wrong;
    } else if (handle != b.handle.load()) {
        ++b.strangers;
    } else {
        b.skipped += number - b.next;
        b.next = number + 1;
        ++b.delivered;
    }
}

double soak_seconds() {
    const char* text = std::getenv("MFB_SOAK_SECONDS");
    return text ? std::strtod(text, nullptr) : 2.0;
}

// Changes made: opens, closes, installs, resets.
std::array<std::atomic<unsigned>, 4> g_done;

// One random change of a random board, as the application makes it.
void change_a_board(std::mt19937& random) {
    const std::size_t index = random() % kBoards;
    Board& b = g_boards[index];
    std::lock_guard lock(b.changes);
    MFB_BoardHandle h = b.handle.load();
    const auto timed = [&](decltype(&i_MFB_CloseBoard) call, const char* what) {
        const auto start = Clock::now();
        EXPECT_EQ(call(h), 0) << what << " of board " << index;
        if (Clock::now() - start >= kWaitBound) {
            ++b.waits_run_out;
            std::printf("soak: board %zu: the %s gave up waiting for the interrupt thread\n", index,
                        what);
        }
    };
    const unsigned change = random() % 4;
    switch (change) {
    case 0:
        if (b.opens == kMaxOpens)
            return;
        EXPECT_EQ(i_MFB_OpenBoardViaIndex(static_cast<std::uint8_t>(index), &h), 0);
        EXPECT_TRUE(b.opens == 0 || h == b.handle.load()) << "board " << index;
        b.handle = h;
        ++b.opens;
        break;
    case 1:
        if (b.opens == 0)
            return;
        timed(i_MFB_CloseBoard, "close");
        if (--b.opens == 0) {
            b.installed = false;
            b.handle = 0;
        }
        break;
    case 2:
        if (b.opens == 0 || b.installed)
            return;
        EXPECT_EQ(i_MFB_SetBoardIntRoutine(h, count), 0) << "install on board " << index;
        b.installed = true;
        break;
    default:
        if (!b.installed)
            return;
        timed(i_MFB_ResetBoardIntRoutine, "reset");
        b.installed = false;
    }
    ++g_done[change];
}

// Queues numbered records on the boards of one raiser while there is room.
void raise_records(std::size_t raiser, const std::atomic<bool>& stop) {
    std::mt19937 random(static_cast<unsigned>(raiser));
    while (!stop) {
        bool any = false;
        for (std::size_t i = raiser; i < kBoards; i += kRaisers) {
            Board& b = g_boards[i];
            if (b.sim->pending_interrupts() >= kQueueLimit)
                continue;
            for (unsigned n = 1 + random() % 4; n != 0; --n)
                b.sim->raise_interrupt(numbered(i, b.raised++));
            any = true;
        }
        if (!any)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        std::this_thread::yield();
    }
}

TEST(InterruptSoak, EveryRecordDeliveredOnceInOrderOrStillQueued) {
    mfb::vbus::reset_process();
    for (std::size_t i = 0; i < kBoards; ++i) {
        Board& b = g_boards[i];
        b.sim = mfb::sim::make_board(i);
        b.raised = b.next = b.delivered = b.skipped = b.wrong = b.strangers = 0;
        b.opens = 0, b.installed = false, b.waits_run_out = 0, b.handle = 0;
        mfb::vbus::attach(b.sim);
    }
    const double seconds = soak_seconds();
    std::atomic<bool> stop_changes{false}, stop_raising{false};
    for (auto& n : g_done)
        n = 0;
    std::vector<std::thread> raisers, applications;
    for (std::size_t r = 0; r < kRaisers; ++r)
        raisers.emplace_back(raise_records, r, std::cref(stop_raising));
    for (std::size_t a = 0; a < kAppThreads; ++a)
        applications.emplace_back([&, a] {
            std::mt19937 random(static_cast<unsigned>(100 + a));
            while (!stop_changes) {
                change_a_board(random);
                std::this_thread::sleep_for(std::chrono::microseconds(random() % 1000));
            }
        });
    const auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    stop_changes = true;
    for (auto& t : applications)
        t.join();
    stop_raising = true;
    for (auto& t : raisers)
        t.join();
    // A reset returns once its thread has delivered what it read: what is not delivered now stays
    // queued.
    for (Board& b : g_boards)
        EXPECT_EQ(b.installed ? i_MFB_ResetBoardIntRoutine(b.handle) : 0, 0);
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();

    unsigned long long raised = 0, delivered = 0, queued = 0, lost = 0, wrong = 0, strangers = 0,
                       run_out = 0;
    for (std::size_t i = 0; i < kBoards; ++i) {
        Board& b = g_boards[i];
        std::lock_guard lock(b.seen);
        const std::size_t waiting = b.sim->pending_interrupts();
        // The queue holds the records after the last one delivered; the routine saw the skipped.
        const long long missing = static_cast<long long>(b.raised) - b.next - waiting + b.skipped;
        EXPECT_GE(missing, 0) << "board " << i << ": more records accounted than raised";
        EXPECT_LE(missing, b.waits_run_out) << "board " << i << ": records lost";
        EXPECT_EQ(b.wrong, 0u) << "board " << i << ": records repeated or not as raised";
        EXPECT_LE(b.strangers, b.waits_run_out) << "board " << i << ": calls with another handle";
        raised += b.raised, delivered += b.delivered, queued += waiting;
        lost += static_cast<unsigned long long>(std::max(missing, 0ll));
        wrong += b.wrong, strangers += b.strangers, run_out += b.waits_run_out;
    }
    for (Board& b : g_boards) {
        for (; b.opens > 0; --b.opens)
            EXPECT_EQ(i_MFB_CloseBoard(b.handle), 0);
    }
    // A thread whose reset gave up waiting ends on its own and releases what it holds then.
    const auto until = Clock::now() + std::chrono::seconds(5);
    while ((mfb::vbus::open_handles() || mfb::vbus::heap_blocks() || mfb::vbus::module_pins()) &&
           Clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(mfb::vbus::open_handles(), 0u);
    EXPECT_EQ(mfb::vbus::heap_blocks(), 0u);
    EXPECT_EQ(mfb::vbus::module_pins(), 0u);

    std::printf("soak: %zu boards for %.1f s: %llu records raised, %llu delivered (%.0f/s), "
                "%llu still queued, lost %llu, repeated or wrong %llu, with another handle %llu; "
                "%u opens, %u closes, %u installs, %u resets; bounded waits run out %llu\n",
                kBoards, elapsed, raised, delivered, delivered / elapsed, queued, lost, wrong,
                strangers, g_done[0].load(), g_done[1].load(), g_done[2].load(), g_done[3].load(),
                run_out);
    mfb::vbus::reset_process();
}

} // namespace
