// The TTL I/O family end to end: the exports on the simulated board (TTL I/O module at position 2
// of board 0), with the test bench driving the input lines.
#include "bus_fixture.h"

#include "sim/sim_board.h"
#include "sim/ttl_module.h"

using namespace mfbtest;
using mfb::sim::TtlModule;

namespace {

constexpr std::uint8_t kModule = 2;

class SimTtl : public BusTest {
  protected:
    void SetUp() override {
        BusTest::SetUp();
        board = mfb::sim::make_board(0);
        mfb::vbus::attach(board);
        ASSERT_EQ(i_MFB_OpenBoardViaIndex(0, &handle), 0);
    }
    std::uint32_t all() {
        std::uint32_t v = 0;
        EXPECT_EQ(i_MFB_ReadTTLIOAllPortValue(handle, kModule, &v), 0);
        return v;
    }
    void drive(std::uint32_t levels) {
        ASSERT_TRUE(
            board->with_module<TtlModule>(kModule, [&](TtlModule& m) { m.set_inputs(levels); }));
    }

    std::shared_ptr<mfb::sim::SimBoard> board;
    MFB_BoardHandle handle = 0;
};

TEST_F(SimTtl, InputsReadWhatTheBenchDrives) {
    EXPECT_EQ(all(), 0u) << "power on: inputs, nothing driven";
    drive(0xFFFFFFFF);
    EXPECT_EQ(all(), TtlModule::kLines) << "bits 2 to 7 carry no line";
    drive(0x81C30201);
    EXPECT_EQ(all(), 0x81C30201u);
    std::uint8_t port = 0, ch = 0;
    ASSERT_EQ(i_MFB_ReadTTLIOPortValue(handle, kModule, 2, &port), 0);
    EXPECT_EQ(port, 0xC3) << "read port 2 is port 3, lines 10 to 17";
    ASSERT_EQ(i_MFB_ReadTTLIOChannelValue(handle, kModule, 3, 7, &ch), 0);
    EXPECT_EQ(ch, 1) << "line 25";
    ASSERT_EQ(i_MFB_ReadTTLIOChannelValue(handle, kModule, 3, 6, &ch), 0);
    EXPECT_EQ(ch, 0);
    ASSERT_EQ(i_MFB_ReadTTLIOChannelValue(handle, kModule, 0, 0, &ch), 0);
    EXPECT_EQ(ch, 1) << "line 0";
}

// Outputs loop their latches back; each direction flag turns one read port around.
TEST_F(SimTtl, OutputsLoopBackPerDirectionFlag) {
    drive(0x00FF0000); // port 3 driven high from outside
    ASSERT_EQ(i_MFB_InitTTLIODirection(handle, kModule, 1, 1, 0, 1), 0);
    ASSERT_EQ(i_MFB_SetTTLIOChlOn(handle, kModule, 1), 0); // port 1
    ASSERT_EQ(i_MFB_SetTTLIOChlOn(handle, kModule, 9), 0); // port 2 channel 7
    ASSERT_EQ(i_MFB_SetTTLIOChannelOn(handle, kModule, 4, 0), 0);
    ASSERT_EQ(i_MFB_SetTTLIOChlOn(handle, kModule, 11), 0); // port 3 is an input: latched only
    EXPECT_EQ(all(), 0x01FF8002u);
    ASSERT_EQ(i_MFB_SetTTLIOChannelOff(handle, kModule, 4, 0), 0);
    ASSERT_EQ(i_MFB_SetTTLIOChlOff(handle, kModule, 1), 0);
    EXPECT_EQ(all(), 0x00FF8000u);
    // Turning port 3 into an output shows the latch set while it was an input.
    ASSERT_EQ(i_MFB_InitTTLIODirection(handle, kModule, 0, 0, 1, 0), 0);
    EXPECT_EQ(all(), 0x00020000u);
}

TEST_F(SimTtl, ChannelsWithoutALineAndRefusedRequests) {
    ASSERT_EQ(i_MFB_InitTTLIODirection(handle, kModule, 1, 1, 1, 1), 0);
    EXPECT_EQ(i_MFB_SetTTLIOChannelOn(handle, kModule, 0, 1), -5) << "port 0 has one line";
    EXPECT_EQ(i_MFB_SetTTLIOChannelOn(handle, kModule, 1, 7), -5);
    EXPECT_EQ(all(), 0u);
    EXPECT_EQ(i_MFB_SetTTLIOChlOn(handle, 1, 5), -4) << "position 1 is a timer";
    std::uint32_t v = 77;
    EXPECT_EQ(i_MFB_ReadTTLIOAllPortValue(handle, 3, &v), -3) << "position 3 is SSI";
    EXPECT_EQ(v, 77u);
}

// A board whose four positions all carry TTL I/O keeps each module's lines apart.
TEST_F(SimTtl, ModulesAreIndependent) {
    using mfb::sim::Function;
    auto ttl4 = std::make_shared<mfb::sim::SimBoard>(
        mfb::sim::SimBoard::Identity{"TTL-4"},
        std::array{Function::TtlIo, Function::TtlIo, Function::TtlIo, Function::TtlIo});
    mfb::vbus::attach(ttl4);
    MFB_BoardHandle h = 0;
    ASSERT_EQ(i_MFB_OpenBoardViaIndex(1, &h), 0);
    for (std::uint8_t m = 0; m < 4; ++m) {
        ASSERT_EQ(i_MFB_InitTTLIODirection(h, m, 0, 1, 0, 0), 0);
        ASSERT_EQ(i_MFB_SetTTLIOChlOn(h, m, static_cast<std::uint8_t>(2 + m)), 0);
    }
    for (std::uint8_t m = 0; m < 4; ++m) {
        std::uint8_t port = 0;
        ASSERT_EQ(i_MFB_ReadTTLIOPortValue(h, m, 1, &port), 0);
        EXPECT_EQ(port, 1u << m) << "module " << int(m);
    }
}

} // namespace
