// The SSI exports end to end on simulated board 0 (module 3: SSI) with the bus clock run virtually.
#include "bus_fixture.h"

#include "sim/sim_board.h"
#include "sim/ssi_module.h"

using namespace mfbtest;

namespace {

constexpr std::uint8_t kModule = 3;

class SimSsi : public OpenSimBoard {
  protected:
    void encoder(std::size_t c, std::int64_t rate) { // from 0, `rate` steps a second
        bench<mfb::sim::SsiModule>(kModule, [&](auto& m) {
            m.set_rate(c, rate);
            m.set_count(c, 0);
        });
    }
    // 25-bit frames of 13 position and 12 turn bits, at 5 MHz from 30 MHz: divider 6.
    void init_values() { ASSERT_EQ(i_MFB_InitSSI(h, kModule, 25, 13, 12, 30, 5'000'000, 0), 0); }
    std::pair<std::uint32_t, std::uint32_t> read(std::uint8_t channel) {
        std::uint32_t position = 0, turns = 0;
        EXPECT_EQ(i_MFB_Read1SSIValue(h, kModule, channel, &position, &turns), 0);
        return {position, turns};
    }
};

TEST_F(SimSsi, EncodersMoveWithTheBusClock) {
    encoder(0, 1'000);
    encoder(2, -1'000); // backwards from 0: wraps to the top of the turn range
    init_values();
    mfb::vbus::advance(2'500'000'000); // 2.5 s
    EXPECT_EQ(read(0), std::make_pair(2'500u, 0u));
    EXPECT_EQ(read(2), std::make_pair(8'192u - 2'500u, 4'095u));
    mfb::vbus::advance(6'000'000'000); // 8,500 steps: past one turn of 8,192
    EXPECT_EQ(read(0), std::make_pair(8'500u - 8'192u, 1u));
}

// The acquisition latches the frames at its start; its reads fail until it is done.
TEST_F(SimSsi, TwoStepAcquisition) {
    encoder(0, 1'000'000);
    std::uint32_t position = 7, turns = 7;
    init_values();                 // a 25-bit frame takes 26 x 6 clocks = 5.2 us
    mfb::vbus::advance(1'000'000); // 1 ms: count 1,000
    ASSERT_EQ(i_MFB_StartSSIAcquisition(h, kModule), 0);
    EXPECT_EQ(i_MFB_StartSSIAcquisition(h, kModule), -3) << "one runs already";
    mfb::vbus::advance(5'199);
    EXPECT_EQ(i_MFB_GetSSIValue(h, kModule, 0, &position, &turns), -4) << "not finished";
    EXPECT_EQ(position, 7u);
    mfb::vbus::advance(1'000'001); // the encoder moves on; the acquisition keeps its frame
    ASSERT_EQ(i_MFB_GetSSIValue(h, kModule, 0, &position, &turns), 0);
    EXPECT_EQ(std::make_pair(position, turns), std::make_pair(1'000u, 0u));
    EXPECT_EQ(read(0).first, 2'005u); // 2,005,200 ns at a step per microsecond
}

// A request shorter than its layout fails in the SSI and the PWM module alike; neither reads
// past it (the sanitizers watch the one-byte buffer).
TEST_F(SimSsi, ShortRequestsFailTheExchange) {
    const std::uint32_t families[][3] = {{0, 0x900020EC, 0x90002118}, {1, 0x90002158, 0x90002180}};
    for (const auto& [index, first, last] : families) {
        for (std::uint32_t code = first; code <= last; code += 4) {
            std::uint8_t byte = index == 0 ? kModule : 0; // the SSI or the PWM module
            mfb::vbus::Exchange x{code, &byte, 1, 1, false, false};
            EXPECT_EQ(mfb::sim::make_board(index)->exchange(x), 0) << std::hex << code;
        }
    }
}

} // namespace
