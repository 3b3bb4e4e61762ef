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

// Calls with the out variables of Outs; arguments after the handle as the export takes them.
Call init(std::uint8_t module, std::uint8_t timer, std::uint8_t mode, std::uint32_t value,
          std::uint8_t selector, std::uint8_t f1, std::uint8_t f2, std::uint8_t f3) {
    return [=](MFB_BoardHandle h, Outs&) {
        return i_MFB_InitTimer(h, module, timer, mode, value, selector, f1, f2, f3);
    };
}
Call enable(std::uint8_t module, std::uint8_t timer, std::uint8_t flag) {
    return [=](MFB_BoardHandle h, Outs&) { return i_MFB_EnableTimer(h, module, timer, flag); };
}
Call disable(std::uint8_t module, std::uint8_t timer) {
    return [=](MFB_BoardHandle h, Outs&) { return i_MFB_DisableTimer(h, module, timer); };
}
Call read(std::uint8_t module, std::uint8_t timer) {
    return [=](MFB_BoardHandle h, Outs& o) {
        return i_MFB_ReadTimerValue(h, module, timer, &o.words[0]);
    };
}
Call read_all(std::uint8_t module) {
    return [=](MFB_BoardHandle h, Outs& o) {
        return i_MFB_ReadAllTimerValue(h, module, o.words.data());
    };
}
Call output_level(std::uint8_t module, std::uint8_t timer) {
    return [=](MFB_BoardHandle h, Outs& o) {
        return i_MFB_GetTimerOutputLevel(h, module, timer, &o.bytes[0]);
    };
}
Call progress(std::uint8_t module, std::uint8_t timer) {
    return [=](MFB_BoardHandle h, Outs& o) {
        return i_MFB_GetTimerProgressStatus(h, module, timer, &o.bytes[0]);
    };
}
Call progress_ex(std::uint8_t module, std::uint8_t timer) {
    return [=](MFB_BoardHandle h, Outs& o) {
        return i_MFB_GetTimerProgressStatusEx(h, module, timer, &o.bytes[0]);
    };
}
Call write(std::uint8_t module, std::uint8_t timer, std::uint32_t value) {
    return [=](MFB_BoardHandle h, Outs&) { return i_MFB_WriteTimerValue(h, module, timer, value); };
}

using Timer = OpenRecorderTest;

TEST_F(Timer, RefusedArguments) {
    const Refused cases[] = {
        {"unopened handle wins over every bad argument", stranger(init(4, 7, 6, 0, 3, 2, 2, 2)),
         -1},
        {"unopened handle, read", stranger(read(0, 0)), -1},
        {"unopened handle, read all", stranger(read_all(0)), -1},
        {"init module 4", init(4, 0, 0, 0, 0, 0, 0, 0), -2},
        {"init module 0xFF is unsigned, not -1", init(0xFF, 0, 0, 0, 0, 0, 0, 0), -2},
        {"init module 4 and timer 7: the module check first", init(4, 7, 0, 0, 0, 0, 0, 0), -2},
        {"init timer 3", init(0, 3, 0, 0, 0, 0, 0, 0), -3},
        {"init timer 3 and mode 6", init(0, 3, 6, 0, 0, 0, 0, 0), -3},
        {"init mode 6", init(0, 1, 6, 0, 0, 0, 0, 0), -4},
        {"init mode 6 and selector 3", init(0, 1, 6, 0, 3, 0, 0, 0), -4},
        {"init selector 3", init(0, 2, 0, 0, 3, 0, 0, 0), -5},
        {"init selector 1 on timer 0", init(0, 0, 0, 0, 1, 0, 0, 0), -5},
        {"init selector 0xFF", init(0, 1, 0, 0, 0xFF, 0, 0, 0), -5},
        {"init selector 3 before flag 1", init(0, 1, 0, 0, 3, 2, 0, 0), -5},
        {"init flag 1 is 2", init(0, 1, 0, 0, 0, 2, 0, 0), -6},
        {"init flag 1 before flag 2", init(0, 1, 0, 0, 0, 0xFF, 2, 2), -6},
        {"init flag 2 is 2", init(0, 1, 0, 0, 0, 1, 2, 0), -7},
        {"init flag 3 is 2", init(0, 1, 0, 0, 0, 1, 1, 2), -8},
        {"enable module 4", enable(4, 0, 0), -2},
        {"enable timer 3", enable(0, 3, 2), -3},
        {"enable flag 2", enable(0, 2, 2), -4},
        {"disable module 4", disable(4, 0), -2},
        {"disable timer 3", disable(3, 3), -3},
        {"read module 4", read(4, 0), -2},
        {"read timer 3", read(0, 3), -3},
        {"read all module 4", read_all(4), -2},
        {"output level module 4", output_level(4, 0), -2},
        {"output level timer 3", output_level(0, 3), -3},
        {"progress module 4", progress(4, 3), -2},
        {"progress timer 3", progress(1, 3), -3},
        {"progress ex module 4", progress_ex(4, 0), -2},
        {"progress ex timer 3", progress_ex(2, 0xFF), -3},
        {"write module 4", write(4, 0, 1), -2},
        {"write timer 3", write(0, 3, 1), -3},
    };
    check_all(cases);
}

