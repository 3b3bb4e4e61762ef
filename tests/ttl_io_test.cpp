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

#define DIRECTION(...) OUTS_CALL(InitTTLIODirection(h, __VA_ARGS__))
#define READ_CHANNEL(...) OUTS_CALL(ReadTTLIOChannelValue(h, __VA_ARGS__, &o.bytes[0]))
#define READ_PORT(...) OUTS_CALL(ReadTTLIOPortValue(h, __VA_ARGS__, &o.bytes[0]))
#define READ_ALL(module) OUTS_CALL(ReadTTLIOAllPortValue(h, module, &o.words[0]))

using TtlIo = OpenRecorderTest;

TEST_F(TtlIo, RefusedArguments) {
    const Refused cases[] = {
        {"unopened handle wins over every bad argument", stranger(DIRECTION(4, 2, 2, 2, 2)), -1},
        {"unopened handle, read channel", stranger(READ_CHANNEL(0, 0, 0)), -1},
        {"unopened handle, line switch", stranger(OUTS_CALL(SetTTLIOChlOn(h, 9, 99))), -1},
        {"direction module 4", DIRECTION(4, 0, 0, 0, 0), -2},
        {"direction module 0xFF", DIRECTION(0xFF, 2, 0, 0, 0), -2},
        {"direction flag 1", DIRECTION(0, 2, 0, 0, 0), -3},
        {"direction flag 1 before flag 2", DIRECTION(0, 0xFF, 2, 0, 0), -3},
        {"direction flag 2", DIRECTION(0, 1, 2, 0, 0), -4},
        {"direction flag 3 alone", DIRECTION(0, 1, 1, 2, 1), -5},
        {"direction flag 4", DIRECTION(0, 1, 1, 1, 2), -6},
        {"read channel module 4", READ_CHANNEL(4, 4, 8), -2},
        {"read channel port 4: reads stop at port 3", READ_CHANNEL(0, 4, 0), -3},
        {"read channel port 4 and channel 8", READ_CHANNEL(0, 4, 8), -3},
        {"read channel channel 8", READ_CHANNEL(0, 3, 8), -4},
        {"read port module 4", READ_PORT(4, 0), -2},
        {"read port 4", READ_PORT(1, 4), -3},
        {"read port 0xFF", READ_PORT(1, 0xFF), -3},
        {"read all module 4", READ_ALL(4), -2},
        {"channel on module 4", OUTS_CALL(SetTTLIOChannelOn(h, 4, 0, 0)), -2},
        {"channel on port 5", OUTS_CALL(SetTTLIOChannelOn(h, 0, 5, 0)), -3},
        {"channel on port 5 and channel 8", OUTS_CALL(SetTTLIOChannelOn(h, 0, 5, 8)), -3},
        {"channel on channel 8", OUTS_CALL(SetTTLIOChannelOn(h, 0, 0, 8)), -4},
        {"channel off port 5", OUTS_CALL(SetTTLIOChannelOff(h, 3, 5, 7)), -3},
        {"channel off channel 8", OUTS_CALL(SetTTLIOChannelOff(h, 3, 4, 8)), -4},
        {"line on module 4", OUTS_CALL(SetTTLIOChlOn(h, 4, 0)), -2},
        {"line on 26", OUTS_CALL(SetTTLIOChlOn(h, 0, 26)), -3},
        {"line off 26", OUTS_CALL(SetTTLIOChlOff(h, 0, 26)), -3},
        {"line off 0xFF", OUTS_CALL(SetTTLIOChlOff(h, 3, 0xFF)), -3},
    };
    check_all(cases);
}

TEST_F(TtlIo, Requests) {
    const Sent cases[] = {
        {"direction", DIRECTION(3, 1, 0, 1, 0), kDirection, {3, 1, 0, 1, 0}},
        {"read channel: the value at offset 3, unchanged",
         READ_CHANNEL(1, 3, 7),
         kReadChannel,
         {1, 3, 7, 0},
         4,
         {0xEE, 0xEE, 0xEE, 0x5C},
         {.bytes = {0x5C}}},
        {"read port: the value at offset 2",
         READ_PORT(2, 3),
         kReadPort,
         {2, 3, 0},
         3,
         {0xEE, 0xEE, 0xA7},
         {.bytes = {0xA7}}},
        {"read all ports: the value at offset 4",
         READ_ALL(3),
         kReadAll,
         cat({{3}, zeros(7)}),
         8,
         cat({{0xEE, 0xEE, 0xEE, 0xEE}, le32(0x8010FF03)}),
         {.words = {0x8010FF03}}},
        {"channel on", OUTS_CALL(SetTTLIOChannelOn(h, 1, 4, 7)), kSwitch, {1, 4, 7, 1}},
        {"channel off", OUTS_CALL(SetTTLIOChannelOff(h, 1, 4, 7)), kSwitch, {1, 4, 7, 0}},
        {"line 0 is port 0 channel 0", OUTS_CALL(SetTTLIOChlOn(h, 2, 0)), kSwitch, {2, 0, 0, 1}},
        {"line 1 is port 1 channel 0", OUTS_CALL(SetTTLIOChlOn(h, 2, 1)), kSwitch, {2, 1, 0, 1}},
        {"line 2 is port 2 channel 0", OUTS_CALL(SetTTLIOChlOn(h, 2, 2)), kSwitch, {2, 2, 0, 1}},
        {"line 9 is port 2 channel 7", OUTS_CALL(SetTTLIOChlOn(h, 2, 9)), kSwitch, {2, 2, 7, 1}},
        {"line 10 is port 3 channel 0", OUTS_CALL(SetTTLIOChlOn(h, 2, 10)), kSwitch, {2, 3, 0, 1}},
        {"line 25 is port 4 channel 7", OUTS_CALL(SetTTLIOChlOff(h, 0, 25)), kSwitch, {0, 4, 7, 0}},
    };
    check_all(cases);
}

// The 26 line numbers reach 26 different lines: channel 0 of ports 0 and 1 and every channel of
// ports 2 to 4; channels 1 to 7 of ports 0 and 1 have no line number.
TEST_F(TtlIo, LineNumbersCoverTheConnector) {
    std::set<std::pair<int, int>> expected = {{0, 0}, {1, 0}}, reached;
    for (int port = 2; port <= 4; ++port)
        for (int ch = 0; ch < 8; ++ch)
            expected.insert({port, ch});
    for (std::uint8_t l = 0; l <= 25; ++l) {
        ASSERT_EQ(i_MFB_SetTTLIOChlOn(h, 0, l), 0);
        reached.insert({d->last()->request[1], d->last()->request[2]});
    }
    EXPECT_EQ(reached, expected); // 26 lines reached, so no two numbers share one
}

TEST_F(TtlIo, FailedExchangeCodes) {
    const ExchangeFails cases[] = {
        {"direction", DIRECTION(0, 1, 1, 1, 1), -7},
        {"read channel", READ_CHANNEL(0, 0, 0), -5},
        {"read port", READ_PORT(0, 0), -4},
        {"read all ports", READ_ALL(0), -3},
        {"channel on", OUTS_CALL(SetTTLIOChannelOn(h, 0, 4, 7)), -5},
        {"channel off", OUTS_CALL(SetTTLIOChannelOff(h, 0, 4, 7)), -5},
        {"line on: -4, not the switch's -5", OUTS_CALL(SetTTLIOChlOn(h, 0, 25)), -4},
        {"line off", OUTS_CALL(SetTTLIOChlOff(h, 0, 0)), -4},
    };
    check_all(cases);
}

} // namespace
