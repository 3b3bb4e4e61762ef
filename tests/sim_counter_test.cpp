// The counter family end to end on the simulated board: counting on the bus clock, latch, index
// and reference, compare logic and the interrupt records it raises.
#include "bus_fixture.h"

#include "platform/win32.h"
#include "sim/counter_module.h"
#include "sim/sim_board.h"

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <optional>
#include <vector>

using namespace mfbtest;
using mfb::sim::CounterModule;

namespace {

constexpr std::uint64_t kMs = 1'000'000;

struct Record {
    std::uint32_t byte = 0, word1 = 0, word2 = 0, count = 0;
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
    Record r{byte, word1, word2, count, std::vector<std::uint32_t>(values, values + count)};
    std::lock_guard lock(g_delivered->mutex);
    g_delivered->records.push_back(std::move(r));
    g_delivered->arrived.notify_all();
}

class SimCounter : public BusTest {
  protected:
    void SetUp() override {
        BusTest::SetUp();
        mfb::vbus::set_virtual_clock(true);
        board = mfb::sim::make_board(0); // a counter at position 0, a timer at 1
        mfb::vbus::attach(board);
        ASSERT_EQ(i_MFB_OpenBoardViaIndex(0, &h), 0);
        g_delivered = &delivered;
    }
    void TearDown() override {
        BusTest::TearDown(); // ends the interrupt thread before `delivered` goes
        g_delivered = nullptr;
    }

    template <class Fn> void bench(Fn fn) { ASSERT_TRUE(board->with_module<CounterModule>(0, fn)); }
    // A counter module in its power-on state at position 0.
    void fresh_module() { board->set_function(0, mfb::sim::Function::Counter); }

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
    std::uint32_t latch_value(std::uint8_t reg) {
        std::uint32_t v = 0xA5A5A5A5;
        EXPECT_EQ(i_MFB_ReadLatchRegisterValue(h, 0, reg, &v), 0);
        return v;
    }
    std::uint8_t status_byte(std::int16_t(MFB_CALL* read)(MFB_BoardHandle, uint8_t, uint8_t*)) {
        std::uint8_t s = 0xA5;
        EXPECT_EQ(read(h, 0, &s), 0);
        return s;
    }

    // Enable compare events, which needs the board's interrupt routine for the moment of the call.
    // Without a routine afterwards, the records the module raises stay in the board's queue.
    void enable_compare_and_leave_records_queued() {
        ASSERT_EQ(i_MFB_SetBoardIntRoutine(h, deliver), 0);
        ASSERT_EQ(i_MFB_EnableCompareLogic(h, 0), 0);
        ASSERT_EQ(i_MFB_ResetBoardIntRoutine(h), 0);
    }
    // The next record of the board's queue, read as the interrupt thread reads it.
    std::optional<Record> take_queued() {
        std::uint8_t rec[80] = {};
        DWORD n = 0;
        EXPECT_TRUE(DeviceIoControl(mfb::platform::to_handle(h), 0x90002008, nullptr, 0, rec, 80,
                                    &n, nullptr));
        if (rec[77] != 0)
            return std::nullopt;
        auto u32 = [&](std::size_t off) {
            std::uint32_t v;
            std::memcpy(&v, rec + off, 4);
            return v;
        };
        Record r{rec[76], u32(0), u32(4), u32(72), {}};
        for (std::uint32_t i = 0; i < r.count && i < 16; ++i)
            r.values.push_back(u32(8 + 4 * i));
        return r;
    }
    // Waits (on the real clock) until the routine got `n` records.
    std::vector<Record> wait_delivered(std::size_t n) {
        std::unique_lock lock(delivered.mutex);
        delivered.arrived.wait_for(lock, std::chrono::seconds(10),
                                   [&] { return delivered.records.size() >= n; });
        return delivered.records;
    }

