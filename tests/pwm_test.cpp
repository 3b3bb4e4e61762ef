// The PWM exports against a recording board: argument checks in order (with the duration limits
// of every timing unit), requests byte for byte, the driver status word turned into -(s + 100),
// only the BOOL value 1 taken as a successful exchange, nothing written after any failure.
#include "exchange_table.h"

#include "board/status.h"

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
Call init(std::uint8_t module, std::uint8_t pwm, std::uint8_t unit, std::uint32_t first,
          std::uint32_t second) {
    return [=](MFB_BoardHandle h, Outs& o) {
        return i_MFB_InitPWM(h, module, pwm, unit, first, second, &o.words[0], &o.words[1]);
    };
}
Call new_timing(std::uint8_t module, std::uint8_t pwm, std::uint8_t unit, std::uint32_t first,
                std::uint32_t second) {
    return [=](MFB_BoardHandle h, Outs&) {
        return i_MFB_SetNewPWMTiming(h, module, pwm, unit, first, second);
    };
}
Call enable(std::uint8_t module, std::uint8_t pwm, std::uint8_t s1, std::uint8_t s2,
            std::uint8_t s3, std::uint8_t s4, std::uint8_t s5) {
    return [=](MFB_BoardHandle h, Outs&) {
        return i_MFB_EnablePWM(h, module, pwm, s1, s2, s3, s4, s5);
    };
}
Call disable(std::uint8_t module, std::uint8_t pwm) {
    return [=](MFB_BoardHandle h, Outs&) { return i_MFB_DisablePWM(h, module, pwm); };
}
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
Call input(std::uint8_t module, std::uint8_t n) {
    return [=](MFB_BoardHandle h, Outs& o) {
        return i_MFB_ReadPWM1DigitalInput(h, module, n, &o.bytes[0]);
    };
}
Call inputs(std::uint8_t module) {
    return [=](MFB_BoardHandle h, Outs& o) {
        return i_MFB_ReadPWMAllDigitalInputs(h, module, &o.bytes[0]);
    };
}
Call manual(std::uint8_t module, std::uint8_t flag) {
    return [=](MFB_BoardHandle h, Outs&) {
        return i_MFB_EnableDisablePWMDigitalOutputManualSetting(h, module, flag);
    };
}
Call output_on(std::uint8_t module) {
    return [=](MFB_BoardHandle h, Outs&) { return i_MFB_SetPWMDigitalOutputOn(h, module); };
}
Call output_off(std::uint8_t module) {
    return [=](MFB_BoardHandle h, Outs&) { return i_MFB_SetPWMDigitalOutputOff(h, module); };
}
using Pwm = OpenRecorderTest;

