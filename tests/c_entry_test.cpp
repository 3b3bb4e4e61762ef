// The C entry to the simulated boards: what it refuses, and that what it drives reaches the
// library.
#include "bus_fixture.h"
#include "mfb_sim.h"
#include "sim/firmware_file.h"

#include <cstdio>
#include <string>
#include <vector>

using namespace mfbtest;

namespace {

class CEntry : public BusTest {
  protected:
    void SetUp() override {
        BusTest::SetUp();
        ASSERT_EQ(mfb_sim_attach_boards(2), 0);
        ASSERT_EQ(i_MFB_OpenBoardViaIndex(0, &handle), 0);
    }
    void TearDown() override { mfb_sim_reset(); }
    MFB_BoardHandle handle = 0;
};

struct Refusal {
    const char* what;
    int (*call)();
};

// Board 0 carries a counter, a timer, TTL I/O and SSI at positions 0 to 3; board 2 does not exist.
const Refusal kRefusals[] = {
    {"no boards", [] { return mfb_sim_attach_boards(0); }},
    {"more than 30 boards", [] { return mfb_sim_attach_boards(29); }},
    {"fit on a missing board", [] { return mfb_sim_set_function(2, 0, MFB_SIM_TIMER); }},
    {"fit at position 4", [] { return mfb_sim_set_function(0, 4, MFB_SIM_TIMER); }},
    {"unknown function", [] { return mfb_sim_set_function(0, 0, MFB_SIM_PULSE_ENCODER + 1); }},
    {"rate on a timer", [] { return mfb_sim_counter_rate(0, 1, 0, 100); }},
    {"rate on input 2", [] { return mfb_sim_counter_rate(0, 0, 2, 100); }},
    {"rate too high", [] { return mfb_sim_counter_rate(0, 0, 0, 10'000'001); }},
    {"pulse on a missing board", [] { return mfb_sim_counter_pulse(2, 0, 0, 1); }},
    {"index pulse on TTL I/O", [] { return mfb_sim_counter_index_pulse(0, 2); }},
    {"TTL line 26", [] { return mfb_sim_ttl_line(0, 2, 26, 1); }},
    {"TTL inputs on a counter", [] { return mfb_sim_ttl_inputs(0, 0, 1); }},
    {"ETM signal without an ETM", [] { return mfb_sim_etm_signal(0, 0, 0, 1000, 500); }},
    {"frequency on a counter", [] { return mfb_sim_frequency_input(0, 0, 1000); }},
    {"port 4", [] { return mfb_sim_port_inputs(0, 4, 1); }},
    {"unknown platform call", [] { return mfb_sim_fail("CreateFileW", 1); }},
    {"call number 0", [] { return mfb_sim_fail("CreateFileA", 0); }},
    {"flash of a missing board",
     [] {
         std::uint8_t b[4];
         return static_cast<int>(mfb_sim_flash_contents(2, 0, b, 4));
     }},
    {"firmware payload too long",
     [] {
         std::vector<std::uint8_t> big(mfb::sim::kFirmwarePayloadLimit + 1);
         return mfb_sim_write_firmware_file("/nonexistent/never", big.data(),
                                            static_cast<std::uint32_t>(big.size()));
     }},
};

TEST_F(CEntry, RefusesWhatDoesNotFitAndChangesNothing) {
    for (const Refusal& r : kRefusals)
        EXPECT_EQ(r.call(), -1) << r.what;
    EXPECT_EQ(mfb_sim_board_count(), 2u);
    std::uint32_t word = 0;
    ASSERT_EQ(i_MFB_GetModuleConfiguration(handle, 0, &word), 0);
    EXPECT_EQ(word & 0xFF, static_cast<std::uint32_t>(MFB_SIM_COUNTER));
}

TEST_F(CEntry, InputsItMovesReachTheLibrary) {
    ASSERT_EQ(mfb_sim_counter_pulse(0, 0, 0, 1234), 0);
    std::uint32_t count = 0;
    ASSERT_EQ(i_MFB_Read32BitCounterValue(handle, 0, &count), 0);
    EXPECT_EQ(count, 1234u);

    ASSERT_EQ(mfb_sim_ttl_line(0, 2, 25, 1), 0);
    std::uint32_t lines = 0;
    ASSERT_EQ(i_MFB_ReadTTLIOAllPortValue(handle, 2, &lines), 0);
    EXPECT_EQ(lines, 0x80000000u) << "line 25 is the top bit of the all-ports layout";

    ASSERT_EQ(mfb_sim_port_inputs(0, 1, 0x81), 0);
    std::uint8_t port = 0;
    ASSERT_EQ(i_MFB_SetPortConfiguration(handle, 1, 0, 0), 0);
    ASSERT_EQ(i_MFB_ReadDigitalInputs(handle, 1, &port), 0);
    EXPECT_EQ(port, 0x81);
}

TEST_F(CEntry, FittedFunctionIsWhatTheBoardReportsAndTakesItsInputs) {
    ASSERT_EQ(mfb_sim_set_function(0, 3, MFB_SIM_ETM), 0);
    std::uint32_t word = 0;
    ASSERT_EQ(i_MFB_GetModuleConfiguration(handle, 3, &word), 0);
    EXPECT_EQ(word & 0xFF, static_cast<std::uint32_t>(MFB_SIM_ETM));
    EXPECT_EQ(mfb_sim_etm_signal(0, 3, 1, 1000, 250), 0);
    EXPECT_EQ(mfb_sim_etm_signal(0, 3, 1, 1000, 1001), -1) << "high time beyond the period";
}

TEST_F(CEntry, FailedPlatformCallAndResetToProcessStart) {
    ASSERT_EQ(mfb_sim_fail("CreateFileA", 1), 0);
    MFB_BoardHandle other = 0;
    EXPECT_EQ(i_MFB_OpenBoardViaIndex(1, &other), -7);
    EXPECT_EQ(i_MFB_OpenBoardViaIndex(1, &other), 0) << "only the next call fails";

    ASSERT_EQ(mfb_sim_reset(), 0);
    EXPECT_EQ(mfb_sim_board_count(), 0u);
    EXPECT_EQ(mfb::vbus::open_handles(), 0u);
}

TEST_F(CEntry, FirmwareFileHoldsThePayload) {
    const std::string path = testing::TempDir() + "c_entry_firmware.bin";
    const std::vector<std::uint8_t> payload = {1, 2, 3, 0xC6, 0xFF};
    ASSERT_EQ(mfb_sim_write_firmware_file(path.c_str(), payload.data(), 5), 0);
    const auto report = mfb::sim::inspect_firmware_file(path);
    std::remove(path.c_str());
    EXPECT_TRUE(report.accepted) << report.reason;
    EXPECT_EQ(report.payload, payload);

    std::uint8_t bytes[4] = {};
    EXPECT_EQ(mfb_sim_flash_contents(0, 0x7FFFE, bytes, 4), 2) << "the part ends at 0x7FFFF";
    EXPECT_EQ(bytes[0], 0xFF) << "a new board's flash is erased";
}

} // namespace
