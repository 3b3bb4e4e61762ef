// The simulated board's identity, digital ports and EEPROM, end to end through the library.
#include "bus_fixture.h"
#include "sim/board_identity.h"
#include "sim/board_io.h"
#include "sim/sim_board.h"

using namespace mfbtest;
using mfb::sim::BoardIo;
using mfb::sim::Function;

namespace {

class SimBoardIo : public OpenSimBoard {
  protected:
    std::uint8_t read(std::uint8_t port) {
        std::uint8_t v = 0xA5;
        EXPECT_EQ(i_MFB_ReadDigitalInputs(h, port, &v), 0);
        return v;
    }
};

TEST_F(SimBoardIo, IdentityAndConfigurationWordsFollowTheFittedFunctions) {
    std::uint8_t type = 0;
    std::uint32_t version = 0, word = 0;
    EXPECT_EQ(i_MFB_GetBoardHardwareType(h, &type), 0);
    EXPECT_EQ(type, mfb::sim::kHardwareType);
    EXPECT_EQ(i_MFB_GetDeviceDriverVersion(h, &version), 0);
    EXPECT_EQ(version, mfb::sim::kDriverVersion);
    const Function fitted[] = {Function::Counter, Function::Timer, Function::TtlIo, Function::Ssi};
    for (std::uint8_t m = 0; m < 4; ++m) {
        EXPECT_EQ(i_MFB_GetModuleConfiguration(h, m, &word), 0);
        EXPECT_EQ(word, std::uint32_t(m) << 8 | std::uint8_t(fitted[m])) << int(m);
    }
    board->set_function(3, Function::Pwm);
    board->set_function(1, Function::None);
    EXPECT_EQ(i_MFB_GetModuleConfiguration(h, 3, &word), 0);
    EXPECT_EQ(word, 0x300u | std::uint8_t(Function::Pwm));
    EXPECT_EQ(i_MFB_GetModuleConfiguration(h, 1, &word), 0);
    EXPECT_EQ(word, 0x100u) << "an empty position";
    word = 0xA5A5A5A5;
    EXPECT_EQ(i_MFB_GetModuleConfiguration(h, 4, &word), -mfb::sim::kNoSuchPosition);
    EXPECT_EQ(word, 0u) << "written whatever the status";
}

TEST_F(SimBoardIo, InputsFromTheBenchOrLoopedBack) {
    board->with_io([](BoardIo& io) {
        io.drive_inputs(1, 0xA5);
        io.set_loopback(2, true);
    });
    for (std::uint8_t p : {1, 2})
        ASSERT_EQ(i_MFB_SetPortConfiguration(h, p, 0, 0), 0);
    EXPECT_EQ(read(1), 0xA5);
    ASSERT_EQ(i_MFB_SetDigitalOutputsOn(h, 2, 0x3C), 0);
    ASSERT_EQ(i_MFB_SetDigitalOutputsOn(h, 1, 0x81), 0);
    EXPECT_EQ(read(2), 0x3C) << "loop-back reads the port's own latch";
    EXPECT_EQ(read(1), 0xA5) << "the bench drives port 1 whatever it outputs";
    EXPECT_EQ(board->with_io([](BoardIo& io) { return io.outputs(1); }), 0x81);
}

// First value 1: line 5 enables the outputs. Second value 1: line 6 strobes the inputs.
TEST_F(SimBoardIo, LinesFiveAndSixAsOutputEnableAndInputStrobe) {
    const auto outputs = [&] { return board->with_io([](BoardIo& io) { return io.outputs(0); }); };
    const auto drive = [&](std::uint8_t v) {
        board->with_io([v](BoardIo& io) { io.drive_inputs(0, v); });
    };
    ASSERT_EQ(i_MFB_SetPortConfiguration(h, 0, 1, 0), 0);
    ASSERT_EQ(i_MFB_SetDigitalOutputsOn(h, 0, 0x0F), 0);
    EXPECT_EQ(outputs(), 0) << "line 5 low holds the outputs off";
    drive(0x20);
    EXPECT_EQ(outputs(), 0x0F);
    EXPECT_EQ(read(0), 0x00) << "the enable line reads 0 through the library";

    ASSERT_EQ(i_MFB_SetPortConfiguration(h, 0, 0, 1), 0);
    EXPECT_EQ(read(0), 0x00) << "no strobe edge yet";
    drive(0x0F);
    EXPECT_EQ(read(0), 0x00);
    drive(0x4F);
    EXPECT_EQ(read(0), 0x0F) << "sampled on the rising edge, line 6 hidden";
    drive(0x43);
    EXPECT_EQ(read(0), 0x0F) << "held while line 6 stays high";
}

TEST_F(SimBoardIo, EepromWordsOutliveTheOpenAndRefuseAddressesBeyondTheLast) {
    std::uint32_t value = 0;
    EXPECT_EQ(i_MFB_EepromAMCCRead(h, 9, &value), 0);
    EXPECT_EQ(value, 0xFFFFFFFFu) << "erased";
    testing::internal::CaptureStdout();
    EXPECT_EQ(i_MFB_EepromAMCCWrite(h, 9, 0x12345678), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "dw_EepromValue : 305419896 \nreturnedLength : 12 \n");
    ASSERT_EQ(i_MFB_CloseBoard(h), 0);
    ASSERT_EQ(i_MFB_OpenBoardViaIndex(0, &h), 0);
    EXPECT_EQ(i_MFB_EepromAMCCRead(h, 9, &value), 0);
    EXPECT_EQ(value, 0x12345678u);
    EXPECT_EQ(board->with_io([](BoardIo& io) { return io.eeprom(9); }), 0x12345678u);

    const std::uint32_t beyond = BoardIo::kEepromWords;
    EXPECT_EQ(i_MFB_EepromAMCCWrite(h, beyond, 1), -BoardIo::kAddressOutOfRange);
    EXPECT_EQ(i_MFB_EepromAMCCRead(h, beyond, &value), 100);
    EXPECT_EQ(i_MFB_EepromAMCCRead(h, beyond - 1, &value), 0);
}

} // namespace
