// The timer family end to end: the exports on the simulated board (timer module at position 1 of
// board 0), with the bus clock virtual so that every count is exact.
#include "bus_fixture.h"

#include "sim/sim_board.h"
#include "sim/timer_module.h"

#include <functional>

using namespace mfbtest;
using mfb::sim::TimerModule;

namespace {

constexpr std::uint8_t kModule = 1;
constexpr std::uint64_t kUs = 1000; // one count of the module's 1 MHz clock

class SimTimer : public BusTest {
  protected:
    void SetUp() override {
        BusTest::SetUp();
        mfb::vbus::set_virtual_clock(true);
        board = mfb::sim::make_board(0);
        mfb::vbus::attach(board);
        ASSERT_EQ(i_MFB_OpenBoardViaIndex(0, &handle), 0);
    }

    // Set-up arguments after the timer number, in the export's order.
    struct Setup {
        std::uint8_t mode;
        std::uint32_t value;
        std::uint8_t selector = 0, edge = 0, invert = 0, gate_low = 0;
    };
    void init(std::uint8_t timer, Setup s) {
        ASSERT_EQ(i_MFB_InitTimer(handle, kModule, timer, s.mode, s.value, s.selector, s.edge,
                                  s.invert, s.gate_low),
                  0);
    }
    void enable(std::uint8_t timer, std::uint8_t interrupts = 0) {
        ASSERT_EQ(i_MFB_EnableTimer(handle, kModule, timer, interrupts), 0);
    }
    std::uint32_t value(std::uint8_t timer) {
        std::uint32_t v = 0;
        EXPECT_EQ(i_MFB_ReadTimerValue(handle, kModule, timer, &v), 0);
        return v;
    }
    int level(std::uint8_t timer) {
        std::uint8_t v = 0xEE;
        EXPECT_EQ(i_MFB_GetTimerOutputLevel(handle, kModule, timer, &v), 0);
        return v;
    }
    int status(std::uint8_t timer) {
        std::uint8_t v = 0xEE;
        EXPECT_EQ(i_MFB_GetTimerProgressStatus(handle, kModule, timer, &v), 0);
        return v;
    }
    int status_ex(std::uint8_t timer) {
        std::uint8_t v = 0xEE;
        EXPECT_EQ(i_MFB_GetTimerProgressStatusEx(handle, kModule, timer, &v), 0);
        return v;
    }
    void bench(const std::function<void(TimerModule&)>& fn) {
        ASSERT_TRUE(board->with_module<TimerModule>(kModule, fn));
    }

