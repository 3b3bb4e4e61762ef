// The SSI exports end to end on the simulated board 0, whose module 3 is an SSI module, with the
// bus clock run virtually.
#include "bus_fixture.h"

#include "sim/sim_board.h"
#include "sim/ssi_module.h"

using namespace mfbtest;
using mfb::sim::SsiModule;

namespace {

constexpr std::uint8_t kModule = 3;

class SimSsi : public BusTest {
  protected:
    void SetUp() override {
        BusTest::SetUp();
        mfb::vbus::set_virtual_clock(true);
        board = mfb::sim::make_board(0);
        mfb::vbus::attach(board);
        ASSERT_EQ(i_MFB_OpenBoardViaIndex(0, &h), 0);
        // Encoders that stand still at 0 unless a test moves them.
        ssi([](SsiModule& m) {
            for (std::size_t c = 0; c < SsiModule::kChannels; ++c) {
                m.set_rate(c, 0);
                m.set_count(c, 0);
            }
        });
    }
    template <class Fn> void ssi(Fn&& fn) {
        ASSERT_TRUE(board->with_module<SsiModule>(kModule, fn));
    }
    // 25-bit frames: 13 position bits and 12 turn bits, binary or Gray-decoded.
    void init_values(std::uint8_t option = 0, std::uint8_t frame = 25) {
        ASSERT_EQ(i_MFB_InitSSI(h, kModule, frame, 13, 12, 30, 5'000'000, option), 0);
    }
    std::pair<std::uint32_t, std::uint32_t> read(std::uint8_t channel) {
        std::uint32_t position = 0, turns = 0;
        EXPECT_EQ(i_MFB_Read1SSIValue(h, kModule, channel, &position, &turns), 0);
        return {position, turns};
    }

