// The TTL I/O family against a recording driver: every check with its code and in its order, the
// exact requests (the line numbers mapped to port and channel), the answers copied to the caller,
// and each function's code for a failed exchange.
#include "exchange_table.h"

#include <set>
#include <utility>

using namespace mfbtest;

namespace {

constexpr std::uint32_t kDirection = 0x9000209C;
constexpr std::uint32_t kReadChannel = 0x900020A0;
constexpr std::uint32_t kReadPort = 0x900020A4;
constexpr std::uint32_t kReadAll = 0x900020A8;
constexpr std::uint32_t kSwitch = 0x900020AC;

Call direction(std::uint8_t module, std::uint8_t d1, std::uint8_t d2, std::uint8_t d3,
               std::uint8_t d4) {
    return [=](MFB_BoardHandle h, Outs&) {
        return i_MFB_InitTTLIODirection(h, module, d1, d2, d3, d4);
    };
}
Call read_channel(std::uint8_t module, std::uint8_t port, std::uint8_t channel) {
    return [=](MFB_BoardHandle h, Outs& o) {
        return i_MFB_ReadTTLIOChannelValue(h, module, port, channel, &o.bytes[0]);
    };
}
Call read_port(std::uint8_t module, std::uint8_t port) {
    return [=](MFB_BoardHandle h, Outs& o) {
        return i_MFB_ReadTTLIOPortValue(h, module, port, &o.bytes[0]);
    };
}
Call read_all(std::uint8_t module) {
    return [=](MFB_BoardHandle h, Outs& o) {
        return i_MFB_ReadTTLIOAllPortValue(h, module, &o.words[0]);
    };
}
Call channel(bool on, std::uint8_t module, std::uint8_t port, std::uint8_t ch) {
    return [=](MFB_BoardHandle h, Outs&) {
        return on ? i_MFB_SetTTLIOChannelOn(h, module, port, ch)
                  : i_MFB_SetTTLIOChannelOff(h, module, port, ch);
    };
}
Call line(bool on, std::uint8_t module, std::uint8_t l) {
    return [=](MFB_BoardHandle h, Outs&) {
        return on ? i_MFB_SetTTLIOChlOn(h, module, l) : i_MFB_SetTTLIOChlOff(h, module, l);
    };
}

using TtlIo = OpenRecorderTest;

TEST_F(TtlIo, RefusedArguments) {
    const Refused cases[] = {
        {"unopened handle wins over every bad argument", stranger(direction(4, 2, 2, 2, 2)), -1},
        {"unopened handle, read channel", stranger(read_channel(0, 0, 0)), -1},
        {"unopened handle, line switch", stranger(line(true, 9, 99)), -1},
        {"direction module 4", direction(4, 0, 0, 0, 0), -2},
        {"direction module 0xFF", direction(0xFF, 2, 0, 0, 0), -2},
        {"direction flag 1", direction(0, 2, 0, 0, 0), -3},
        {"direction flag 1 before flag 2", direction(0, 0xFF, 2, 0, 0), -3},
        {"direction flag 2", direction(0, 1, 2, 0, 0), -4},
        {"direction flag 3 alone", direction(0, 1, 1, 2, 1), -5},
        {"direction flag 4", direction(0, 1, 1, 1, 2), -6},
        {"read channel module 4", read_channel(4, 4, 8), -2},
        {"read channel port 4: reads stop at port 3", read_channel(0, 4, 0), -3},
        {"read channel port 4 and channel 8", read_channel(0, 4, 8), -3},
        {"read channel channel 8", read_channel(0, 3, 8), -4},
        {"read port module 4", read_port(4, 0), -2},
        {"read port 4", read_port(1, 4), -3},
        {"read port 0xFF", read_port(1, 0xFF), -3},
        {"read all module 4", read_all(4), -2},
        {"channel on module 4", channel(true, 4, 0, 0), -2},
        {"channel on port 5", channel(true, 0, 5, 0), -3},
        {"channel on port 5 and channel 8", channel(true, 0, 5, 8), -3},
        {"channel on channel 8", channel(true, 0, 0, 8), -4},
        {"channel off port 5", channel(false, 3, 5, 7), -3},
        {"channel off channel 8", channel(false, 3, 4, 8), -4},
        {"line on module 4", line(true, 4, 0), -2},
        {"line on 26", line(true, 0, 26), -3},
        {"line off 26", line(false, 0, 26), -3},
        {"line off 0xFF", line(false, 3, 0xFF), -3},
    };
    check_all(cases);
}

TEST_F(TtlIo, Requests) {
    const Sent cases[] = {
        {"direction", direction(3, 1, 0, 1, 0), kDirection, {3, 1, 0, 1, 0}},
        {"direction all outputs", direction(0, 1, 1, 1, 1), kDirection, {0, 1, 1, 1, 1}},
        {"read channel: the value at offset 3, unchanged",
         read_channel(1, 3, 7),
         kReadChannel,
         {1, 3, 7, 0},
         4,
         {0xEE, 0xEE, 0xEE, 0x5C},
         Writes{.bytes = {0x5C}}},
        {"read port: the value at offset 2",
         read_port(2, 3),
         kReadPort,
         {2, 3, 0},
         3,
         {0xEE, 0xEE, 0xA7},
         Writes{.bytes = {0xA7}}},
        {"read all ports: the value at offset 4",
         read_all(3),
         kReadAll,
         {3, 0, 0, 0, 0, 0, 0, 0},
         8,
         {0xEE, 0xEE, 0xEE, 0xEE, 0x03, 0xFF, 0x10, 0x80},
         Writes{.words = {0x8010FF03}}},
        {"channel on, port 4 channel 7 is sent", channel(true, 1, 4, 7), kSwitch, {1, 4, 7, 1}},
        {"channel off differs only in byte 3", channel(false, 1, 4, 7), kSwitch, {1, 4, 7, 0}},
        {"line 0 is port 0 channel 0", line(true, 2, 0), kSwitch, {2, 0, 0, 1}},
        {"line 1 is port 1 channel 0", line(true, 2, 1), kSwitch, {2, 1, 0, 1}},
        {"line 2 is port 2 channel 0", line(true, 2, 2), kSwitch, {2, 2, 0, 1}},
        {"line 9 is port 2 channel 7", line(true, 2, 9), kSwitch, {2, 2, 7, 1}},
        {"line 10 is port 3 channel 0", line(true, 2, 10), kSwitch, {2, 3, 0, 1}},
        {"line 17 is port 3 channel 7", line(false, 2, 17), kSwitch, {2, 3, 7, 0}},
        {"line 18 is port 4 channel 0", line(false, 2, 18), kSwitch, {2, 4, 0, 0}},
        {"line 25 is port 4 channel 7", line(false, 0, 25), kSwitch, {0, 4, 7, 0}},
    };
    check_all(cases);
}

// A line-number switch is indistinguishable from the port-and-channel switch it stands for.
TEST_F(TtlIo, LineSwitchSendsThePortAndChannelRequest) {
    ASSERT_EQ(i_MFB_SetTTLIOChlOn(h, 1, 11), 0);
    ASSERT_EQ(i_MFB_SetTTLIOChannelOn(h, 1, 3, 1), 0);
    ASSERT_EQ(i_MFB_SetTTLIOChlOff(h, 1, 11), 0);
    ASSERT_EQ(i_MFB_SetTTLIOChannelOff(h, 1, 3, 1), 0);
    auto r = d->records();
    ASSERT_EQ(r.size(), 4u);
    EXPECT_EQ(r[0].request, r[1].request);
    EXPECT_EQ(r[2].request, r[3].request);
    EXPECT_NE(r[0].request, r[2].request);
}

// The 26 line numbers reach 26 different lines: channel 0 of ports 0 and 1 and every channel of
// ports 2 to 4; channels 1 to 7 of ports 0 and 1 have no line number.
TEST_F(TtlIo, LineNumbersCoverTheConnector) {
    std::set<std::pair<int, int>> expected = {{0, 0}, {1, 0}};
    for (int port = 2; port <= 4; ++port)
        for (int ch = 0; ch < 8; ++ch)
            expected.insert({port, ch});
    std::set<std::pair<int, int>> reached;
    for (std::uint8_t l = 0; l <= 25; ++l)
        ASSERT_EQ(i_MFB_SetTTLIOChlOn(h, 0, l), 0);
    for (const auto& r : d->records())
        reached.insert({r.request[1], r.request[2]});
    EXPECT_EQ(d->records().size(), 26u);
    EXPECT_EQ(reached, expected);
}

TEST_F(TtlIo, FailedExchangeCodes) {
    const ExchangeFails cases[] = {
        {"direction", direction(0, 1, 1, 1, 1), -7},
        {"read channel", read_channel(0, 0, 0), -5},
        {"read port", read_port(0, 0), -4},
        {"read all ports", read_all(0), -3},
        {"channel on", channel(true, 0, 4, 7), -5},
        {"channel off", channel(false, 0, 4, 7), -5},
        {"line on: -4 where the port-and-channel switch has -5", line(true, 0, 25), -4},
        {"line off", line(false, 0, 0), -4},
    };
    check_all(cases);
}

} // namespace