    std::shared_ptr<mfb::sim::SimBoard> board;
    MFB_BoardHandle handle = 0;
};

TEST_F(SimTimer, SingleCountStopsAtZeroWithItsOutputHigh) {
    init(0, {.mode = 0, .value = 10});
    EXPECT_EQ(value(0), 10u);
    EXPECT_EQ(status_ex(0), 0) << "set up, not enabled";
    enable(0);
    mfb::vbus::advance(9 * kUs);
    EXPECT_EQ(value(0), 1u);
    EXPECT_EQ(level(0), 0);
    EXPECT_EQ(status(0), 1);
    mfb::vbus::advance(1 * kUs);
    EXPECT_EQ(value(0), 0u);
    EXPECT_EQ(level(0), 1);
    EXPECT_EQ(status(0), 0);
    EXPECT_EQ(status_ex(0), 0x04) << "reached zero, no longer counting or waiting";
    EXPECT_EQ(status_ex(0), 0x00) << "the Ex read cleared the zero bit";
    mfb::vbus::advance(100 * kUs);
    EXPECT_EQ(value(0), 0u);
    enable(0); // a new count from the loaded value
    mfb::vbus::advance(3 * kUs);
    EXPECT_EQ(value(0), 7u);
    EXPECT_EQ(level(0), 0);
}

TEST_F(SimTimer, RateGeneratorReloadsAndPulsesOnItsLastCount) {
    init(2, {.mode = 2, .value = 1000});
    enable(2);
    mfb::vbus::advance(998 * kUs);
    EXPECT_EQ(value(2), 2u);
    EXPECT_EQ(level(2), 1);
    mfb::vbus::advance(1 * kUs);
    EXPECT_EQ(level(2), 0) << "low during count 1";
    mfb::vbus::advance(1 * kUs);
    EXPECT_EQ(value(2), 1000u) << "reloaded on the next clock";
    EXPECT_EQ(level(2), 1);
    EXPECT_EQ(status_ex(2), 0x05);
    mfb::vbus::advance(10'250 * kUs); // ten more periods in one step, and a quarter
    EXPECT_EQ(value(2), 750u);
    EXPECT_EQ(status(2), 1);
}

TEST_F(SimTimer, SquareWaveAndInvertedOutput) {
    init(1, {.mode = 3, .value = 10, .invert = 1});
    enable(1);
    EXPECT_EQ(level(1), 0) << "first half high, inverted";
    mfb::vbus::advance(5 * kUs);
    EXPECT_EQ(value(1), 5u);
    EXPECT_EQ(level(1), 1) << "second half low, inverted";
    mfb::vbus::advance(5 * kUs);
    EXPECT_EQ(level(1), 0);
}

TEST_F(SimTimer, DisableHoldsAndWriteLoads) {
    init(0, {.mode = 2, .value = 100});
    enable(0);
    mfb::vbus::advance(40 * kUs);
    ASSERT_EQ(i_MFB_DisableTimer(handle, kModule, 0), 0);
    mfb::vbus::advance(1000 * kUs);
    EXPECT_EQ(value(0), 60u);
    EXPECT_EQ(status_ex(0), 0x00);
    ASSERT_EQ(i_MFB_WriteTimerValue(handle, kModule, 0, 20), 0);
    EXPECT_EQ(value(0), 20u);
    enable(0);
    mfb::vbus::advance(25 * kUs);
    EXPECT_EQ(value(0), 15u) << "the written value is reloaded too";
}

// Timer 1 counts the zero passages of timer 0; timer 2 is left at its power-on count.
TEST_F(SimTimer, CascadeAndReadAll) {
    init(0, {.mode = 2, .value = 100});
    init(1, {.mode = 2, .value = 3, .selector = 1});
    enable(1);
    enable(0);
    mfb::vbus::advance(1050 * kUs); // ten passages of timer 0: timer 1 reloads three times
    std::uint32_t all[3] = {};
    ASSERT_EQ(i_MFB_ReadAllTimerValue(handle, kModule, all), 0);
    EXPECT_EQ(all[0], 50u);
    EXPECT_EQ(all[1], 2u);
    EXPECT_EQ(all[2], 0u) << "power on: 2^32 counts";
}

TEST_F(SimTimer, ClockEdgeAndExternalClock) {
    init(0, {.mode = 0, .value = 10, .edge = 1});
    init(1, {.mode = 0, .value = 10});
    init(2, {.mode = 0, .value = 10, .selector = 2});
    enable(0);
    enable(1);
    enable(2);
    mfb::vbus::advance(kUs / 2);
    EXPECT_EQ(value(0), 9u) << "a falling edge half a period after the enable";
    EXPECT_EQ(value(1), 10u);
    mfb::vbus::advance(100 * kUs);
    EXPECT_EQ(value(2), 10u) << "no external clock connected";
    EXPECT_EQ(status_ex(2), 0x01) << "counting, but no edges come";
    bench([](TimerModule& m) { m.set_external_clock(2, 20 * kUs); });
    mfb::vbus::advance(60 * kUs);
    EXPECT_EQ(value(2), 7u);
}

TEST_F(SimTimer, LevelGateStopsTheCount) {
    init(0, {.mode = 2, .value = 100, .gate_low = 1});
    enable(0);
    mfb::vbus::advance(10 * kUs);
    EXPECT_EQ(value(0), 100u) << "the open gate input floats high: inactive";
    EXPECT_EQ(status_ex(0), 0x02);
    bench([](TimerModule& m) { m.set_gate(0, false); });
    mfb::vbus::advance(10 * kUs);
    EXPECT_EQ(value(0), 90u);
    EXPECT_EQ(status(0), 1);
}

TEST_F(SimTimer, GateTriggeredSingleCountRetriggers) {
    init(0, {.mode = 1, .value = 10});
    enable(0);
    mfb::vbus::advance(50 * kUs);
    EXPECT_EQ(value(0), 10u) << "waits for the gate to become active";
    EXPECT_EQ(status_ex(0), 0x02);
    bench([](TimerModule& m) {
        m.set_gate(0, false);
        m.set_gate(0, true);
    });
    mfb::vbus::advance(4 * kUs);
    EXPECT_EQ(value(0), 6u);
    bench([](TimerModule& m) {
        m.set_gate(0, false);
        m.set_gate(0, true);
    });
    mfb::vbus::advance(10 * kUs);
    EXPECT_EQ(value(0), 0u);
    EXPECT_EQ(level(0), 1);
    EXPECT_EQ(status_ex(0), 0x06) << "ended, armed for the next trigger";
}

// One record for each catch-up in which the timer reached zero, however often it did.
TEST_F(SimTimer, InterruptsAtZeroAreCoalesced) {
    init(0, {.mode = 2, .value = 100});
    init(1, {.mode = 2, .value = 100});
    enable(0, 1);
    enable(1, 0);
    mfb::vbus::advance(1000 * kUs);
    board->tick();
    ASSERT_EQ(board->pending_interrupts(), 1u);
    std::uint8_t record[80] = {};
    mfb::vbus::Exchange x;
    x.code = 0x90002008;
    x.buffer = record;
    x.out_size = 80;
    x.out_null = false;
    ASSERT_EQ(board->exchange(x), 1);
    EXPECT_EQ(record[76], kModule);
    EXPECT_EQ(record[0], 0) << "word 1: timer 0";
    EXPECT_EQ(record[4], 10) << "word 2: zero passages since the enable";
    EXPECT_EQ(record[8], 10) << "value 0: passages in this record";
    EXPECT_EQ(record[72], 1) << "one value";
    EXPECT_EQ(record[77], 0);
}

TEST_F(SimTimer, PositionWithoutATimerFailsTheExchange) {
    std::uint32_t v = 77;
    EXPECT_EQ(i_MFB_InitTimer(handle, 2, 1, 0, 5, 0, 0, 0, 0), -9) << "position 2 is TTL I/O";
    EXPECT_EQ(i_MFB_ReadTimerValue(handle, 0, 0, &v), -5) << "position 0 is a counter";
    EXPECT_EQ(v, 77u);
}

} // namespace