    std::shared_ptr<mfb::sim::SimBoard> board;
    MFB_BoardHandle h = 0;
};

TEST_F(SimSsi, PositionIsValueOneAndTurnsValueTwo) {
    ssi([](SsiModule& m) { m.set_count(1, (std::uint64_t{5} << 13) | 1234); });
    init_values();
    EXPECT_EQ(read(1), std::make_pair(1234u, 5u));
    EXPECT_EQ(read(0), std::make_pair(0u, 0u));

    std::uint32_t positions[3] = {}, turns[3] = {};
    ASSERT_EQ(i_MFB_ReadAllSSIValue(h, kModule, positions, turns), 0);
    EXPECT_EQ(positions[1], 1234u);
    EXPECT_EQ(turns[1], 5u);
}

TEST_F(SimSsi, EncodersMoveWithTheBusClock) {
    ssi([](SsiModule& m) {
        m.set_rate(0, 1'000);  // steps per second
        m.set_rate(2, -1'000); // backwards from 0: wraps to the top of the turn range
    });
    init_values();
    mfb::vbus::advance(2'500'000'000); // 2.5 s
    EXPECT_EQ(read(0), std::make_pair(2'500u, 0u));
    EXPECT_EQ(read(2), std::make_pair(8'192u - 2'500u, 4'095u));
    mfb::vbus::advance(6'000'000'000); // 8,500 steps: past one turn of 8,192
    EXPECT_EQ(read(0), std::make_pair(8'500u - 8'192u, 1u));
}

TEST_F(SimSsi, TrailingFrameBitsAreIgnored) {
    ssi([](SsiModule& m) { m.set_count(0, (std::uint64_t{0xABC} << 13) | 0x1FFF); });
    init_values(0, 32); // 25 data bits and 7 trailing bits
    EXPECT_EQ(read(0), std::make_pair(0x1FFFu, 0xABCu));
}

TEST_F(SimSsi, OptionFlagDecodesGrayCode) {
    ssi([](SsiModule& m) {
        m.set_gray(0, true);
        m.set_count(0, (std::uint64_t{3} << 13) | 5);
    });
    init_values(1);
    EXPECT_EQ(read(0), std::make_pair(5u, 3u));
    // Read as binary, the Gray code of 0x6005 shows: 0x6005 ^ 0x3002 = 0x5007.
    init_values(0);
    EXPECT_EQ(read(0), std::make_pair(0x5007u & 0x1FFF, 0x5007u >> 13));
}

TEST_F(SimSsi, RawFramesOfUpTo48Bits) {
    ssi([](SsiModule& m) {
        m.set_count(0, 0xFFFF'ABCD'1234'5678); // a 48-bit frame keeps the low 48 bits
        m.set_count(1, 0x0000'0001'0000'0002);
        m.set_count(2, 0x0000'0000'0000'0003);
    });
    ASSERT_EQ(i_MFB_InitSSIRawData(h, kModule, 48, 33, 1'000'000), 0);
    std::uint32_t raw[2] = {};
    ASSERT_EQ(i_MFB_Read1SSIRawDataValue(h, kModule, 0, raw, 2), 0);
    EXPECT_EQ(raw[0], 0x12345678u);
    EXPECT_EQ(raw[1], 0xABCDu);

    // Two words per channel, channel after channel; the rest of the 16 words is 0.
    std::uint32_t all[16];
    std::fill(std::begin(all), std::end(all), 0xEEEEEEEE);
    ASSERT_EQ(i_MFB_ReadAllSSIRawDataValue(h, kModule, all, 16), 0);
    const std::uint32_t expected[16] = {0x12345678, 0xABCD, 2, 1, 3, 0};
    EXPECT_TRUE(std::equal(std::begin(all), std::end(all), std::begin(expected)));

    // Up to 32 bits, one word per channel.
    ASSERT_EQ(i_MFB_InitSSIRawData(h, kModule, 32, 30, 229), 0);
    ASSERT_EQ(i_MFB_ReadAllSSIRawDataValue(h, kModule, all, 4), 0);
    EXPECT_EQ(all[0], 0x12345678u);
    EXPECT_EQ(all[1], 2u);
    EXPECT_EQ(all[2], 3u);
    EXPECT_EQ(all[3], 0u);
}

TEST_F(SimSsi, ReadsOfTheOtherModeFailTheExchange) {
    std::uint32_t a = 7, b = 7;
    std::uint32_t raw[2] = {7, 7};
    EXPECT_EQ(i_MFB_Read1SSIValue(h, kModule, 0, &a, &b), -4) << "before any set-up";
    ASSERT_EQ(i_MFB_InitSSIRawData(h, kModule, 16, 30, 1'000'000), 0);
    EXPECT_EQ(i_MFB_Read1SSIValue(h, kModule, 0, &a, &b), -4);
    init_values();
    EXPECT_EQ(i_MFB_Read1SSIRawDataValue(h, kModule, 0, raw, 2), -4);
    EXPECT_EQ(i_MFB_ReadAllSSIRawDataValue(h, kModule, raw, 2), -3);
    EXPECT_EQ(a, 7u);
    EXPECT_EQ(b, 7u);
    EXPECT_EQ(raw[0], 7u);
    EXPECT_EQ(raw[1], 7u);
    // Module 0 is a counter: SSI requests to it fail too.
    EXPECT_EQ(i_MFB_StartSSIAcquisition(h, 0), -3);
}

TEST_F(SimSsi, TwoStepAcquisitionLatchesAtTheStart) {
    ssi([](SsiModule& m) { m.set_rate(0, 1'000'000); });
    init_values(); // 5 MHz from 30 MHz: divider 6, a 25-bit frame takes 26 x 6 clocks = 5.2 us
    std::uint64_t frame_ns = 0;
    ssi([&](SsiModule& m) { frame_ns = m.frame_ns(); });
    EXPECT_EQ(frame_ns, 5'200u);

    std::uint8_t status = 0xEE;
    std::uint32_t position = 7, turns = 7;
    ASSERT_EQ(i_MFB_GetSSIAcquisitionStatus(h, kModule, &status), 0);
    EXPECT_EQ(status, SsiModule::kIdle);
    EXPECT_EQ(i_MFB_GetSSIValue(h, kModule, 0, &position, &turns), -4) << "nothing acquired";

    mfb::vbus::advance(1'000'000); // 1 ms: count 1,000
    ASSERT_EQ(i_MFB_StartSSIAcquisition(h, kModule), 0);
    EXPECT_EQ(i_MFB_StartSSIAcquisition(h, kModule), -3) << "one runs already";
    mfb::vbus::advance(frame_ns - 1);
    ASSERT_EQ(i_MFB_GetSSIAcquisitionStatus(h, kModule, &status), 0);
    EXPECT_EQ(status, SsiModule::kRunning);
    EXPECT_EQ(i_MFB_GetSSIValue(h, kModule, 0, &position, &turns), -4) << "not finished";
    EXPECT_EQ(position, 7u);

    mfb::vbus::advance(1);
    ASSERT_EQ(i_MFB_GetSSIAcquisitionStatus(h, kModule, &status), 0);
    EXPECT_EQ(status, SsiModule::kDone);
    mfb::vbus::advance(1'000'000); // the encoder moves on; the acquisition keeps its frame
    ASSERT_EQ(i_MFB_GetSSIValue(h, kModule, 0, &position, &turns), 0);
    EXPECT_EQ(position, 1'000u);
    EXPECT_EQ(turns, 0u);
    EXPECT_EQ(read(0).first, 2'005u); // 2,005,200 ns at a step per microsecond
}

TEST_F(SimSsi, SlowestClockSetsTheFrameTime) {
    ASSERT_EQ(i_MFB_InitSSI(h, kModule, 25, 13, 12, 30, 229, 0), 0);
    ssi([](SsiModule& m) {
        // 30 MHz / 229 Hz: divider 131,005 (17 bits), 228.998 Hz, 26 periods per frame.
        EXPECT_EQ(m.clock_hz(), 228u);
        EXPECT_EQ(m.frame_ns(), (26ull * 131'005 * 1'000'000'000 + 29'999'999) / 30'000'000);
    });
}

TEST_F(SimSsi, DigitalInputsAndOutput) {
    ssi([](SsiModule& m) { m.set_inputs(0x05); });
    std::uint8_t byte = 0;
    ASSERT_EQ(i_MFB_ReadSSIAllDigitalInput(h, kModule, &byte), 0);
    EXPECT_EQ(byte, 0x05);
    const std::uint8_t expected[] = {1, 0, 1, 0, 0, 0, 0, 0, 0, 0};
    for (std::uint8_t bit = 0; bit < std::size(expected); ++bit) {
        ASSERT_EQ(i_MFB_ReadSSI1DigitalInput(h, kModule, bit, &byte), 0);
        EXPECT_EQ(byte, expected[bit]) << "bit " << int{bit};
    }

    bool on = true;
    ssi([&](SsiModule& m) { on = m.output(); });
    EXPECT_FALSE(on);
    ASSERT_EQ(i_MFB_SetSSIDigitalOutputOn(h, kModule), 0);
    ssi([&](SsiModule& m) { on = m.output(); });
    EXPECT_TRUE(on);
    ASSERT_EQ(i_MFB_SetSSIDigitalOutputOff(h, kModule), 0);
    ssi([&](SsiModule& m) { on = m.output(); });
    EXPECT_FALSE(on);
}

} // namespace
