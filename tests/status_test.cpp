// The status styles shared by the families: how a driver status word becomes a 16-bit status.
#include "board/status.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

struct Mapping {
    std::uint32_t s;
    std::int16_t status;
};

TEST(CounterStatus, IsTheDriverStatusMinusOneInSixteenBits) {
    const Mapping cases[] = {
        {0, 0},
        {1, 0},
        {5, 4},
        {0xFFFFFFFF, -2},
        {0xFFFFFFFE, -3},
        {0x00010000, -1},
        {0x00008000, 32767},
        {0x00008001, -32768},
    };
    for (const auto& c : cases)
        EXPECT_EQ(mfb::counter_status(c.s), c.status) << std::hex << c.s;
}

TEST(PwmStatus, IsMinusStatusPlusHundred) {
    const Mapping cases[] = {
        {0, 0},           {1, -101},         {5, -105},
        {32667, -32767},  {0xFFFFFFFF, -99}, {0x00010000, -100},
        {0x7F9C, -32768}, {0xFFFFFF00, 156},
    };
    for (const auto& c : cases)
        EXPECT_EQ(mfb::pwm_status(c.s), c.status) << std::hex << c.s;
}

TEST(PwmStatus, ARefusalNeverReadsAsSuccess) {
    // Where -(s + 100) is 0 in 16 bits the refusal gets a code of its own.
    for (std::uint32_t s : {0x0000FF9Cu, 0xFFFFFF9Cu, 0x0001FF9Cu, 0x8000FF9Cu})
        EXPECT_EQ(mfb::pwm_status(s), mfb::kPwmRefusedAsZero) << std::hex << s;
    for (std::uint64_t s = 1; s <= 0xFFFFFFFFull; s += 0x10001)
        ASSERT_NE(mfb::pwm_status(static_cast<std::uint32_t>(s)), 0) << std::hex << s;
}

TEST(NegatedStatus, InvertsTheSign) {
    EXPECT_EQ(mfb::negated_status(0), 0);
    EXPECT_EQ(mfb::negated_status(3), -3);
    EXPECT_EQ(mfb::negated_status(0xFFFF), 1);
    EXPECT_EQ(mfb::negated_status(0x8000), -32768);
}

} // namespace