    std::shared_ptr<mfb::sim::SimBoard> board;
    MFB_BoardHandle h = 0;
    Delivered delivered;
};

TEST_F(SimCounter, CountsAtTheEncoderRateOnTheBusClock) {
    bench([](CounterModule& c) { c.set_rate(0, 1000); });
    mfb::vbus::advance(250 * kMs);
    EXPECT_EQ(read32(), 250u);
    mfb::vbus::advance(3 * kMs / 2);
    EXPECT_EQ(read32(), 251u) << "half an edge is not a count yet";
    mfb::vbus::advance(kMs / 2);
    EXPECT_EQ(read32(), 252u) << "the half edge was kept";
    EXPECT_EQ(status_byte(i_MFB_GetUDStatus), 1) << "counting up";

    bench([](CounterModule& c) { c.set_rate(0, -4000); });
    mfb::vbus::advance(100 * kMs);
    EXPECT_EQ(read32(), 0xFFFFFF6Cu) << "252 - 400 wraps below 0";
    EXPECT_EQ(status_byte(i_MFB_GetUDStatus), 0);
    EXPECT_EQ(status_byte(i_MFB_GetCBStatus), 2) << "borrow";
    EXPECT_EQ(status_byte(i_MFB_GetCBStatus), 0) << "reading clears it";

    EXPECT_EQ(i_MFB_InitCounter(h, 0, 0, 0, 0, 4, 0), 0);
    EXPECT_EQ(read32(), 0u) << "the set-up clears the counter";
}

TEST_F(SimCounter, SetupBytesChooseEvaluationAndDirection) {
    struct Case {
        const char* name;
        std::uint8_t evaluation, inverted;
        std::int64_t edges;
        std::uint32_t expected;
    };
    const Case cases[] = {
        {"every edge", 4, 0, 10, 10},
        {"every second edge", 2, 0, 10, 5},
        {"one count per line", 1, 0, 10, 2},
        {"one count per line, backwards", 1, 0, -10, 0xFFFFFFFD},
        {"inverted", 4, 1, 10, 0xFFFFFFF6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fresh_module();
        ASSERT_EQ(i_MFB_InitCounter(h, 0, 0, c.inverted, 0, c.evaluation, 0), 0);
        bench([&](CounterModule& m) { m.pulse(0, c.edges); });
        EXPECT_EQ(read32(), c.expected);
    }
}

TEST_F(SimCounter, HysteresisSwallowsTheFirstCountAfterATurn) {
    ASSERT_EQ(i_MFB_InitCounter(h, 0, 0, 0, 0, 4, 1), 0);
    const std::pair<std::int64_t, std::uint32_t> steps[] = {{5, 5}, {-3, 3}, {-3, 0}, {1, 0}};
    for (auto [edges, expected] : steps) {
        bench([&](CounterModule& m) { m.pulse(0, edges); });
        EXPECT_EQ(read32(), expected) << edges;
    }
}

TEST_F(SimCounter, TwoSixteenBitCountersWithTheirOwnCarryAndBorrow) {
    ASSERT_EQ(i_MFB_InitCounter(h, 0, 1, 0, 0, 4, 0), 0);
    bench([](CounterModule& c) {
        c.set_rate(0, 1000);
        c.set_rate(1, -10);
    });
    mfb::vbus::advance(1000 * kMs);
    EXPECT_EQ(read16(0), 1000u);
    EXPECT_EQ(read16(1), 65526u);
    EXPECT_EQ(read32(), (65526u << 16) | 1000u);
    std::uint8_t cb0 = 0xA5, cb1 = 0xA5;
    EXPECT_EQ(i_MFB_Get16BitCBStatus(h, 0, &cb0, &cb1), 0);
    EXPECT_EQ(cb0, 0);
    EXPECT_EQ(cb1, 2) << "counter 1 borrowed";
    EXPECT_EQ(status_byte(i_MFB_GetUDStatus), 1) << "counter 0 up, counter 1 down";

    bench([](CounterModule& c) {
        c.set_rate(0, 0);
        c.set_rate(1, 0);
    });
    ASSERT_EQ(i_MFB_Write32BitCounterValue(h, 0, 0x0005FFFF), 0);
    bench([](CounterModule& c) { c.pulse(0, 1); });
    EXPECT_EQ(read16(0), 0u);
    EXPECT_EQ(read16(1), 5u) << "the carry of counter 0 does not reach counter 1";
    EXPECT_EQ(i_MFB_Get16BitCBStatus(h, 0, &cb0, &cb1), 0);
    EXPECT_EQ(cb0, 1);
    EXPECT_EQ(cb1, 0);

    // A 16-bit write sends a whole counter word, as the board cannot tell it from a 32-bit one:
    // writing counter 1 sets counter 0 to 0.
    ASSERT_EQ(i_MFB_Write16BitCounterValue(h, 0, 1, 0x1234), 0);
    EXPECT_EQ(read32(), 0x12340000u);
}

TEST_F(SimCounter, InputFilterSuppressesAnInputTooFast) {
    ASSERT_EQ(i_MFB_SetInputFilter(h, 0, 3, 0), 0); // input 0 up to 1,250,000 edges per second
    bench([](CounterModule& c) { c.set_rate(0, 2'000'000); });
    mfb::vbus::advance(kMs);
    EXPECT_EQ(read32(), 0u);
    bench([](CounterModule& c) {
        c.set_rate(0, 1'000'000);
        c.pulse(0, 7); // single pulses are always long enough
    });
    mfb::vbus::advance(kMs);
    EXPECT_EQ(read32(), 1007u);
    EXPECT_EQ(i_MFB_SetInputFilter(h, 0, 8, 0), -2) << "no step 8";
}

TEST_F(SimCounter, SoftwareLatchAndLatchRegisterStatus) {
    ASSERT_EQ(i_MFB_Write32BitCounterValue(h, 0, 1234), 0);
    ASSERT_EQ(i_MFB_LatchCounter(h, 0, 1), 0);
    EXPECT_EQ(latch_status(0), 1);
    EXPECT_EQ(latch_status(1), 0);
    ASSERT_EQ(i_MFB_Write32BitCounterValue(h, 0, 99), 0);
    ASSERT_EQ(i_MFB_LatchCounter(h, 0, 1), 0);
    EXPECT_EQ(latch_status(0), 2) << "latched again before it was read";
    EXPECT_EQ(latch_value(0), 99u);
    EXPECT_EQ(latch_status(0), 0) << "reading the value empties it";

    ASSERT_EQ(i_MFB_LatchCounter(h, 0, 3), 0);
    EXPECT_EQ(latch_value(0), 99u);
    EXPECT_EQ(latch_value(1), 99u);
    EXPECT_EQ(i_MFB_LatchCounter(h, 0, 0), -2) << "no register selected";
}

TEST_F(SimCounter, ExternalStrobeLatchesOnItsEdge) {
    ASSERT_EQ(i_MFB_InitExternalStrobe(h, 0, 1, 1), 0); // strobe 1, falling edge
    bench([](CounterModule& c) {
        c.pulse(0, 42);
        c.set_strobe(1, true);
        c.set_strobe(0, true); // strobe 0 is not set up
    });
    EXPECT_EQ(latch_status(1), 0) << "a rising edge does not latch";
    bench([](CounterModule& c) { c.set_strobe(1, false); });
    EXPECT_EQ(latch_status(1), 1);
    EXPECT_EQ(latch_value(1), 42u);
    EXPECT_EQ(latch_status(0), 0);
}

TEST_F(SimCounter, IndexClearsTheCounterWhereItSits) {
    bench([](CounterModule& c) { c.set_index_every(100); });
    ASSERT_EQ(i_MFB_InitIndex(h, 0, 0, 0, 0, 0), 0); // clear, both directions, every pulse
    ASSERT_EQ(i_MFB_EnableIndex(h, 0), 0);
    EXPECT_EQ(status_byte(i_MFB_GetIndexStatus), 0);
    bench([](CounterModule& c) { c.pulse(0, 150); });
    EXPECT_EQ(read32(), 50u) << "cleared at edge 100";
    EXPECT_EQ(status_byte(i_MFB_GetIndexStatus), 1);
    bench([](CounterModule& c) { c.pulse(0, 100); });
    EXPECT_EQ(read32(), 50u) << "and at edge 200";

    // Reference run: only the first index after enabling.
    ASSERT_EQ(i_MFB_InitIndex(h, 0, 0, 0, 1, 0), 0);
    ASSERT_EQ(i_MFB_EnableIndex(h, 0), 0);
    bench([](CounterModule& c) { c.pulse(0, 200); }); // edges 250 to 450
    EXPECT_EQ(read32(), 150u) << "cleared at 300 only";

    // Latch at the index, counting up only.
    ASSERT_EQ(i_MFB_InitIndex(h, 0, 1, 1, 0, 0), 0);
    ASSERT_EQ(i_MFB_EnableIndex(h, 0), 0);
    bench([](CounterModule& c) { c.pulse(0, -100); }); // down through 400
    EXPECT_EQ(latch_status(0), 0);
    bench([](CounterModule& c) { c.pulse(0, 100); }); // up through 400
    EXPECT_EQ(read32(), 150u);
    EXPECT_EQ(latch_status(0), 1);
    EXPECT_EQ(latch_value(0), 100u);
}

TEST_F(SimCounter, IndexFilterLosesTheIndexOfAFastEncoder) {
    bench([](CounterModule& c) { c.set_index_every(1000); });
    ASSERT_EQ(i_MFB_SetInputFilterEFG(h, 0, 7), 0); // up to 78,125 edges per second
    ASSERT_EQ(i_MFB_InitIndex(h, 0, 0, 0, 0, 0), 0);
    ASSERT_EQ(i_MFB_EnableIndex(h, 0), 0);
    bench([](CounterModule& c) { c.set_rate(0, 100'000); });
    mfb::vbus::advance(15 * kMs); // 1500 edges, through 1000
    EXPECT_EQ(read32(), 1500u);
    bench([](CounterModule& c) { c.set_rate(0, 50'000); });
    mfb::vbus::advance(20 * kMs); // 1000 edges, through 2000
    EXPECT_EQ(read32(), 500u);
}

TEST_F(SimCounter, ReferenceGatesTheIndexOrIsItsSource) {
    bench([](CounterModule& c) { c.set_index_every(100); });
    ASSERT_EQ(i_MFB_InitIndex(h, 0, 0, 0, 0, 0), 0);
    ASSERT_EQ(i_MFB_InitReference(h, 0, 1), 0); // active high
    ASSERT_EQ(i_MFB_EnableIndex(h, 0), 0);
    bench([](CounterModule& c) { c.pulse(0, 150); });
    EXPECT_EQ(read32(), 150u) << "the reference input is low";
    EXPECT_EQ(status_byte(i_MFB_GetReferenceStatus), 0);
    bench([](CounterModule& c) { c.set_reference(true); });
    EXPECT_EQ(status_byte(i_MFB_GetReferenceStatus), 1);
    bench([](CounterModule& c) { c.pulse(0, 100); });
    EXPECT_EQ(read32(), 50u);

    ASSERT_EQ(i_MFB_SetIndexAndReferenceSource(h, 0, 1), 0);
    ASSERT_EQ(i_MFB_Write32BitCounterValue(h, 0, 77), 0);
    bench([](CounterModule& c) { c.pulse(0, 100); });
    EXPECT_EQ(read32(), 177u) << "the index track no longer counts";
    bench([](CounterModule& c) { c.set_reference(false); });
    bench([](CounterModule& c) { c.set_reference(true); });
    EXPECT_EQ(read32(), 0u) << "the reference turning active is the index";
    EXPECT_EQ(status_byte(i_MFB_GetUASStatus), 0x0B) << "edge 350: A and B high; reference high";
}

// With the board's interrupt routine installed, a compare event reaches it through the library's
// interrupt thread.
TEST_F(SimCounter, CompareEventReachesTheRoutine) {
    ASSERT_EQ(i_MFB_SetBoardIntRoutine(h, deliver), 0);
    ASSERT_EQ(i_MFB_InitCompareLogic(h, 0, 500), 0);
    ASSERT_EQ(i_MFB_EnableCompareLogic(h, 0), 0);
    bench([](CounterModule& c) { c.set_rate(0, 1000); });
    mfb::vbus::advance(1000 * kMs);
    board->tick();
    auto records = wait_delivered(1);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].byte, 0u) << "module position";
    EXPECT_EQ(records[0].word1, 3u) << "compare";
    EXPECT_EQ(records[0].word2, 500u);
    EXPECT_EQ(records[0].values, (std::vector<std::uint32_t>{1, 1, 0}));
    std::uint32_t latched = 0;
    EXPECT_EQ(i_MFB_ReadCompareLatchRegister(h, 0, &latched), 0);
    EXPECT_EQ(latched, 500u);
    EXPECT_EQ(status_byte(i_MFB_GetInterruptUDLatchedStatus), 1);
}

TEST_F(SimCounter, LatchAndIndexInterruptsReachTheRoutine) {
    ASSERT_EQ(i_MFB_SetBoardIntRoutine(h, deliver), 0);
    ASSERT_EQ(i_MFB_EnableLatchInterrupt(h, 0), 0);
    ASSERT_EQ(i_MFB_Write32BitCounterValue(h, 0, 321), 0);
    ASSERT_EQ(i_MFB_LatchCounter(h, 0, 2), 0);
    ASSERT_EQ(i_MFB_InitIndex(h, 0, 0, 0, 0, 1), 0);
    ASSERT_EQ(i_MFB_EnableIndex(h, 0), 0);
    bench([](CounterModule& c) { c.index_pulse(); });
    board->tick();
    auto records = wait_delivered(2);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].word1, 1u) << "latch";
    EXPECT_EQ(records[0].word2, 321u);
    EXPECT_EQ(records[0].values, (std::vector<std::uint32_t>{1, 1, 2})) << "register 1";
    EXPECT_EQ(records[1].word1, 2u) << "index";
    EXPECT_EQ(records[1].word2, 321u) << "the counter before the index cleared it";
    EXPECT_EQ(read32(), 0u);
}

// Without a routine the board keeps what the module raises in its queue; events of one catch-up
// make one record that counts them.
TEST_F(SimCounter, ModuloCompareQueuesOneRecordPerCatchUp) {
    ASSERT_EQ(i_MFB_InitModuloCompareLogic(h, 0, 100, 1), 0); // the counter runs 0 to 99
    enable_compare_and_leave_records_queued();
    bench([](CounterModule& c) { c.set_rate(0, 1000); });
    mfb::vbus::advance(1050 * kMs);
    EXPECT_EQ(read32(), 50u);
    EXPECT_EQ(board->pending_interrupts(), 1u);
    auto r = take_queued();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->word1, 3u);
    EXPECT_EQ(r->word2, 0u) << "the first value of the new period";
    EXPECT_EQ(r->values, (std::vector<std::uint32_t>{10, 1, 0}));
    EXPECT_FALSE(take_queued()) << "end of the queue";
    EXPECT_EQ(status_byte(i_MFB_GetCBStatus), 1) << "the modulo counter wrapped";
    EXPECT_EQ(i_MFB_Write32BitCounterValue(h, 0, 100), -3) << "beyond the modulo";
}

TEST_F(SimCounter, ModuloCorrectionLengthensEveryNthPeriod) {
    ASSERT_EQ(i_MFB_InitModuloCompareLogic(h, 0, 100, 0), 0);
    ASSERT_EQ(i_MFB_ModuloCompareCorrection(h, 0, 1, 2), 0); // 100, 101, 100, 101, ...
    ASSERT_EQ(i_MFB_ConfigDigitalChlUse(h, 0, 1), 0);
    enable_compare_and_leave_records_queued();
    bench([](CounterModule& c) { c.pulse(0, 401); });
    board->tick();
    bench([](CounterModule& c) { c.pulse(0, 1); });
    board->tick();
    std::uint32_t latched = 0;
    EXPECT_EQ(i_MFB_ReadCompareLatchRegister(h, 0, &latched), 0);
    EXPECT_EQ(latched, 402u) << "events at 100, 201, 301, 402";
    auto first = take_queued(), second = take_queued();
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->values[0], 3u);
    EXPECT_EQ(first->word2, 301u);
    EXPECT_EQ(second->values[0], 1u);
    bench([](CounterModule& c) { EXPECT_FALSE(c.digital_channel()) << "toggled four times"; });

    bench([](CounterModule& c) { c.pulse(0, -1); }); // back over the boundary at 402
    board->tick();
    EXPECT_EQ(i_MFB_ReadCompareLatchRegister(h, 0, &latched), 0);
    EXPECT_EQ(latched, 401u);
    bench([](CounterModule& c) { EXPECT_TRUE(c.digital_channel()); });
    EXPECT_EQ(i_MFB_SetDigitalChlOff(h, 0), -3) << "the compare logic drives the channel";
}

TEST_F(SimCounter, BoardSelfTestAndClearAllAskEveryCounter) {
    auto second = mfb::sim::make_board(1); // its counter sits at position 1
    mfb::vbus::attach(second);
    MFB_BoardHandle h1 = 0;
    ASSERT_EQ(i_MFB_OpenBoardViaIndex(1, &h1), 0);
    std::uint8_t result = 0;
    EXPECT_EQ(i_MFB_CounterAutoTest(h, &result), 0);
    EXPECT_EQ(result, 0x01);
    EXPECT_EQ(i_MFB_CounterAutoTest(h1, &result), 0);
    EXPECT_EQ(result, 0x02);
    bench([](CounterModule& c) { c.set_self_test_fault(true); });
    EXPECT_EQ(i_MFB_CounterAutoTest(h, &result), 0) << "the board ran its test";
    EXPECT_EQ(result, 0x00) << "and the counter failed it";

    ASSERT_EQ(i_MFB_Write32BitCounterValue(h, 0, 55), 0);
    EXPECT_EQ(i_MFB_ClearAllCounterValue(h), 0);
    EXPECT_EQ(read32(), 0u);
}

// The module's refusals reach the caller as driver status minus one.
TEST_F(SimCounter, RefusalsOfTheModule) {
    using Step = std::int16_t (*)(MFB_BoardHandle);
    struct Case {
        const char* name;
        Step prepare;
        Step call;
        std::int16_t expected;
    };
    auto none = [](MFB_BoardHandle) -> std::int16_t { return 0; };
    auto sixteen_bit = [](MFB_BoardHandle b) { return i_MFB_InitCounter(b, 0, 1, 0, 0, 4, 0); };
    const Case cases[] = {
        {"range 2", none, [](MFB_BoardHandle b) { return i_MFB_InitCounter(b, 0, 2, 0, 0, 4, 0); },
         -2},
        {"evaluation 3", none,
         [](MFB_BoardHandle b) { return i_MFB_InitCounter(b, 0, 0, 0, 0, 3, 0); }, -2},
        {"latch register 2", none,
         [](MFB_BoardHandle b) {
             std::uint32_t v;
             return i_MFB_ReadLatchRegisterValue(b, 0, 2, &v);
         },
         -2},
        {"index never set up", none, [](MFB_BoardHandle b) { return i_MFB_EnableIndex(b, 0); }, -3},
        {"index interrupt 2", none,
         [](MFB_BoardHandle b) { return i_MFB_InitIndex(b, 0, 0, 0, 0, 2); }, -2},
        {"compare in the 16-bit range", sixteen_bit,
         [](MFB_BoardHandle b) { return i_MFB_InitCompareLogic(b, 0, 5); }, -3},
        {"modulo 0", none,
         [](MFB_BoardHandle b) { return i_MFB_InitModuloCompareLogic(b, 0, 0, 0); }, -2},
        {"channel use 2", none,
         [](MFB_BoardHandle b) { return i_MFB_ConfigDigitalChlUse(b, 0, 2); }, -2},
        {"a timer position", none,
         [](MFB_BoardHandle b) {
             std::uint32_t v = 7;
             const std::int16_t s = i_MFB_Read32BitCounterValue(b, 1, &v);
             return static_cast<std::int16_t>(v == 7 ? s : 99); // untouched by a failed exchange
         },
         -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fresh_module();
        ASSERT_EQ(c.prepare(h), 0);
        EXPECT_EQ(c.call(h), c.expected);
    }
    // Enabling compare logic that was never set up, with the routine installed.
    ASSERT_EQ(i_MFB_SetBoardIntRoutine(h, deliver), 0);
    fresh_module();
    EXPECT_EQ(i_MFB_EnableCompareLogic(h, 0), -3);
}

} // namespace
