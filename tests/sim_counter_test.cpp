// The counter family end to end on the simulated board: counting on the bus clock, latch, the
// board-wide self-test and clear, and a compare event delivered to the board's interrupt routine.
#include "bus_fixture.h"

#include "sim/counter_module.h"
#include "sim/sim_board.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

using namespace mfbtest;
using mfb::sim::CounterModule;

namespace {

constexpr std::uint64_t kMs = 1'000'000;

struct Record {
    std::uint32_t byte = 0, word1 = 0, word2 = 0;
    std::vector<std::uint32_t> values;
};

// Records that the library's interrupt thread delivered to the routine.
struct Delivered {
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<Record> records;
};
Delivered* g_delivered = nullptr;

void MFB_CALL deliver(std::uint32_t, std::uint32_t byte, std::uint32_t word1, std::uint32_t word2,
                      std::uint32_t count, std::uint32_t* values) {
    std::lock_guard lock(g_delivered->mutex);
    g_delivered->records.push_back({byte, word1, word2, {values, values + count}});
    g_delivered->arrived.notify_all();
}

// Board 0: a counter at position 0, a timer at 1.
class SimCounter : public OpenSimBoard {
  protected:
    void SetUp() override {
        OpenSimBoard::SetUp();
        g_delivered = &delivered; // BusTest::TearDown ends the interrupt thread before it goes
    }

    template <class Fn> void counter(Fn fn) { bench<CounterModule>(0, fn); }
    std::uint32_t read32() {
        std::uint32_t v = 0xA5A5A5A5;
        EXPECT_EQ(i_MFB_Read32BitCounterValue(h, 0, &v), 0);
        return v;
    }
    std::uint32_t read16(std::uint8_t counter) {
        std::uint32_t v = 0xA5A5A5A5;
        EXPECT_EQ(i_MFB_Read16BitCounterValue(h, 0, counter, &v), 0);
        return v;
    }
    std::uint8_t latch_status(std::uint8_t reg) {
        std::uint8_t s = 0xA5;
        EXPECT_EQ(i_MFB_ReadLatchRegisterStatus(h, 0, reg, &s), 0);
        return s;
    }

    Delivered delivered;
};

TEST_F(SimCounter, CountsWithVirtualTime) {
    counter([](CounterModule& c) { c.set_rate(0, 1000); });
    mfb::vbus::advance(250 * kMs + 3 * kMs / 2);
    EXPECT_EQ(read32(), 251u) << "half an edge is not a count yet";
    mfb::vbus::advance(kMs / 2);
    EXPECT_EQ(read32(), 252u) << "the half edge was kept";
    counter([](CounterModule& c) { c.set_rate(0, -4000); });
    mfb::vbus::advance(100 * kMs);
    EXPECT_EQ(read32(), 0xFFFFFF6Cu) << "252 - 400 wraps below 0";
    EXPECT_EQ(i_MFB_InitCounter(h, 0, 0, 0, 0, 4, 0), 0);
    EXPECT_EQ(read32(), 0u) << "the set-up clears the counter";

    // Two 16-bit counters, each on its own input, read as halves of the counter word.
    ASSERT_EQ(i_MFB_InitCounter(h, 0, 1, 0, 0, 4, 0), 0);
    counter([](CounterModule& c) {
        c.set_rate(0, 1000);
        c.set_rate(1, -10);
    });
    mfb::vbus::advance(1000 * kMs);
    EXPECT_EQ(read16(0), 1000u);
    EXPECT_EQ(read16(1), 65526u) << "counter 1 borrowed on its own";
    EXPECT_EQ(read32(), (65526u << 16) | 1000u);
}

TEST_F(SimCounter, SoftwareLatch) {
    ASSERT_EQ(i_MFB_Write32BitCounterValue(h, 0, 1234), 0);
    ASSERT_EQ(i_MFB_LatchCounter(h, 0, 1), 0);
    EXPECT_EQ(latch_status(0), 1);
    ASSERT_EQ(i_MFB_Write32BitCounterValue(h, 0, 99), 0);
    ASSERT_EQ(i_MFB_LatchCounter(h, 0, 1), 0);
    EXPECT_EQ(latch_status(0), 2) << "latched again before it was read";
    std::uint32_t v = 0;
    EXPECT_EQ(i_MFB_ReadLatchRegisterValue(h, 0, 0, &v), 0);
    EXPECT_EQ(v, 99u);
    EXPECT_EQ(latch_status(0), 0) << "reading the value empties it";
}

TEST_F(SimCounter, BoardSelfTestAndClearAllAskEveryCounter) {
    mfb::vbus::attach(mfb::sim::make_board(1)); // its counter sits at position 1
    MFB_BoardHandle h1 = 0;
    ASSERT_EQ(i_MFB_OpenBoardViaIndex(1, &h1), 0);
    std::uint8_t result = 0;
    EXPECT_EQ(i_MFB_CounterAutoTest(h, &result), 0);
    EXPECT_EQ(result, 0x01);
    EXPECT_EQ(i_MFB_CounterAutoTest(h1, &result), 0);
    EXPECT_EQ(result, 0x02);
    counter([](CounterModule& c) { c.set_self_test_fault(true); });
    EXPECT_EQ(i_MFB_CounterAutoTest(h, &result), 0) << "the board ran its test";
    EXPECT_EQ(result, 0x00) << "and the counter failed it";

    ASSERT_EQ(i_MFB_Write32BitCounterValue(h, 0, 55), 0);
    EXPECT_EQ(i_MFB_ClearAllCounterValue(h), 0);
    EXPECT_EQ(read32(), 0u);
}

// The compare event is queued on the board and reaches the installed routine through the
// library's interrupt thread.
TEST_F(SimCounter, CompareEventReachesTheRoutine) {
    ASSERT_EQ(i_MFB_SetBoardIntRoutine(h, deliver), 0);
    ASSERT_EQ(i_MFB_InitCompareLogic(h, 0, 500), 0);
    ASSERT_EQ(i_MFB_EnableCompareLogic(h, 0), 0);
    counter([](CounterModule& c) { c.set_rate(0, 1000); });
    mfb::vbus::advance(1000 * kMs);
    board->tick();
    std::unique_lock lock(delivered.mutex);
    ASSERT_TRUE(delivered.arrived.wait_for(lock, std::chrono::seconds(10),
                                           [&] { return !delivered.records.empty(); }));
    ASSERT_EQ(delivered.records.size(), 1u);
    const Record& r = delivered.records[0];
    EXPECT_EQ(r.byte, 0u) << "module position";
    EXPECT_EQ(r.word1, 3u) << "compare";
    EXPECT_EQ(r.word2, 500u);
    EXPECT_EQ(r.values, (std::vector<std::uint32_t>{1, 1, 0}));
}

} // namespace
