// The board's digital ports against a recording driver: the checks and their order, the port
// state the library keeps in the board's slot, and what reaches the driver.
#include "exchange_table.h"

using namespace mfbtest;

namespace {

constexpr std::uint32_t kReadInputs = 0x9000211C;
constexpr std::uint32_t kWriteOutputs = 0x90002120;
constexpr std::uint32_t kConfigure = 0x90002124;

#define READ(port) OUTS_CALL(ReadDigitalInputs(h, port, &o.bytes[0]))
#define ON(port, mask) OUTS_CALL(SetDigitalOutputsOn(h, port, mask))
#define OFF(port, mask) OUTS_CALL(SetDigitalOutputsOff(h, port, mask))
#define CONFIGURE(port, first, second) OUTS_CALL(SetPortConfiguration(h, port, first, second))
#define MEMORY(flag) OUTS_CALL(SetDigitalOutputMemory(h, flag))

using Ports = OpenRecorderTest;

TEST_F(Ports, RefusedBeforeAnythingIsSent) {
    const Refused cases[] = {
        {"unopened handle before a bad port", stranger(CONFIGURE(4, 2, 2)), -1},
        {"unopened handle, read", stranger(READ(0)), -1},
        {"unopened handle, off", stranger(OFF(0, 1)), -1},
        {"unopened handle, memory", stranger(MEMORY(1)), -1},
        {"configure port 4 before bad values", CONFIGURE(4, 2, 2), -2},
        {"read port 4", READ(4), -2},
        {"on port 4", ON(4, 1), -2},
        {"off port 4", OFF(4, 1), -2},
        {"first value 2 before the second", CONFIGURE(0, 2, 2), -3},
        {"second value 2", CONFIGURE(0, 0, 2), -4},
        {"read a port never configured", READ(0), -3},
        {"on, port never configured", ON(1, 1), -3},
        {"off, port never configured, memory off", OFF(2, 1), -3},
        {"memory 2", MEMORY(2), -2},
    };
    check_all(cases); // the port-0 read after the refused configurations: none was recorded
}

// Switching with and without output memory: a table of steps on one port, each with its status
// and the output byte it sends (none: nothing reaches the driver).
TEST_F(Ports, OutputsFollowTheMemoryFlag) {
    struct Step {
        const char* what;
        Call call;
        std::int16_t status;
        std::optional<std::uint8_t> sent;
        bool exchange_fails = false;
    };
    ASSERT_EQ(i_MFB_SetPortConfiguration(h, 2, 0, 0), 0);
    const Step steps[] = {
        {"memory off: on replaces the byte", ON(2, 0x10), 0, 0x10},
        {"memory off: the mask whatever came before", ON(2, 0x05), 0, 0x05},
        {"memory off: off refused", OFF(2, 0x05), -4, {}},
        {"", ON(2, 0x10), 0, 0x10},
        {"memory on: nothing sent", MEMORY(1), 0, {}},
        {"starts from the byte last sent", ON(2, 0x05), 0, 0x15},
        {"off clears the mask", OFF(2, 0x04), 0, 0x11},
        {"a refused flag leaves memory on", MEMORY(2), -2, {}},
        {"failed exchange", ON(2, 0x02), -4, 0x13, true},
        {"the failed byte stays remembered", OFF(2, 0x10), 0, 0x03},
        {"memory off again", MEMORY(0), 0, {}},
        {"", OFF(2, 0x03), -4, {}},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        d->clear();
        if (s.exchange_fails)
            d->script(failure());
        Outs o;
        EXPECT_EQ(s.call(h, o), s.status);
        if (s.sent)
            expect_one_exchange(*d, kWriteOutputs, {2, *s.sent}, 0);
        else
            EXPECT_TRUE(d->records().empty());
    }
}

// While a configuration value is 1 its input bit reads 0; the configuration in force is the
// last one the board took.
TEST_F(Ports, ConfigurationHidesInputBits) {
    const struct {
        std::uint8_t first, second, read;
    } cases[] = {{1, 0, 0xDF}, {1, 1, 0x9F}, {0, 1, 0xBF}, {0, 0, 0xFF}};
    for (const auto& c : cases) {
        d->clear();
        ASSERT_EQ(i_MFB_SetPortConfiguration(h, 3, c.first, c.second), 0);
        expect_one_exchange(*d, kConfigure, {3, c.first, c.second}, 0);
        d->clear();
        d->script(answer({0xEE, 0xFF}));
        std::uint8_t in = 0;
        EXPECT_EQ(i_MFB_ReadDigitalInputs(h, 3, &in), 0);
        EXPECT_EQ(in, c.read) << int(c.first) << int(c.second);
        expect_one_exchange(*d, kReadInputs, {3, 0}, 2);
    }
    d->script(failure());
    EXPECT_EQ(i_MFB_SetPortConfiguration(h, 3, 1, 1), -5);
    d->script(answer({0xEE, 0xFF}));
    std::uint8_t in = 0;
    EXPECT_EQ(i_MFB_ReadDigitalInputs(h, 3, &in), 0);
    EXPECT_EQ(in, 0xFF) << "the failed configuration was not recorded";
}

TEST_F(Ports, FailedExchanges) {
    ASSERT_EQ(i_MFB_SetPortConfiguration(h, 0, 0, 0), 0);
    const ExchangeFails cases[] = {
        {"configure", CONFIGURE(1, 1, 1), -5},
        {"read", READ(0), -4},
    };
    check_all(cases);
    Outs o;
    EXPECT_EQ(READ(1)(h, o), -3) << "a port whose configuration failed stays unconfigured";
}

// The port state belongs to the slot for the life of the library, not to one open of the board.
TEST_F(Ports, StateSurvivesCloseAndReopenButNotAProcessStart) {
    ASSERT_EQ(i_MFB_SetPortConfiguration(h, 1, 1, 0), 0);
    ASSERT_EQ(i_MFB_SetDigitalOutputMemory(h, 1), 0);
    ASSERT_EQ(i_MFB_SetDigitalOutputsOn(h, 1, 0x30), 0);
    ASSERT_EQ(i_MFB_CloseBoard(h), 0);
    ASSERT_EQ(i_MFB_OpenBoardViaIndex(0, &h), 0);
    d->clear();
    EXPECT_EQ(i_MFB_SetDigitalOutputsOn(h, 1, 0x01), 0);
    expect_one_exchange(*d, kWriteOutputs, {1, 0x31}, 0);
    d->script(answer({0, 0xFF}));
    std::uint8_t in = 0;
    EXPECT_EQ(i_MFB_ReadDigitalInputs(h, 1, &in), 0);
    EXPECT_EQ(in, 0xDF);

    mfb::vbus::reset_process();
    d = open_recorder(h);
    EXPECT_EQ(i_MFB_ReadDigitalInputs(h, 1, &in), -3);
    EXPECT_EQ(i_MFB_SetDigitalOutputsOff(h, 1, 0x01), -3);
    ASSERT_EQ(i_MFB_SetPortConfiguration(h, 1, 0, 0), 0);
    EXPECT_EQ(i_MFB_SetDigitalOutputsOff(h, 1, 0x01), -4) << "memory is off again";
}

} // namespace
