// The PWM exports against a recording board: argument checks in order, requests byte for byte, the
// driver status word turned into -(s + 100), nothing written after any failure.
#include "exchange_table.h"

using namespace mfbtest;

namespace {

constexpr std::uint32_t kInit = 0x90002158;
constexpr std::uint32_t kNewTiming = 0x9000215C;
constexpr std::uint32_t kEnable = 0x90002160;
constexpr std::uint32_t kDisable = 0x90002164;
constexpr std::uint32_t kGetInitialisation = 0x90002168;
constexpr std::uint32_t kStatus = 0x9000216C;
constexpr std::uint32_t kReadInput = 0x90002170;
constexpr std::uint32_t kReadAllInputs = 0x90002174;
constexpr std::uint32_t kManualSetting = 0x90002178;
constexpr std::uint32_t kOutputOn = 0x9000217C;
constexpr std::uint32_t kOutputOff = 0x90002180;

// The calls, with the caller's variables in Outs: u32 results in words, u8 results in bytes.
using Timing =
    std::function<Call(std::uint8_t, std::uint8_t, std::uint8_t, std::uint32_t, std::uint32_t)>;
Call init(std::uint8_t m, std::uint8_t p, std::uint8_t u, std::uint32_t a, std::uint32_t b) {
    return [=](MFB_BoardHandle h, Outs& o) {
        return i_MFB_InitPWM(h, m, p, u, a, b, &o.words[0], &o.words[1]);
    };
}
Call new_timing(std::uint8_t m, std::uint8_t p, std::uint8_t u, std::uint32_t a, std::uint32_t b) {
    return plain(i_MFB_SetNewPWMTiming, m, p, u, a, b);
}
const auto enable = [](auto... a) { return plain(i_MFB_EnablePWM, a...); };
const auto disable = [](auto... a) { return plain(i_MFB_DisablePWM, a...); };
Call get_init(std::uint8_t module, std::uint8_t pwm) {
    return [=](MFB_BoardHandle h, Outs& o) {
        std::uint8_t* b = o.bytes.data();
        return i_MFB_GetPWMInitialisation(h, module, pwm, &b[0], &o.words[0], &o.words[1], &b[1],
                                          &b[2], &b[3], &b[4], &b[5], &b[6]);
    };
}
Call status(std::uint8_t module, std::uint8_t pwm) {
    return [=](MFB_BoardHandle h, Outs& o) {
        return i_MFB_GetPWMStatus(h, module, pwm, &o.bytes[0], &o.bytes[1]);
    };
}
const auto input = [](auto... a) { return byte_out(i_MFB_ReadPWM1DigitalInput, a...); };
const auto inputs = [](auto... a) { return byte_out(i_MFB_ReadPWMAllDigitalInputs, a...); };
const auto manual = [](auto... a) {
    return plain(i_MFB_EnableDisablePWMDigitalOutputManualSetting, a...);
};
const auto output_on = [](auto... a) { return plain(i_MFB_SetPWMDigitalOutputOn, a...); };
const auto output_off = [](auto... a) { return plain(i_MFB_SetPWMDigitalOutputOff, a...); };
using Pwm = OpenRecorderTest;

// Every function with valid arguments: its buffer size and its code for a failed exchange.
struct Function : ExchangeFails {
    std::size_t size;
};
// n is the PWM, input or flag; 3 is out of range for each.
std::vector<Function> functions(std::uint8_t m = 3, std::uint8_t n = 1) {
    return {
        {{"InitPWM", init(m, n, 1, 10, 20), -7}, 24},
        {{"SetNewPWMTiming", new_timing(m, n, 1, 10, 20), -7}, 16},
        {{"EnablePWM", enable(m, n, 1, 0, 2, 0, 1), -9}, 12},
        {{"DisablePWM", disable(m, n), -4}, 8},
        {{"GetPWMInitialisation", get_init(m, n), -4}, 24},
        {{"GetPWMStatus", status(m, n), -4}, 8},
        {{"ReadPWM1DigitalInput", input(m, n), -4}, 8},
        {{"ReadPWMAllDigitalInputs", inputs(m), -3}, 8},
        {{"ManualSetting", manual(m, n), -4}, 8},
        {{"SetPWMDigitalOutputOn", output_on(m), -3}, 8},
        {{"SetPWMDigitalOutputOff", output_off(m), -3}, 8},
    };
}

// The durations each timing unit accepts, for both: ns, us, ms, s, min.
constexpr std::uint32_t kRanges[][3] = {
    {0, 150, 0xFFFFFFFF}, {1, 1, 429'496'729}, {2, 1, 429'496}, {3, 1, 429}, {4, 1, 7}};

// The checks that InitPWM and SetNewPWMTiming share; both send their durations from offset 4.
TEST_F(Pwm, TimingChecksAndTheLimitsOfEveryUnit) {
    using Family = std::tuple<const char*, Timing, std::uint32_t, std::uint32_t, Writes>;
    const Family families[] = {{"InitPWM", init, kInit, 24, Writes{.words = {0, 0}}},
                               {"SetNewPWMTiming", new_timing, kNewTiming, 16, Writes{}}};
    for (const auto& [name, t, code, size, writes] : families) {
        SCOPED_TRACE(name);
        check_all(std::vector<Refused>{
            {"handle", stranger(t(9, 9, 9, 0, 0)), -1},
            {"module 4, all else bad too", t(4, 2, 5, 0, 0), -2},
            {"PWM 2, unit bad too", t(3, 2, 5, 0, 0), -3},
            {"unit 5 with durations valid in every unit", t(3, 1, 5, 7, 7), -4},
            {"ns: first 0", t(3, 0, 0, 0, 150), -5},
            {"a bad first duration wins over a bad second", t(3, 0, 3, 0, 0), -5}});
        for (const auto& [unit, lo, hi] : kRanges) {
            SCOPED_TRACE(testing::Message() << "unit " << unit);
            check(Refused{"first below", t(3, 0, unit, lo - 1, lo), -5});
            check(Refused{"second below", t(3, 0, unit, hi, lo - 1), -6});
            if (hi != 0xFFFFFFFF) {
                check(Refused{"first above", t(3, 0, unit, hi + 1, hi), -5});
                check(Refused{"second above", t(3, 0, unit, lo, hi + 1), -6});
            }
            for (const auto& [a, b] : {std::pair{lo, hi}, std::pair{hi, lo}}) {
                const Bytes sent =
                    cat({{2, 1, std::uint8_t(unit), 0}, le32(a), le32(b), zeros(size - 12)});
                check(Sent{"accepted", t(2, 1, unit, a, b), code, sent, size, {}, writes});
            }
        }
    }
}

TEST_F(Pwm, OtherRefusalsSendNothing) {
    for (const Function& f : functions(4, 3)) { // the handle, then the module, wins over all
        check(Refused{f.what, stranger(f.call), -1});
        check(Refused{f.what, f.call, -2});
    }
    const Refused cases[] = {
        {"EnablePWM PWM 2", enable(3, 2, 2, 2, 3, 2, 2), -3},
        {"EnablePWM setting 1 = 2, all after bad too", enable(3, 1, 2, 2, 3, 2, 2), -4},
        {"EnablePWM setting 2 = 2", enable(3, 1, 1, 2, 3, 2, 2), -5},
        {"EnablePWM setting 3 = 3", enable(3, 1, 1, 1, 3, 2, 2), -6},
        {"EnablePWM setting 4 = 2", enable(3, 1, 1, 1, 2, 2, 2), -7},
        {"EnablePWM setting 5 = 2", enable(3, 1, 1, 1, 2, 1, 2), -8},
        {"DisablePWM PWM 2", disable(3, 2), -3},
        {"GetPWMInitialisation PWM 2", get_init(3, 2), -3},
        {"GetPWMStatus PWM 255", status(3, 255), -3},
        {"ReadPWM1DigitalInput input 3", input(3, 3), -3},
        {"ManualSetting flag 2", manual(3, 2), -3},
    };
    check_all(cases);
}

TEST_F(Pwm, RequestsByteForByteAndWhatTheyCopy) {
    const Sent cases[] = {
        // InitPWM's answer: the two set-up results at 12 and 16, passed on to the caller.
        {"InitPWM", init(1, 1, 0, 0x01020304, 0x0A0B0C0D), kInit,
         cat({{1, 1, 0, 0, 4, 3, 2, 1, 0xD, 0xC, 0xB, 0xA}, zeros(12)}), 24,
         cat({zeros(12), le32(0x11223344), le32(0x55667788)}),
         Writes{.words = {0x11223344, 0x55667788}}},
        {"EnablePWM largest settings", enable(3, 1, 1, 1, 2, 1, 1), kEnable,
         cat({{3, 1, 1, 1, 2, 1, 1}, zeros(5)}), 12},
        {"EnablePWM settings in argument order", enable(2, 0, 1, 0, 2, 0, 1), kEnable,
         cat({{2, 0, 1, 0, 2, 0, 1}, zeros(5)}), 12},
        {"DisablePWM", disable(3, 1), kDisable, cat({{3, 1}, zeros(6)}), 8},
        // The unit at 2, the durations at 4 and 8, the settings at 12 to 17; 18 and 19 go nowhere.
        {"GetPWMInitialisation read back field by field", get_init(3, 1), kGetInitialisation,
         cat({{3, 1}, zeros(22)}), 24,
         cat({{0, 0, 3, 0}, le32(0xCAFE0001), le32(0xCAFE0002), {16, 17, 18, 19, 20, 21, 7, 7}}),
         Writes{.words = {0xCAFE0001, 0xCAFE0002}, .bytes = {3, 16, 17, 18, 19, 20, 21}}},
        {"GetPWMStatus: bytes 2 and 3", status(2, 1), kStatus, cat({{2, 1}, zeros(6)}), 8,
         Bytes{2, 1, 0x81, 0x42}, Writes{.bytes = {0x81, 0x42}}},
        {"ReadPWM1DigitalInput input 2: offset 2", input(3, 2), kReadInput, cat({{3, 2}, zeros(6)}),
         8, Bytes{3, 2, 0x01, 0x99}, Writes{.bytes = {0x01}}},
        {"ReadPWMAllDigitalInputs: offset 1", inputs(3), kReadAllInputs, cat({{3}, zeros(7)}), 8,
         Bytes{3, 0x06, 0x99, 0x99}, Writes{.bytes = {0x06}}},
        {"ManualSetting 1", manual(3, 1), kManualSetting, cat({{3, 1}, zeros(6)}), 8},
        {"SetPWMDigitalOutputOn", output_on(3), kOutputOn, cat({{3}, zeros(7)}), 8},
        {"SetPWMDigitalOutputOff (same bytes, own code)", output_off(3), kOutputOff,
         cat({{3}, zeros(7)}), 8},
    };
    check_all(cases);
}

// An answer of `size` bytes whose fields are all nonzero (so a copy would show) and whose status
// word is s.
RecordingDriver::Answer filled(std::size_t size, std::uint32_t s) {
    return status_answer(size, size - 4, s, Bytes(size, 0x5C));
}

// Only the BOOL value 1 is a successful exchange. A status word s whose s + 100 has its low 16 bits
// 0 would map to 0, a success: it is reported as -32768 instead, never as 0.
TEST_F(Pwm, FailuresOfEveryFunction) {
    for (const Function& f : functions()) {
        for (const int result : {0, 2, -1}) {
            RecordingDriver::Answer a = filled(f.size, 0); // status word 0: success but for BOOL
            a.result = result;
            check_fails_with(f, a);
        }
        check_fails_with(f, std::nullopt);
        for (const std::uint32_t s : {0x0000FF9Cu, 0xFFFFFF9Cu, 0x1234FF9Cu})
            check_fails_with({f.what, f.call, -32768}, filled(f.size, s));
    }
}

TEST_F(Pwm, DriverStatusWordBecomesMinusSPlus100) {
    // 0xFFFFFF00: s + 100 reads as -156 in 16 bits, a positive code but still a failure.
    const std::pair<std::uint32_t, std::int16_t> mappings[] = {
        {1, -101},         {5, -105},          {32'667, -32'767},
        {0xFFFFFFFF, -99}, {0x00010000, -100}, {0xFFFFFF00, 156}};
    for (const auto& [s, code] : mappings)
        for (const Function& f : {functions()[0], functions()[3]})
            check_fails_with({f.what, f.call, code}, filled(f.size, s));
}

} // namespace
