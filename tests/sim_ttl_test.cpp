// The TTL I/O family end to end on the simulated board (TTL I/O at position 2 of board 0).
#include "bus_fixture.h"
#include "sim/ttl_module.h"

using namespace mfbtest;

namespace {

constexpr std::uint8_t kModule = 2;

class SimTtl : public OpenSimBoard {
  protected:
    std::uint32_t all() {
        std::uint32_t v = 0;
        EXPECT_EQ(i_MFB_ReadTTLIOAllPortValue(h, kModule, &v), 0);
        return v;
    }
    void drive(std::uint32_t levels) {
        bench<mfb::sim::TtlModule>(kModule, [&](auto& m) { m.set_inputs(levels); });
    }
};

TEST_F(SimTtl, InputsAndDirectionFlagsTurningPortsIntoOutputs) {
    drive(0x00C302FD); // port 3 driven from outside, and port 0's line
    EXPECT_EQ(all(), 0x00C30201u) << "bits 2 to 7 carry no line";
    std::uint8_t port = 0, ch = 0;
    ASSERT_EQ(i_MFB_ReadTTLIOPortValue(h, kModule, 2, &port), 0);
    EXPECT_EQ(port, 0xC3) << "read port 2 is port 3, lines 10 to 17";
    ASSERT_EQ(i_MFB_ReadTTLIOChannelValue(h, kModule, 2, 7, &ch), 0);
    EXPECT_EQ(ch, 1) << "line 17";
    ASSERT_EQ(i_MFB_InitTTLIODirection(h, kModule, 1, 1, 0, 1), 0);
    ASSERT_EQ(i_MFB_SetTTLIOChlOn(h, kModule, 1), 0);  // port 1
    ASSERT_EQ(i_MFB_SetTTLIOChlOn(h, kModule, 9), 0);  // port 2 channel 7
    ASSERT_EQ(i_MFB_SetTTLIOChlOn(h, kModule, 11), 0); // port 3 is an input: latched only
    EXPECT_EQ(all(), 0x00C38002u) << "outputs loop their latches back";
    ASSERT_EQ(i_MFB_InitTTLIODirection(h, kModule, 0, 0, 1, 0), 0);
    EXPECT_EQ(all(), 0x00020201u) << "port 3 shows the latch set while it was an input";
}

TEST_F(SimTtl, ChannelsWithoutALineAndRefusedRequests) {
    ASSERT_EQ(i_MFB_InitTTLIODirection(h, kModule, 1, 1, 1, 1), 0);
    EXPECT_EQ(i_MFB_SetTTLIOChannelOn(h, kModule, 0, 1), -5) << "port 0 has one line";
    EXPECT_EQ(all(), 0u);
    EXPECT_EQ(i_MFB_SetTTLIOChlOn(h, 1, 5), -4) << "position 1 is a timer";
    std::uint32_t v = 77;
    EXPECT_EQ(i_MFB_ReadTTLIOAllPortValue(h, 3, &v), -3) << "position 3 is SSI";
    EXPECT_EQ(v, 77u);
}

} // namespace
