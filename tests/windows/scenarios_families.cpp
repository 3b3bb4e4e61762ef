// One request of each module family through the loaded DLL, checked byte for byte both ways: the
// request as the board received it, and the answer fields as the caller received them. The
// simulated boards carry, at positions 0 to 3, board 0: counter, timer, TTL I/O, SSI; board 1:
// PWM, counter, timer, TTL I/O.
#include "scenarios.h"

#include "sim/ssi_module.h"
#include "sim/ttl_module.h"

namespace wintest {

void counter_request(Scenario& s) {
    OpenBoard b(s, 0);
    CHECK_EQ(s, MFB(i_MFB_Write32BitCounterValue)(b.handle(), 0, 0x89ABCDEF), 0);
    std::uint32_t value = 0;
    CHECK_EQ(s, MFB(i_MFB_Read32BitCounterValue)(b.handle(), 0, &value), 0);
    CHECK_EQ(s, value, 0x89ABCDEFu);

    const auto x = b.exchanges();
    REQUIRE(s, x.size() == 2);
    CHECK_REQUEST(s, x[0], 0x90002034, (Bytes{0, 0, 0, 0, 0xEF, 0xCD, 0xAB, 0x89, 0, 0, 0, 0}), 12);
    CHECK_REQUEST(s, x[1], 0x90002030, Bytes(12, 0), 12);
    CHECK_EQ(s, slice(x[1].answer, 4, 4), (Bytes{0xEF, 0xCD, 0xAB, 0x89}));
    CHECK_EQ(s, slice(x[1].answer, 8, 4), Bytes(4, 0)); // the driver status: done
}

void timer_request(Scenario& s) {
    OpenBoard b(s, 0);
    // Module 1, timer 2: single count from 0x00C0FFEE on the 1 MHz clock, not yet enabled.
    CHECK_EQ(s, MFB(i_MFB_InitTimer)(b.handle(), 1, 2, 0, 0x00C0FFEE, 0, 0, 0, 0), 0);
    std::uint32_t value = 0;
    CHECK_EQ(s, MFB(i_MFB_ReadTimerValue)(b.handle(), 1, 2, &value), 0);
    CHECK_EQ(s, value, 0x00C0FFEEu);

    const auto x = b.exchanges();
    REQUIRE(s, x.size() == 2);
    CHECK_REQUEST(s, x[0], 0x900020B0, (Bytes{1, 2, 0, 0, 0, 0, 0, 0, 0xEE, 0xFF, 0xC0, 0x00}), 0);
    CHECK_REQUEST(s, x[1], 0x900020BC, (Bytes{1, 2, 0, 0, 0, 0, 0, 0}), 8);
    CHECK_EQ(s, slice(x[1].answer, 4, 4), (Bytes{0xEE, 0xFF, 0xC0, 0x00}));
}

void ttl_request(Scenario& s) {
    OpenBoard b(s, 0);
    // Every line an input at power on: the lines read what the bench drives.
    const std::uint32_t levels = 0xA5C3'0F01 & mfb::sim::TtlModule::kLines;
    REQUIRE(s, b.sim().with_module<mfb::sim::TtlModule>(
                   2, [&](mfb::sim::TtlModule& m) { m.set_inputs(levels); }));
    std::uint32_t value = 0;
    CHECK_EQ(s, MFB(i_MFB_ReadTTLIOAllPortValue)(b.handle(), 2, &value), 0);
    CHECK_EQ(s, value, levels);

    const auto x = b.exchanges();
    REQUIRE(s, x.size() == 1);
    CHECK_REQUEST(s, x[0], 0x900020A8, (Bytes{2, 0, 0, 0, 0, 0, 0, 0}), 8);
    CHECK_EQ(s, slice(x[0].answer, 4, 4), le32(levels));
}

void ssi_request(Scenario& s) {
    OpenBoard b(s, 0);
    // Module 3: 25-bit frames, 13 position bits and 12 turn bits, binary, 500 kHz from 33 MHz.
    CHECK_EQ(s, MFB(i_MFB_InitSSI)(b.handle(), 3, 25, 13, 12, 33, 500'000, 0), 0);
    const std::uint64_t count = 0xABCDEF;
    REQUIRE(s, b.sim().with_module<mfb::sim::SsiModule>(3, [&](mfb::sim::SsiModule& m) {
        m.set_rate(0, 0);
        m.set_count(0, count);
    }));
    std::uint32_t position = 0, turns = 0;
    CHECK_EQ(s, MFB(i_MFB_Read1SSIValue)(b.handle(), 3, 0, &position, &turns), 0);
    CHECK_EQ(s, position, count & 0x1FFF);
    CHECK_EQ(s, turns, (count >> 13) & 0xFFF);

    const auto x = b.exchanges();
    REQUIRE(s, x.size() == 2);
    CHECK_REQUEST(s, x[0], 0x900020EC,
                  (Bytes{3, 25, 13, 12, 33, 0, 0, 0, 0x20, 0xA1, 0x07, 0x00, 0, 0, 0, 0}), 0);
    CHECK_REQUEST(s, x[1], 0x900020F4, Bytes({3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), 12);
    CHECK_EQ(s, slice(x[1].answer, 4, 4), le32(position));
    CHECK_EQ(s, slice(x[1].answer, 8, 4), le32(turns));
}

void pwm_request(Scenario& s) {
    OpenBoard b(s, 1);
    // Module 0, PWM 1: 250 us low, 750 us high.
    std::uint32_t low = 0, high = 0;
    CHECK_EQ(s, MFB(i_MFB_InitPWM)(b.handle(), 0, 1, 1, 250, 750, &low, &high), 0);
    CHECK_EQ(s, low, 250u);
    CHECK_EQ(s, high, 750u);

    const auto x = b.exchanges();
    REQUIRE(s, x.size() == 1);
    const Bytes request = {0, 1, 1, 0, 0xFA, 0x00, 0x00, 0x00, 0xEE, 0x02, 0x00, 0x00,
                           0, 0, 0, 0, 0,    0,    0,    0,    0,    0,    0,    0};
    CHECK_REQUEST(s, x[0], 0x90002158, request, 24);
    CHECK_EQ(s, slice(x[0].answer, 12, 4), le32(250));
    CHECK_EQ(s, slice(x[0].answer, 16, 4), le32(750));
    CHECK_EQ(s, slice(x[0].answer, 20, 4), Bytes(4, 0)); // the driver status: done
}

} // namespace wintest
