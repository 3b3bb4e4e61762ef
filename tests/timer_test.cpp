// The timer family against a recording driver: every check with its code and in its order, the
// exact requests, the answers copied to the caller, and each function's code for a failed
// exchange.
#include "exchange_table.h"

using namespace mfbtest;

namespace {

constexpr std::uint32_t kInit = 0x900020B0;
constexpr std::uint32_t kEnable = 0x900020B4;
constexpr std::uint32_t kDisable = 0x900020B8;
constexpr std::uint32_t kRead = 0x900020BC;
constexpr std::uint32_t kReadAll = 0x900020C0;
constexpr std::uint32_t kOutputLevel = 0x900020C4;
constexpr std::uint32_t kProgress = 0x900020C8;
constexpr std::uint32_t kWrite = 0x900020CC;
constexpr std::uint32_t kProgressEx = 0x90002184;

// InitTimer(h, module, timer, mode, value, selector, flag 1, flag 2, flag 3)
#define INIT(...) OUTS_CALL(InitTimer(h, __VA_ARGS__))

using Timer = OpenRecorderTest;

TEST_F(Timer, RefusedArguments) {
    const Refused cases[] = {
        {"unopened handle wins over every bad argument", stranger(INIT(4, 7, 6, 0, 3, 2, 2, 2)),
         -1},
        {"unopened handle, read", stranger(OUTS_CALL(ReadTimerValue(h, 0, 0, &o.words[0]))), -1},
        {"unopened handle, read all", stranger(OUTS_CALL(ReadAllTimerValue(h, 0, &o.words[0]))),
         -1},
        {"init module 4", INIT(4, 0, 0, 0, 0, 0, 0, 0), -2},
        {"init module 0xFF is unsigned, not -1", INIT(0xFF, 0, 0, 0, 0, 0, 0, 0), -2},
        {"init module 4 and timer 7: the module check first", INIT(4, 7, 0, 0, 0, 0, 0, 0), -2},
        {"init timer 3", INIT(0, 3, 0, 0, 0, 0, 0, 0), -3},
        {"init timer 3 and mode 6", INIT(0, 3, 6, 0, 0, 0, 0, 0), -3},
        {"init mode 6", INIT(0, 1, 6, 0, 0, 0, 0, 0), -4},
        {"init mode 6 and selector 3", INIT(0, 1, 6, 0, 3, 0, 0, 0), -4},
        {"init selector 3", INIT(0, 2, 0, 0, 3, 0, 0, 0), -5},
        {"init selector 1 on timer 0, which has no timer below it", INIT(0, 0, 0, 0, 1, 0, 0, 0),
         -5},
        {"init selector 0xFF", INIT(0, 1, 0, 0, 0xFF, 0, 0, 0), -5},
        {"init selector 3 before flag 1", INIT(0, 1, 0, 0, 3, 2, 0, 0), -5},
        {"init flag 1 is 2", INIT(0, 1, 0, 0, 0, 2, 0, 0), -6},
        {"init flag 1 before flag 2", INIT(0, 1, 0, 0, 0, 0xFF, 2, 2), -6},
        {"init flag 2 is 2", INIT(0, 1, 0, 0, 0, 1, 2, 0), -7},
        {"init flag 3 is 2", INIT(0, 1, 0, 0, 0, 1, 1, 2), -8},
        {"enable module 4", OUTS_CALL(EnableTimer(h, 4, 0, 0)), -2},
        {"enable timer 3", OUTS_CALL(EnableTimer(h, 0, 3, 2)), -3},
        {"enable flag 2", OUTS_CALL(EnableTimer(h, 0, 2, 2)), -4},
        {"disable module 4", OUTS_CALL(DisableTimer(h, 4, 0)), -2},
        {"disable timer 3", OUTS_CALL(DisableTimer(h, 3, 3)), -3},
        {"read module 4", OUTS_CALL(ReadTimerValue(h, 4, 0, &o.words[0])), -2},
        {"read timer 3", OUTS_CALL(ReadTimerValue(h, 0, 3, &o.words[0])), -3},
        {"read all module 4", OUTS_CALL(ReadAllTimerValue(h, 4, &o.words[0])), -2},
        {"output level module 4", OUTS_CALL(GetTimerOutputLevel(h, 4, 0, &o.bytes[0])), -2},
        {"output level timer 3", OUTS_CALL(GetTimerOutputLevel(h, 0, 3, &o.bytes[0])), -3},
        {"progress module 4", OUTS_CALL(GetTimerProgressStatus(h, 4, 3, &o.bytes[0])), -2},
        {"progress timer 3", OUTS_CALL(GetTimerProgressStatus(h, 1, 3, &o.bytes[0])), -3},
        {"progress ex module 4", OUTS_CALL(GetTimerProgressStatusEx(h, 4, 0, &o.bytes[0])), -2},
        {"progress ex timer 3", OUTS_CALL(GetTimerProgressStatusEx(h, 2, 0xFF, &o.bytes[0])), -3},
        {"write module 4", OUTS_CALL(WriteTimerValue(h, 4, 0, 1)), -2},
        {"write timer 3", OUTS_CALL(WriteTimerValue(h, 0, 3, 1)), -3},
    };
    check_all(cases);
}

TEST_F(Timer, Requests) {
    const Sent cases[] = {
        {"init, selector 1 on timer 2, every other byte at its limit",
         INIT(3, 2, 5, 0xFFFFFFFF, 1, 1, 1, 1),
         kInit,
         {3, 2, 5, 1, 1, 1, 1, 0, 255, 255, 255, 255}},
        {"init, selector 2 on timer 0, the flags each in their own byte",
         INIT(1, 0, 3, 0x12345678, 2, 0, 1, 0), kInit,
         cat({{1, 0, 3, 2, 0, 1, 0, 0}, le32(0x12345678)})},
        {"enable", OUTS_CALL(EnableTimer(h, 2, 1, 1)), kEnable, {2, 1, 1}},
        {"disable", OUTS_CALL(DisableTimer(h, 3, 2)), kDisable, {3, 2}},
        {"write",
         OUTS_CALL(WriteTimerValue(h, 1, 2, 0x0A0B0C0D)),
         kWrite,
         {1, 2, 0, 0, 13, 12, 11, 10}},
        {"read: the value at offset 4",
         OUTS_CALL(ReadTimerValue(h, 1, 2, &o.words[0])),
         kRead,
         cat({{1, 2}, zeros(6)}),
         8,
         cat({zeros(4), le32(0x12345678)}),
         {.words = {0x12345678}}},
        {"read all: offsets 4, 8 and 12 to elements 0, 1 and 2",
         OUTS_CALL(ReadAllTimerValue(h, 3, o.words.data())),
         kReadAll,
         cat({{3}, zeros(15)}),
         16,
         cat({zeros(4), le32(1), le32(0xC0000002), le32(0xFFFFFFFF)}),
         {.words = {1, 0xC0000002, 0xFFFFFFFF}}},
        {"output level at offset 2, unchanged",
         OUTS_CALL(GetTimerOutputLevel(h, 2, 1, &o.bytes[0])),
         kOutputLevel,
         {2, 1, 0},
         3,
         {0xEE, 0xEE, 0x5C},
         {.bytes = {0x5C}}},
        {"progress status at offset 2",
         OUTS_CALL(GetTimerProgressStatus(h, 1, 0, &o.bytes[0])),
         kProgress,
         {1, 0, 0},
         3,
         {0xEE, 0xEE, 0x81},
         {.bytes = {0x81}}},
        {"progress status ex: only the code differs",
         OUTS_CALL(GetTimerProgressStatusEx(h, 1, 0, &o.bytes[0])),
         kProgressEx,
         {1, 0, 0},
         3,
         {0xEE, 0xEE, 0x07},
         {.bytes = {0x07}}},
    };
    check_all(cases);
}

TEST_F(Timer, FailedExchangeCodes) {
    const ExchangeFails cases[] = {
        {"init", INIT(0, 1, 0, 5, 0, 0, 0, 0), -9},
        {"enable", OUTS_CALL(EnableTimer(h, 0, 1, 1)), -5},
        {"disable: -5, not -4", OUTS_CALL(DisableTimer(h, 0, 1)), -5},
        {"read: -5, not -4", OUTS_CALL(ReadTimerValue(h, 0, 1, &o.words[0])), -5},
        {"read all: -3 means the exchange", OUTS_CALL(ReadAllTimerValue(h, 0, o.words.data())), -3},
        {"output level", OUTS_CALL(GetTimerOutputLevel(h, 0, 1, &o.bytes[0])), -4},
        {"progress", OUTS_CALL(GetTimerProgressStatus(h, 0, 1, &o.bytes[0])), -4},
        {"progress ex", OUTS_CALL(GetTimerProgressStatusEx(h, 0, 1, &o.bytes[0])), -4},
        {"write", OUTS_CALL(WriteTimerValue(h, 0, 1, 5)), -4},
    };
    check_all(cases);
}

} // namespace
