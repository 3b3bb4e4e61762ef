// The frequency measurement family against a recording driver: the gate time rounded to clock
// ticks, the checks in their order, the requests byte for byte and the counter-style status.
#include "exchange_table.h"

#include "board/status.h"

using namespace mfbtest;

namespace {

constexpr std::uint32_t kInit = 0x9000608C;
constexpr std::uint32_t kEnable = 0x90006090;
constexpr std::uint32_t kRead = 0x90006094;
constexpr std::uint32_t kDisable = 0x90006098;

// InitFrequencyMeasurement(h, module, clock, unit, gate time, &achieved)
#define INIT(...) OUTS_CALL(InitFrequencyMeasurement(h, __VA_ARGS__, &o.words[0]))

Bytes init_request(std::uint8_t module, std::uint32_t gate_count, std::uint8_t clock) {
    return cat({{module, 0, 0, 0}, le32(gate_count), {clock}, zeros(7)});
}

using Frequency = OpenRecorderTest;

// The gate time in ticks (nearest, a half going up) less 2 goes to the driver; the caller gets
// the gate time those ticks give, rounded to the unit.
TEST_F(Frequency, GateTimeToTicks) {
    struct Case {
        const char* what;
        std::uint8_t clock, unit;
        std::uint32_t gate, gate_count, achieved;
    };
    const Case cases[] = {
        {"7.5 ticks round up to 8", 30, 0, 1'000, 6, 1'067},
        {"2.5 ticks round up to 3", 40, 0, 250, 1, 300},
        {"8.25 ticks round down to 8", 33, 0, 1'000, 6, 970},
        {"upper bound at 30 MHz", 30, 0, 8'738'133, 65'534, 8'738'133},
        {"upper bound at 33 MHz: one more than asked", 33, 0, 7'943'757, 65'534, 7'943'758},
        {"upper bound at 40 MHz", 40, 0, 6'553'500, 65'533, 6'553'500},
        {"lower bound at 30 MHz: 1.995 ticks make 2", 30, 0, 266, 0, 267},
        {"lower bound at 33 MHz", 33, 0, 242, 0, 242},
        {"milliseconds at 40 MHz", 40, 2, 6, 59'998, 6},
        {"one microsecond at 30 MHz", 30, 1, 1, 6, 1},
        {"microseconds at 33 MHz: 65,529.75 ticks", 33, 1, 7'943, 65'528, 7'943},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        d->clear();
        Outs o;
        EXPECT_EQ(i_MFB_InitFrequencyMeasurement(h, 2, c.clock, c.unit, c.gate, &o.words[0]), 0);
        expect_one_exchange(*d, kInit, init_request(2, c.gate_count, c.clock), 16);
        EXPECT_EQ(o, Outs({.words = {c.achieved}}));
    }
}

TEST_F(Frequency, RefusedArguments) {
    const Refused cases[] = {
        {"unknown handle before every check", stranger(INIT(0, 50, 3, 0)), -1},
        {"time unit 3", INIT(0, 30, 3, 1), -5},
        {"clock 50 with unit 3: the unit is checked first", INIT(0, 50, 3, 1), -5},
        {"clock 50", INIT(0, 50, 0, 1'000), -6},
        {"clock 31", INIT(0, 31, 1, 1), -6},
        {"265 ns at 30 MHz", INIT(0, 30, 0, 265), -7},
        {"one above the upper bound at 30 MHz", INIT(0, 30, 0, 8'738'134), -7},
        {"one above the upper bound at 33 MHz", INIT(0, 33, 0, 7'943'758), -7},
        {"199 ns at 40 MHz", INIT(0, 40, 0, 199), -7},
        {"7 ms at 40 MHz", INIT(0, 40, 2, 7), -7},
        {"0 us at 30 MHz", INIT(0, 30, 1, 0), -7},
        {"0 ms at 40 MHz", INIT(0, 40, 2, 0), -7},
        {"unknown handle, enable", stranger(OUTS_CALL(EnableFrequencyMeasurement(h, 0, 1))), -1},
        {"unknown handle, read",
         stranger(OUTS_CALL(ReadFrequencyMeasurement(h, 0, &o.bytes[0], &o.bytes[1], &o.words[0]))),
         -1},
        {"unknown handle, disable", stranger(OUTS_CALL(DisableFrequencyMeasurement(h, 0))), -1},
    };
    check_all(cases);
}

TEST_F(Frequency, Requests) {
    const Sent cases[] = {
        {"a module number of 9 reaches the driver",
         INIT(9, 40, 0, 250),
         kInit,
         init_request(9, 1, 40),
         16,
         {},
         {.words = {300}}},
        {"enable", OUTS_CALL(EnableFrequencyMeasurement(h, 3, 0xA7)), kEnable,
         cat({{3, 0xA7}, zeros(6)}), 8},
        {"disable", OUTS_CALL(DisableFrequencyMeasurement(h, 2)), kDisable, cat({{2}, zeros(7)}),
         8},
        {"read: bytes 1 and 2, the value at 4",
         OUTS_CALL(ReadFrequencyMeasurement(h, 1, &o.bytes[0], &o.bytes[1], &o.words[0])),
         kRead,
         cat({{1}, zeros(11)}),
         12,
         cat({{0xEE, 0x81, 0x7F, 0xEE}, le32(0x89ABCDEF)}),
         {.words = {0x89ABCDEF}, .bytes = {0x81, 0x7F}}},
    };
    check_all(cases);
}

// -1 for a failed exchange, as for an unknown handle; the set-up has written the achieved gate
// time by then, the others nothing.
TEST_F(Frequency, FailedExchange) {
    const ExchangeFails cases[] = {
        {"enable", OUTS_CALL(EnableFrequencyMeasurement(h, 0, 1)), -1},
        {"read", OUTS_CALL(ReadFrequencyMeasurement(h, 0, &o.bytes[0], &o.bytes[1], &o.words[0])),
         -1},
        {"disable", OUTS_CALL(DisableFrequencyMeasurement(h, 0)), -1},
    };
    check_all(cases);
    mfb::vbus::fail(mfb::vbus::Fn::DeviceIoControl);
    std::uint32_t achieved = 0;
    EXPECT_EQ(i_MFB_InitFrequencyMeasurement(h, 0, 30, 0, 1'000, &achieved), -1);
    EXPECT_EQ(achieved, 1'067u);
}

// The status word in the last four bytes of each answer, mapped as the counter family maps it:
// s - 1, and a refusal whose s - 1 is 0 in its low 16 bits never reads as success. The read
// writes its values before the status is looked at.
TEST_F(Frequency, DriverStatus) {
    struct Member {
        const char* what;
        Call call;
        std::size_t size;
    };
    const Member members[] = {
        {"init", INIT(0, 40, 0, 250), 16},
        {"enable", OUTS_CALL(EnableFrequencyMeasurement(h, 0, 1)), 8},
        {"read", OUTS_CALL(ReadFrequencyMeasurement(h, 0, &o.bytes[0], &o.bytes[1], &o.words[0])),
         12},
        {"disable", OUTS_CALL(DisableFrequencyMeasurement(h, 0)), 8},
    };
    const std::pair<std::uint32_t, std::int16_t> mappings[] = {
        {0, 0}, {5, 4}, {0xFFFFFFFE, -3}, {0x00010001, mfb::kCounterRefusedAsZero}};
    for (const Member& m : members)
        for (auto [s, status] : mappings) {
            SCOPED_TRACE(::testing::Message() << m.what << " s=" << std::hex << s);
            d->script(status_answer(m.size, m.size - 4, s, {0, 0x11, 0x22, 0, 4, 3, 2, 1}));
            Outs o;
            EXPECT_EQ(m.call(h, o), status);
            if (m.size == 12) {
                EXPECT_EQ(o, Outs({.words = {0x01020304}, .bytes = {0x11, 0x22}}));
            }
        }
}

} // namespace