// The checks that InitPWM and SetNewPWMTiming share, with the limits of every timing unit.
std::vector<Refused> timing_refusals(const Timing& t) {
    return {
        {"handle", stranger(t(9, 9, 9, 0, 0)), -1},
        {"module 4, all else bad too", t(4, 2, 5, 0, 0), -2},
        {"PWM 2, unit bad too", t(3, 2, 5, 0, 0), -3},
        {"unit 5 with durations valid in every unit", t(3, 1, 5, 7, 7), -4},
        {"unit 255", t(3, 1, 255, 150, 150), -4},
        {"ns: first 149", t(3, 0, 0, 149, 150), -5},
        {"ns: second 149", t(3, 0, 0, 150, 149), -6},
        {"ns: first 0", t(3, 0, 0, 0, 150), -5},
        {"us: first 429,496,730", t(3, 0, 1, 429'496'730, 1), -5},
        {"us: second 429,496,730", t(3, 0, 1, 1, 429'496'730), -6},
        {"ms: first 429,497", t(3, 0, 2, 429'497, 1), -5},
        {"ms: second 429,497", t(3, 0, 2, 1, 429'497), -6},
        {"s: first 430", t(3, 0, 3, 430, 1), -5},
        {"s: second 430", t(3, 0, 3, 1, 430), -6},
        {"min: first 8", t(3, 0, 4, 8, 1), -5},
        {"min: second 8", t(3, 0, 4, 1, 8), -6},
        {"min: second 0xFFFFFFFF", t(3, 0, 4, 7, 0xFFFFFFFF), -6},
        {"us: first 0", t(3, 0, 1, 0, 1), -5},
        {"ms: second 0", t(3, 0, 2, 1, 0), -6},
        {"s: first 0", t(3, 0, 3, 0, 1), -5},
        {"min: second 0", t(3, 0, 4, 1, 0), -6},
        {"a bad first duration wins over a bad second", t(3, 0, 3, 0, 0), -5},
    };
}

TEST_F(Pwm, TimingRefusalsSendNothing) {
    for (const auto& [name, t] : {std::pair<const char*, Timing>{"InitPWM", init},
                                  std::pair<const char*, Timing>{"SetNewPWMTiming", new_timing}}) {
        SCOPED_TRACE(name);
        check_all(timing_refusals(t));
    }
}

TEST_F(Pwm, OtherRefusalsSendNothing) {
    const Refused cases[] = {
        {"EnablePWM handle", stranger(enable(9, 9, 9, 9, 9, 9, 9)), -1},
        {"EnablePWM module 4", enable(4, 2, 2, 2, 3, 2, 2), -2},
        {"EnablePWM PWM 2", enable(3, 2, 2, 2, 3, 2, 2), -3},
        {"EnablePWM setting 1 = 2, all after bad too", enable(3, 1, 2, 2, 3, 2, 2), -4},
        {"EnablePWM setting 2 = 2", enable(3, 1, 1, 2, 3, 2, 2), -5},
        {"EnablePWM setting 3 = 3", enable(3, 1, 1, 1, 3, 2, 2), -6},
        {"EnablePWM setting 4 = 2", enable(3, 1, 1, 1, 2, 2, 2), -7},
        {"EnablePWM setting 5 = 2", enable(3, 1, 1, 1, 2, 1, 2), -8},
        {"EnablePWM setting 5 = 255", enable(0, 0, 0, 0, 0, 0, 255), -8},
        {"DisablePWM handle", stranger(disable(3, 0)), -1},
        {"DisablePWM module 4", disable(4, 2), -2},
        {"DisablePWM PWM 2", disable(3, 2), -3},
        {"GetPWMInitialisation handle", stranger(get_init(3, 0)), -1},
        {"GetPWMInitialisation module 4", get_init(4, 2), -2},
        {"GetPWMInitialisation PWM 2", get_init(3, 2), -3},
        {"GetPWMStatus handle", stranger(status(3, 0)), -1},
        {"GetPWMStatus module 4", status(4, 2), -2},
        {"GetPWMStatus PWM 255", status(3, 255), -3},
        {"ReadPWM1DigitalInput handle", stranger(input(3, 0)), -1},
        {"ReadPWM1DigitalInput module 4", input(4, 3), -2},
        {"ReadPWM1DigitalInput input 3", input(3, 3), -3},
        {"ReadPWMAllDigitalInputs handle", stranger(inputs(3)), -1},
        {"ReadPWMAllDigitalInputs module 4", inputs(4), -2},
        {"ManualSetting handle", stranger(manual(3, 0)), -1},
        {"ManualSetting module 4", manual(4, 2), -2},
        {"ManualSetting flag 2", manual(3, 2), -3},
        {"SetPWMDigitalOutputOn handle", stranger(output_on(3)), -1},
        {"SetPWMDigitalOutputOn module 4", output_on(4), -2},
        {"SetPWMDigitalOutputOff handle", stranger(output_off(3)), -1},
        {"SetPWMDigitalOutputOff module 4", output_off(4), -2},
    };
    check_all(cases);
}

TEST_F(Pwm, RequestsByteForByteAndWhatTheyCopy) {
    // The first twelve bytes of both timing requests: module, PWM, unit, 0, durations.
    const auto head = [](std::uint8_t m, std::uint8_t p, std::uint8_t u, std::uint32_t a,
                         std::uint32_t b) {
        return cat({{m, p, u, 0}, le32(a), le32(b)});
    };
    // InitPWM's answer: the two set-up results at 12 and 16, passed on to the caller.
    const Bytes set_up = cat({zeros(12), le32(0x11223344), le32(0x55667788)});
    const Writes set_up_results{.words = {0x11223344, 0x55667788}};
    const Sent cases[] = {
        {"InitPWM", init(1, 1, 0, 0x01020304, 0x0A0B0C0D), kInit,
         cat({{1, 1, 0, 0, 4, 3, 2, 1, 0xD, 0xC, 0xB, 0xA}, zeros(12)}), 24, set_up,
         set_up_results},
        {"InitPWM ns bounds", init(3, 0, 0, 150, 0xFFFFFFFF), kInit,
         cat({head(3, 0, 0, 150, 0xFFFFFFFF), zeros(12)}), 24, set_up, set_up_results},
        {"InitPWM us bounds", init(3, 1, 1, 1, 429'496'729), kInit,
         cat({head(3, 1, 1, 1, 429'496'729), zeros(12)}), 24, set_up, set_up_results},
        {"InitPWM ms bounds", init(0, 0, 2, 429'496, 1), kInit,
         cat({head(0, 0, 2, 429'496, 1), zeros(12)}), 24, set_up, set_up_results},
        {"InitPWM s bounds", init(0, 1, 3, 1, 429), kInit, cat({head(0, 1, 3, 1, 429), zeros(12)}),
         24, set_up, set_up_results},
        {"InitPWM min bounds", init(2, 0, 4, 7, 1), kInit, cat({head(2, 0, 4, 7, 1), zeros(12)}),
         24, set_up, set_up_results},
        {"SetNewPWMTiming", new_timing(1, 1, 0, 0x01020304, 0x0A0B0C0D), kNewTiming,
         cat({head(1, 1, 0, 0x01020304, 0x0A0B0C0D), zeros(4)}), 16},
        {"SetNewPWMTiming ns bounds", new_timing(3, 0, 0, 0xFFFFFFFF, 150), kNewTiming,
         cat({head(3, 0, 0, 0xFFFFFFFF, 150), zeros(4)}), 16},
        {"SetNewPWMTiming min bounds", new_timing(3, 1, 4, 1, 7), kNewTiming,
         cat({head(3, 1, 4, 1, 7), zeros(4)}), 16},
        {"EnablePWM largest settings", enable(3, 1, 1, 1, 2, 1, 1), kEnable,
         cat({{3, 1, 1, 1, 2, 1, 1}, zeros(5)}), 12},
        {"EnablePWM settings in argument order", enable(2, 0, 1, 0, 2, 0, 1), kEnable,
         cat({{2, 0, 1, 0, 2, 0, 1}, zeros(5)}), 12},
        {"DisablePWM", disable(3, 1), kDisable, cat({{3, 1}, zeros(6)}), 8},
        // The unit at 2, the durations at 4 and 8, the six setting bytes at 12; 18 and 19 are no
        // field and go nowhere.
        {"GetPWMInitialisation read back field by field", get_init(3, 1), kGetInitialisation,
         cat({{3, 1}, zeros(22)}), 24,
         cat({{0, 0, 3, 0},
              le32(0xCAFE0001),
              le32(0xCAFE0002),
              {0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x77, 0x77}}),
         Writes{.words = {0xCAFE0001, 0xCAFE0002},
                .bytes = {3, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15}}},
        {"GetPWMStatus: bytes 2 and 3",
         status(2, 1),
         kStatus,
         cat({{2, 1}, zeros(6)}),
         8,
         {2, 1, 0x81, 0x42},
         Writes{.bytes = {0x81, 0x42}}},
        {"ReadPWM1DigitalInput input 2: offset 2",
         input(3, 2),
         kReadInput,
         cat({{3, 2}, zeros(6)}),
         8,
         {3, 2, 0x01, 0x99},
         Writes{.bytes = {0x01}}},
        {"ReadPWMAllDigitalInputs: offset 1",
         inputs(3),
         kReadAllInputs,
         cat({{3}, zeros(7)}),
         8,
         {3, 0x06, 0x99, 0x99},
         Writes{.bytes = {0x06}}},
        {"ManualSetting 1", manual(3, 1), kManualSetting, cat({{3, 1}, zeros(6)}), 8},
        {"SetPWMDigitalOutputOn", output_on(3), kOutputOn, cat({{3}, zeros(7)}), 8},
        {"SetPWMDigitalOutputOff (same bytes, own code)", output_off(3), kOutputOff,
         cat({{3}, zeros(7)}), 8},
    };
    check_all(cases);
}
// Every function with valid arguments: its buffer size and its code for a failed exchange.
struct Function {
    const char* what;
    Call call;
    std::size_t size;
    std::int16_t io_failed;
};
std::vector<Function> functions() {
    return {
        {"InitPWM", init(3, 1, 1, 10, 20), 24, -7},
        {"SetNewPWMTiming", new_timing(3, 1, 1, 10, 20), 16, -7},
        {"EnablePWM", enable(3, 1, 1, 0, 2, 0, 1), 12, -9},
        {"DisablePWM", disable(3, 1), 8, -4},
        {"GetPWMInitialisation", get_init(3, 1), 24, -4},
        {"GetPWMStatus", status(3, 1), 8, -4},
        {"ReadPWM1DigitalInput", input(3, 2), 8, -4},
        {"ReadPWMAllDigitalInputs", inputs(3), 8, -3},
        {"ManualSetting", manual(3, 1), 8, -4},
        {"SetPWMDigitalOutputOn", output_on(3), 8, -3},
        {"SetPWMDigitalOutputOff", output_off(3), 8, -3},
    };
}

// An answer of `size` bytes whose fields are all nonzero (so a copy would show) and whose status
// word is s.
RecordingDriver::Answer filled(std::size_t size, std::uint32_t s) {
    Bytes fields(size, 0x5C);
    return status_answer(size, size - 4, s, fields);
}

TEST_F(Pwm, OnlyBoolOneIsASuccessfulExchange) {
    for (const int result : {0, 2, -1}) {
        SCOPED_TRACE(result);
        for (const Function& f : functions()) {
            RecordingDriver::Answer a = filled(f.size, 0); // status word 0: success but for BOOL
            a.result = result;
            check_fails_with({f.what, f.call, f.io_failed}, a);
        }
    }
    for (const Function& f : functions())
        check_fails_with({f.what, f.call, f.io_failed}, std::nullopt);
}

TEST_F(Pwm, DriverStatusWordBecomesMinusSPlus100) {
    struct Mapping {
        std::uint32_t s;
        std::int16_t status;
    };
    const Mapping mappings[] = {
        {1, -101},
        {5, -105},
        {32'667, -32'767},
        {0xFFFFFFFF, -99},
        {0x00010000, -100},
        {0xFFFFFF00, 156}, // s + 100 reads as -156 in 16 bits: a positive code, still a failure
        // s + 100 with low 16 bits 0 would map to 0, a success: reported as -32768 instead.
        {0x0000FF9C, mfb::kPwmRefusedAsZero},
        {0xFFFFFF9C, mfb::kPwmRefusedAsZero},
        {0x1234FF9C, mfb::kPwmRefusedAsZero},
    };
    for (const Mapping& m : mappings) {
        SCOPED_TRACE(testing::Message() << "s = " << m.s);
        ASSERT_NE(m.status, 0) << "a refusal must never read as success";
        for (const Function& f : functions())
            check_fails_with({f.what, f.call, m.status}, filled(f.size, m.s));
    }
    EXPECT_EQ(mfb::kPwmRefusedAsZero, -32768);
}

} // namespace
