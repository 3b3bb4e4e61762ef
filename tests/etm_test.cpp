// The ETM family against a recording driver: the requests byte for byte, the driver status
// returned unchanged, the optional out-pointers, the read with wait on the virtual clock, the duty
// cycle and the conversion of a tick count into a duration.
#include "exchange_table.h"

#include <tuple>

using namespace mfbtest;

namespace {

constexpr std::uint32_t kInit = 0x90002140;
constexpr std::uint32_t kEnable = 0x90002144;
constexpr std::uint32_t kDisable = 0x90002148;
constexpr std::uint32_t kGetInit = 0x9000214C;
constexpr std::uint32_t kProgress = 0x90002150;
constexpr std::uint32_t kRead = 0x90002154;

// An ETM answer of `size` bytes: the 16-bit driver status at 0, the given fields at their offsets.
Bytes etm_answer(std::size_t size, std::uint16_t status,
                 std::vector<std::pair<std::size_t, Bytes>> fields = {}) {
    Bytes b(size, 0);
    mfb::vbus::put_u16(b, 0, status);
    for (const auto& [off, bytes] : fields)
        std::copy(bytes.begin(), bytes.end(), b.begin() + static_cast<std::ptrdiff_t>(off));
    return b;
}

// A read answer: status, measurement state, ETM value, total time.
RecordingDriver::Answer read_answer(std::uint16_t status, std::uint8_t state, std::uint32_t value,
                                    std::uint32_t total) {
    return answer(etm_answer(20, status, {{8, {state}}, {12, le32(value)}, {16, le32(total)}}));
}

Bytes read_request(std::uint8_t module, std::uint8_t etm) {
    return cat({{0, 0, module, etm}, le32(0xFFFFFFFF), zeros(12)});
}

#define GET_INIT(h, m, e)                                                                          \
    i_MFB_GetETMInitialisation(h, m, e, &o.bytes[0], &o.words[0], &o.bytes[1], &o.bytes[2],        \
                               &o.bytes[3], &o.bytes[4], &o.bytes[5], &o.bytes[6])
#define CONVERT(h, m, ticks)                                                                       \
    i_MFB_ConvertETMValue(h, m, ticks, &o.words[0], &o.bytes[0], &o.bytes[1], &o.words[1],         \
                          &o.words[2], &o.words[3])

// Every member, as a call on the recording board; none of them looks the handle up.
const std::pair<const char*, Call> kMembers[] = {
    {"init", OUTS_CALL(InitETM(h, 1, 0, 1, 10, &o.words[0]))},
    {"enable", OUTS_CALL(EnableETM(h, 1, 0, 1, 1, 0, 0, 0))},
    {"disable", OUTS_CALL(DisableETM(h, 1, 0))},
    {"get init", [](MFB_BoardHandle h, Outs& o) { return GET_INIT(h, 1, 0); }},
    {"progress", OUTS_CALL(GetETMProgressStatus(h, 1, 0, &o.bytes[0]))},
    {"read value", OUTS_CALL(ReadETMValue(h, 1, 0, 0xFFFFFFFF, &o.bytes[0], &o.words[0]))},
    {"read total", OUTS_CALL(ReadETMTotalTime(h, 1, 0, 0xFFFFFFFF, &o.bytes[0], &o.words[0]))},
    {"convert", [](MFB_BoardHandle h, Outs& o) { return CONVERT(h, 1, 5); }},
};

class Etm : public OpenRecorderTest {
  protected:
    void SetUp() override {
        OpenRecorderTest::SetUp();
        mfb::vbus::set_virtual_clock(true);
    }
    // The requests that reached the driver since the last clear.
    std::size_t reads() const { return d->records().size(); }
};

TEST_F(Etm, Requests) {
    const Sent cases[] = {
        {"init: unit at 4, value at 8, the driver's answer at 12",
         OUTS_CALL(InitETM(h, 2, 1, 1, 0x12345678, &o.words[0])),
         kInit,
         cat({{0, 0, 2, 1, 1, 0, 0, 0}, le32(0x12345678), zeros(4)}),
         16,
         etm_answer(16, 0, {{12, le32(0xCAFEF00D)}}),
         {.words = {0xCAFEF00D}}},
        {"enable: five setting bytes in order",
         OUTS_CALL(EnableETM(h, 3, 1, 0x11, 0x22, 0x33, 0x44, 0x55)),
         kEnable,
         {0, 0, 3, 1, 0x11, 0x22, 0x33, 0x44, 0x55, 0},
         10},
        {"disable", OUTS_CALL(DisableETM(h, 9, 7)), kDisable, {0, 0, 9, 7}, 4},
        {"get init: unit, time base and six setting bytes",
         [](MFB_BoardHandle h, Outs& o) { return GET_INIT(h, 2, 1); },
         kGetInit,
         cat({{0, 0, 2, 1}, zeros(16)}),
         20,
         etm_answer(20, 0,
                    {{4, {2}}, {8, le32(0x01020304)}, {12, {0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6}}}),
         {.words = {0x01020304}, .bytes = {2, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6}}},
        {"progress at 4",
         OUTS_CALL(GetETMProgressStatus(h, 0, 1, &o.bytes[0])),
         kProgress,
         {0, 0, 0, 1, 0, 0},
         6,
         etm_answer(6, 0, {{4, {0x5C}}}),
         {.bytes = {0x5C}}},
        {"read value: state at 8, value at 12, not the total",
         OUTS_CALL(ReadETMValue(h, 3, 1, 0xFFFFFFFF, &o.bytes[0], &o.words[0])),
         kRead,
         read_request(3, 1),
         20,
         etm_answer(20, 0, {{8, {2}}, {12, le32(1234)}, {16, le32(5678)}}),
         {.words = {1234}, .bytes = {2}}},
        {"read total: state at 8, total at 16",
         OUTS_CALL(ReadETMTotalTime(h, 3, 1, 0xFFFFFFFF, &o.bytes[0], &o.words[0])),
         kRead,
         read_request(3, 1),
         20,
         etm_answer(20, 0, {{8, {3}}, {12, le32(1234)}, {16, le32(5678)}}),
         {.words = {5678}, .bytes = {3}}},
    };
    check_all(cases);
}

// No handle lookup: a handle the table does not hold reaches DeviceIoControl, which fails it.
// A failed exchange is -100 and writes nothing, in every member.
TEST_F(Etm, FailedExchangeIsMinus100) {
    for (const auto& [what, call] : kMembers) {
        check(Refused{what, stranger(call), -100});
        check(ExchangeFails{what, call, -100});
    }
}

// Any driver status other than 0 is the result, unchanged (also where it reads as negative), and
// nothing is written; every byte of the answer but the status is 0xFF, so a write would show.
TEST_F(Etm, DriverStatusIsReturnedUnchanged) {
    for (const auto& [what, call] : kMembers)
        for (auto [s, status] : {std::pair<std::uint16_t, std::int16_t>{5, 5},
                                 {0xFFFF, -1},
                                 {0x8000, -32768},
                                 {0x0100, 256}}) {
            SCOPED_TRACE(::testing::Message() << what << " s=" << s);
            d->clear();
            Bytes b(20, 0xFF);
            mfb::vbus::put_u16(b, 0, s);
            d->set_default(answer(b));
            Outs o;
            EXPECT_EQ(call(h, o), status);
            EXPECT_EQ(o, Outs{});
        }
}

// The optional pointers may be null; the others are written on success.
TEST_F(Etm, OptionalPointersMayBeNull) {
    d->set_default(answer(etm_answer(20, 0, {{8, {2}}, {12, le32(1)}, {16, le32(4)}})));
    EXPECT_EQ(i_MFB_InitETM(h, 0, 0, 0, 100, nullptr), 0);
    EXPECT_EQ(i_MFB_GetETMProgressStatus(h, 0, 0, nullptr), 0);
    EXPECT_EQ(i_MFB_ReadETMValue(h, 0, 0, 0xFFFFFFFF, nullptr, nullptr), 0);
    EXPECT_EQ(i_MFB_ReadETMTotalTime(h, 0, 0, 0xFFFFFFFF, nullptr, nullptr), 0);
    double duty = -1.0;
    EXPECT_EQ(i_MFB_ReadETMDutyCycleValue(h, 0, 0, 0xFFFFFFFF, nullptr, &duty), 0);
    EXPECT_EQ(duty, 25.0);
    EXPECT_EQ(d->records().size(), 5u);
}

// The read with wait, on the virtual clock: how many requests, how many 1-ms pauses, and what the
// caller gets. `answers` are given in turn; after them every answer is the last one again.
TEST_F(Etm, ReadWithWait) {
    struct Case {
        const char* what;
        std::uint32_t wait_count;
        std::vector<std::tuple<std::uint16_t, std::uint8_t, std::uint32_t>> answers; // s, state, v
        std::size_t requests;
        std::uint64_t slept_ms;
        std::int16_t status;
        std::uint8_t state; // written on status 0
        std::uint32_t value;
    };
    const Case cases[] = {
        {"count 1, unfinished: one request, still a pause", 1, {{0, 1, 7}}, 1, 1, 0, 1, 7},
        {"count 5, unfinished: five requests, five pauses", 5, {{0, 1, 7}}, 5, 5, 0, 1, 7},
        {"count 5, finished at the 3rd", 5, {{0, 0, 1}, {0, 1, 2}, {0, 2, 3}}, 3, 2, 0, 2, 3},
        {"state 3 ends the wait as 2 does", 5, {{0, 1, 1}, {0, 3, 9}}, 2, 1, 0, 3, 9},
        {"count 0, unfinished: two requests, one pause", 0, {{0, 1, 7}}, 2, 1, 0, 1, 7},
        {"count 0xFFFFFFFF: one request, no pause", 0xFFFFFFFF, {{0, 1, 7}}, 1, 0, 0, 1, 7},
        {"status 5 on every answer: all requests, then 5", 4, {{5, 2, 7}}, 4, 4, 5, 0xA5, 0},
        {"a refused state 2 does not end the wait", 4, {{5, 2, 1}, {0, 2, 6}}, 2, 1, 0, 2, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        d->clear();
        const std::uint64_t slept_before = mfb::vbus::slept_ms();
        for (auto [s, state, v] : c.answers)
            d->script(read_answer(s, state, v, 100));
        auto [s, state, v] = c.answers.back();
        d->set_default(read_answer(s, state, v, 100));
        std::uint8_t got_state = 0xA5;
        std::uint32_t value = 0;
        EXPECT_EQ(i_MFB_ReadETMValue(h, 2, 1, c.wait_count, &got_state, &value), c.status);
        EXPECT_EQ(reads(), c.requests);
        EXPECT_EQ(mfb::vbus::slept_ms() - slept_before, c.slept_ms);
        EXPECT_EQ(got_state, c.state);
        EXPECT_EQ(value, c.value);
        for (const auto& r : d->records())
            ASSERT_EQ(r.request, read_request(2, 1));
    }
}

TEST_F(Etm, ReadFailingMidWaitIsMinus100) {
    d->script(read_answer(0, 1, 7, 100));
    d->script(failure());
    std::uint8_t state = 0xA5;
    std::uint32_t total = 0xA5A5A5A5;
    EXPECT_EQ(i_MFB_ReadETMTotalTime(h, 0, 0, 10, &state, &total), -100);
    EXPECT_EQ(reads(), 2u);
    EXPECT_EQ(std::tuple(state, total), std::tuple(0xA5, 0xA5A5A5A5u));
}

// The quotient is rounded to double before the product: 1 of 3 is 0x1.0aaaaaaaaaaaap+5, where
// 100 / 3 in one step (or x87 intermediates) would give ...ab. 0.0 is written first.
TEST_F(Etm, DutyCycle) {
    struct Case {
        std::uint16_t status;
        std::uint32_t value, total;
        std::int16_t result;
        double duty;
    };
    const Case cases[] = {
        {0, 1, 4, 0, 25.0},
        {0, 1, 3, 0, 0x1.0aaaaaaaaaaaap+5},
        {0, 5, 6, 0, 0x1.4d55555555556p+6},
        {0, 0xFFFFFFFF, 0xFFFFFFFF, 0, 100.0},
        {0, 7, 0, 0, 0.0},
        {5, 1, 4, 5, 0.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.value << " / " << c.total << " s=" << c.status);
        d->script(read_answer(c.status, 2, c.value, c.total));
        std::uint8_t state = 0xA5;
        double duty = -1.0;
        EXPECT_EQ(i_MFB_ReadETMDutyCycleValue(h, 0, 0, 0xFFFFFFFF, &state, &duty), c.result);
        EXPECT_EQ(duty, c.duty);
        EXPECT_EQ(state, c.status == 0 ? 2 : 0xA5);
    }
    mfb::vbus::fail(mfb::vbus::Fn::DeviceIoControl);
    double duty = -1.0;
    EXPECT_EQ(i_MFB_ReadETMDutyCycleValue(h, 0, 0, 0xFFFFFFFF, nullptr, &duty), -100);
    EXPECT_EQ(duty, 0.0);
}

// The time base of ETM 0 of the module, then the tick count split into h, min, s, ms, us, ns.
TEST_F(Etm, ConvertSplitsTheTickCount) {
    struct Case {
        const char* what;
        std::uint8_t unit;
        std::uint32_t base, ticks;
        std::uint32_t hours;
        std::uint8_t minutes, seconds;
        std::uint32_t ms, us, ns;
    };
    const Case cases[] = {
        {"microsecond ticks", 1, 1, 3'723'004'005, 1, 2, 3, 4, 5, 0},
        {"7-ns ticks", 0, 7, 1, 0, 0, 0, 0, 0, 7},
        {"unit 3 is taken as nanoseconds", 3, 7, 1, 0, 0, 0, 0, 0, 7},
        {"milliseconds", 2, 4'000, 3'723'004, 4'136, 40, 16, 0, 0, 0},
        // ticks x base x 10^6 passes 2^64 here; the duration must not wrap around.
        {"100-s ticks, a billion of them", 2, 100'000, 1'000'000'007, 27'777'777, 58, 20, 0, 0, 0},
        {"more hours than 32 bits hold stop at the most", 2, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 20,
         17, 25, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        d->clear();
        d->script(answer(
            etm_answer(20, 0, {{4, {c.unit}}, {8, le32(c.base)}, {12, {9, 9, 9, 9, 9, 9}}})));
        Outs o;
        EXPECT_EQ(CONVERT(h, 3, c.ticks), 0);
        expect_one_exchange(*d, kGetInit, cat({{0, 0, 3, 0}, zeros(16)}), 20); // ETM 0, always
        EXPECT_EQ(o, Outs({.words = {c.hours, c.ms, c.us, c.ns}, .bytes = {c.minutes, c.seconds}}));
    }
}

} // namespace
