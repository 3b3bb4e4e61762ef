// The timer family end to end: the exports on the simulated board (timer module at position 1 of
// board 0), with the bus clock virtual so that every count is exact.
#include "bus_fixture.h"

#include "sim/sim_board.h"

using namespace mfbtest;

namespace {

constexpr std::uint8_t kModule = 1;
constexpr std::uint64_t kUs = 1000; // one count of the module's 1 MHz clock

class SimTimer : public OpenSimBoard {};

// Each mode counts down from its value with virtual time; the output level follows the mode.
TEST_F(SimTimer, ModesCountWithVirtualTime) {
    struct Row {
        const char* name;
        std::uint8_t timer, mode;
        std::uint32_t value;
        std::uint8_t invert;
        std::uint64_t counts;
        std::uint32_t expected, level;
    } rows[] = {
        {"single count, last count", 0, 0, 10, 0, 9, 1, 0},
        {"single count stops at zero, output high", 0, 0, 10, 0, 100, 0, 1},
        {"rate generator reloads", 2, 2, 1000, 0, 11'250, 750, 1},
        {"square wave, second half, inverted", 1, 3, 10, 1, 5, 5, 1},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        ASSERT_EQ(i_MFB_InitTimer(h, kModule, r.timer, r.mode, r.value, 0, 0, r.invert, 0), 0);
        ASSERT_EQ(i_MFB_EnableTimer(h, kModule, r.timer, 0), 0);
        mfb::vbus::advance(r.counts * kUs);
        std::uint32_t v = 0;
        std::uint8_t level = 0xEE;
        EXPECT_EQ(i_MFB_ReadTimerValue(h, kModule, r.timer, &v), 0);
        EXPECT_EQ(i_MFB_GetTimerOutputLevel(h, kModule, r.timer, &level), 0);
        EXPECT_EQ(v, r.expected);
        EXPECT_EQ(level, r.level);
    }
}

// One record for each catch-up in which the timer reached zero, however often it did.
TEST_F(SimTimer, InterruptsAtZeroAreCoalesced) {
    ASSERT_EQ(i_MFB_InitTimer(h, kModule, 0, 2, 100, 0, 0, 0, 0), 0);
    ASSERT_EQ(i_MFB_EnableTimer(h, kModule, 0, 1), 0);
    mfb::vbus::advance(1000 * kUs);
    board->tick();
    ASSERT_EQ(board->pending_interrupts(), 1u);
    std::uint8_t record[80] = {};
    mfb::vbus::Exchange x{.code = 0x90002008, .buffer = record, .out_size = 80, .out_null = false};
    ASSERT_EQ(board->exchange(x), 1);
    EXPECT_EQ(record[76], kModule);
    EXPECT_EQ(record[0], 0) << "word 1: timer 0";
    EXPECT_EQ(record[4], 10) << "word 2: zero passages since the enable";
    EXPECT_EQ(record[8], 10) << "value 0: passages in this record";
    EXPECT_EQ(record[72], 1) << "one value";
}

TEST_F(SimTimer, PositionWithoutATimerFailsTheExchange) {
    std::uint32_t v = 77;
    EXPECT_EQ(i_MFB_InitTimer(h, 2, 1, 0, 5, 0, 0, 0, 0), -9) << "position 2 is TTL I/O";
    EXPECT_EQ(i_MFB_ReadTimerValue(h, 0, 0, &v), -5) << "position 0 is a counter";
    EXPECT_EQ(v, 77u);
}

} // namespace