// Timer 0 has no timer below it to take its clock from; timers 1 and 2 accept selector 1.
TEST_F(Timer, SelectorDependsOnTimer) {
    for (std::uint8_t timer = 0; timer < 3; ++timer)
        for (std::uint8_t selector = 0; selector < 4; ++selector) {
            SCOPED_TRACE(testing::Message()
                         << "timer " << int(timer) << " selector " << int(selector));
            const bool refused = selector == 3 || (selector == 1 && timer == 0);
            EXPECT_EQ(i_MFB_InitTimer(h, 0, timer, 0, 0, selector, 0, 0, 0), refused ? -5 : 0);
        }
    EXPECT_EQ(d->records().size(), 8u);
}

TEST_F(Timer, Requests) {
    const Sent cases[] = {
        {"init, every byte at its limit",
         init(3, 2, 5, 0xFFFFFFFF, 2, 1, 1, 1),
         kInit,
         {3, 2, 5, 2, 1, 1, 1, 0, 0xFF, 0xFF, 0xFF, 0xFF}},
        {"init, selector 1 on timer 1",
         init(1, 1, 0, 0x12345678, 1, 0, 0, 0),
         kInit,
         {1, 1, 0, 1, 0, 0, 0, 0, 0x78, 0x56, 0x34, 0x12}},
        {"init, flags each in their own byte",
         init(0, 0, 3, 0x00000100, 0, 1, 0, 1),
         kInit,
         {0, 0, 3, 0, 1, 0, 1, 0, 0x00, 0x01, 0x00, 0x00}},
        {"enable with interrupts", enable(2, 1, 1), kEnable, {2, 1, 1}},
        {"enable without", enable(0, 0, 0), kEnable, {0, 0, 0}},
        {"disable", disable(3, 2), kDisable, {3, 2}},
        {"write", write(2, 0, 0xFFFFFFFF), kWrite, {2, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}},
        {"write small", write(1, 2, 0x0A0B0C0D), kWrite, {1, 2, 0, 0, 0x0D, 0x0C, 0x0B, 0x0A}},
        {"read: the value at offset 4",
         read(1, 2),
         kRead,
         {1, 2, 0, 0, 0, 0, 0, 0},
         8,
         {0xEE, 0xEE, 0xEE, 0xEE, 0x78, 0x56, 0x34, 0x12},
         Writes{.words = {0x12345678}}},
        {"read all: offsets 4, 8 and 12 to elements 0, 1 and 2",
         read_all(3),
         kReadAll,
         {3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
         16,
         {0xEE, 0xEE, 0xEE, 0xEE, 1, 0, 0, 0, 2, 0, 0, 0xC0, 0xFF, 0xFF, 0xFF, 0xFF},
         Writes{.words = {1, 0xC0000002, 0xFFFFFFFF}}},
        {"output level at offset 2, unchanged",
         output_level(2, 1),
         kOutputLevel,
         {2, 1, 0},
         3,
         {0xEE, 0xEE, 0x5C},
         Writes{.bytes = {0x5C}}},
        {"progress status at offset 2",
         progress(1, 0),
         kProgress,
         {1, 0, 0},
         3,
         {0xEE, 0xEE, 0x81},
         Writes{.bytes = {0x81}}},
        {"progress status ex: only the code differs",
         progress_ex(1, 0),
         kProgressEx,
         {1, 0, 0},
         3,
         {0xEE, 0xEE, 0x07},
         Writes{.bytes = {0x07}}},
    };
    check_all(cases);
}

TEST_F(Timer, FailedExchangeCodes) {
    const ExchangeFails cases[] = {
        {"init", init(0, 1, 0, 5, 0, 0, 0, 0), -9},
        {"enable", enable(0, 1, 1), -5},
        {"disable: -5, not -4", disable(0, 1), -5},
        {"read: -5, not -4", read(0, 1), -5},
        {"read all: -3 means the exchange", read_all(0), -3},
        {"output level", output_level(0, 1), -4},
        {"progress", progress(0, 1), -4},
        {"progress ex", progress_ex(0, 1), -4},
        {"write", write(0, 1, 5), -4},
    };
    check_all(cases);
}

} // namespace
