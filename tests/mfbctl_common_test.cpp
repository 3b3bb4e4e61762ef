// The value parsing and output of mfbctl's shared pieces (tools/common): numbers, times and rates
// as users type them, the version word, records as JSON, CSV and bare values, and the sampler.
#include "common/explain.h"
#include "common/options.h"
#include "common/output.h"
#include "common/sampler.h"
#include "common/version.h"

#include "mfb_vbus.h"
#include "sim/etm_module.h"
#include "sim/frequency_module.h"
#include "sim/pulse_encoder_module.h"
#include "sim/pwm_module.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using mfbctl::TimeUnit;
using mfbctl::UsageError;

TEST(MfbctlOptions, NumbersInTheirRange) {
    const struct {
        const char* text;
        std::int64_t lo, hi;
        std::int64_t value; // when accepted
        const char* error;  // else the message
    } cases[] = {
        {"2", 0, 2, 2, nullptr},
        {"0x1F", 0, 255, 31, nullptr},
        {"0b101", 0, 7, 5, nullptr},
        {"-5", -10, 10, -5, nullptr},
        {"4294967295", 0, 0xFFFFFFFF, 0xFFFFFFFF, nullptr},
        {"3", 0, 2, 0, "--timer: 3 is out of range for the timer number (0 to 2)"},
        {"2", 0, 1, 0, "--timer: 2 is out of range for the timer number (0 or 1)"},
        {"-1", 0, 2, 0, "--timer: -1 is out of range for the timer number (0 to 2)"},
        {"1x", 0, 2, 0, "--timer: '1x' is not a number (timer number is 0 to 2)"},
        {"", 0, 2, 0, "--timer: '' is not a number (timer number is 0 to 2)"},
        {"99999999999999999999", 0, 2, 0,
         "--timer: 99999999999999999999 is out of range for the timer number (0 to 2)"},
    };
    for (const auto& c : cases) {
        if (!c.error) {
            EXPECT_EQ(mfbctl::parse_number(c.text, c.lo, c.hi, "timer number", "--timer"), c.value)
                << c.text;
            continue;
        }
        try {
            mfbctl::parse_number(c.text, c.lo, c.hi, "timer number", "--timer");
            ADD_FAILURE() << c.text << " was accepted";
        } catch (const UsageError& e) {
            EXPECT_STREQ(e.what(), c.error);
        }
    }
}

TEST(MfbctlOptions, TimesWithUnits) {
    const struct {
        const char* text;
        std::uint64_t ns;
        TimeUnit unit;
        const char* shown;
    } cases[] = {
        {"10", 10'000'000, TimeUnit::ms, "10ms"},
        {"250us", 250'000, TimeUnit::us, "250us"},
        {"1.5ms", 1'500'000, TimeUnit::us, "1.5ms"},
        {"2s", 2'000'000'000, TimeUnit::s, "2s"},
        {"150ns", 150, TimeUnit::ns, "150ns"},
        {"3min", 180'000'000'000, TimeUnit::min, "180s"},
        {"0", 0, TimeUnit::ms, "0ms"},
        {"0.25s", 250'000'000, TimeUnit::ms, "250ms"},
        {"1234567ns", 1'234'567, TimeUnit::ns, "1234.567us"},
        {"10 ms", 10'000'000, TimeUnit::ms, "10ms"},
        {"1e3ns", 1'000, TimeUnit::ns, "1us"},
        {"1.5e-3s", 1'500'000, TimeUnit::us, "1.5ms"},
    };
    for (const auto& c : cases) {
        const mfbctl::Time t = mfbctl::parse_time(c.text, "--for");
        EXPECT_EQ(t.ns, c.ns) << c.text;
        EXPECT_EQ(t.unit, c.unit) << c.text;
        EXPECT_EQ(mfbctl::format_time(t.ns), c.shown) << c.text;
    }
    for (const char* bad :
         {"-1", "5h", "ms", "0.5ns", "1.2.3", "99999999999min", "", "1e-10s", "1e30s"})
        EXPECT_THROW(mfbctl::parse_time(bad, "--for"), UsageError) << bad;
}

TEST(MfbctlOptions, RatesInHertz) {
    for (const auto& [text, hz] : {std::pair{"100", 100.0},
                                   {"2.5Hz", 2.5},
                                   {"1kHz", 1000.0},
                                   {"1e3", 1000.0},
                                   {"1MHz", 1e6}})
        EXPECT_DOUBLE_EQ(mfbctl::parse_rate(text, "--rate"), hz) << text;
    for (const char* bad : {"0", "-5", "2MHz", "fast", "10 s"})
        EXPECT_THROW(mfbctl::parse_rate(bad, "--rate"), UsageError) << bad;
}

TEST(MfbctlOptions, ChoicesByNameOrNumber) {
    const mfbctl::Choices modes = {{"single", 0}, {"rate", 2}};
    EXPECT_EQ(mfbctl::parse_choice("Rate", modes, "timer mode", "--mode"), 2u);
    EXPECT_EQ(mfbctl::parse_choice("2", modes, "timer mode", "--mode"), 2u);
    try {
        mfbctl::parse_choice("1", modes, "timer mode", "--mode");
        ADD_FAILURE();
    } catch (const UsageError& e) {
        EXPECT_STREQ(e.what(), "--mode: '1' is not a timer mode (single, rate)");
    }
}

TEST(MfbctlVersion, DecodesTheVersionWord) {
    EXPECT_EQ(mfbctl::decode_version_word(0x1CD00822), "build 7376, August 2022");
    EXPECT_EQ(mfbctl::decode_version_word(0x1CD01231), "build 7376, December 2031");
    EXPECT_EQ(mfbctl::decode_version_word(0x00010022), "build 1, month 0x00 2022");
}

TEST(MfbctlOutput, RecordsAsJsonAndBareValues) {
    mfbctl::Record r;
    r.key("board", 0u).value("count", 4294967295u).value("signed", -1).value("up", true);
    r.value("id", std::string("a\"b\\c\n\xE9")).detail("words", std::vector<std::uint8_t>{1, 255});
    EXPECT_EQ(r.json(), R"({"board":0,"count":4294967295,"signed":-1,"up":true,)"
                        R"("id":"a\"b\\c\u000a\u00e9","words":[1,255]})");
    EXPECT_EQ(r.values(), "4294967295 -1 1 \"a\\\"b\\\\c\n\xE9\"");
    EXPECT_EQ(r.csv_header(), "board,count,signed,up,id");
    EXPECT_EQ(r.csv(), "0,4294967295,-1,1,\"a\"\"b\\c\n\xE9\"");
    mfbctl::Record list;
    list.key("board", 1).value("lines", std::vector<unsigned>{0, 1}).value("name", "a b");
    EXPECT_EQ(list.csv_header(), "board,lines_0,lines_1,name");
    EXPECT_EQ(list.values(), "0 1 \"a b\"");
}

} // namespace

// The sampler on the bus's virtual clock: every sample at start + k / rate exactly, however long
// the reads take, a read past the next due time skipping (and reporting) the samples it passed,
// and no drift after many samples at a rate whose period is no whole number of nanoseconds.
TEST(MfbctlSampler, AbsoluteDeadlinesOnTheVirtualClock) {
    mfb::vbus::reset_process();
    mfb::vbus::set_virtual_clock(true);
    mfb::vbus::advance(123'456'789);
    const mfbctl::SampleClock clock{
        mfb::vbus::now_ns, [](std::uint64_t t) { mfb::vbus::advance(t - mfb::vbus::now_ns()); }};
    const struct {
        double hz;
        std::uint64_t count;
        std::uint64_t read_ns;   // what every read costs
        std::uint64_t slow_read; // this read costs slow_ns instead
        std::uint64_t slow_ns;
        std::vector<std::uint64_t> expected_k; // the samples taken, by k
        std::vector<std::pair<std::uint64_t, std::uint64_t>> missed;
    } cases[] = {
        {1000, 5, 300'000, 99, 0, {0, 1, 2, 3, 4}, {}},
        {1000, 4, 100'000, 1, 2'500'000, {0, 1, 4, 5}, {{2, 2}}},
        {3, 3, 0, 0, 333'333'334, {0, 2, 3}, {{1, 1}}},
    };
    for (const auto& c : cases) {
        const std::uint64_t start = mfb::vbus::now_ns();
        std::vector<std::uint64_t> times;
        std::vector<std::pair<std::uint64_t, std::uint64_t>> missed;
        const auto r = mfbctl::sample(
            {c.hz, c.count, std::nullopt, {}}, clock,
            [&](std::uint64_t t) {
                EXPECT_EQ(mfb::vbus::now_ns(), t); // read at its due time, not before or after
                mfb::vbus::advance(times.size() == c.slow_read ? c.slow_ns : c.read_ns);
                times.push_back(t);
            },
            [&](std::uint64_t k, std::uint64_t n) { missed.emplace_back(k, n); });
        ASSERT_EQ(times.size(), c.expected_k.size()) << c.hz;
        for (std::size_t i = 0; i < times.size(); ++i)
            EXPECT_EQ(times[i] - start,
                      static_cast<std::uint64_t>(std::llround(c.expected_k[i] * 1e9 / c.hz)))
                << c.hz << " sample " << i;
        EXPECT_EQ(missed, c.missed) << c.hz;
        EXPECT_EQ(r.taken, c.count);
    }
    // No drift: the 30,000th sample at 3 kHz is due 10 s after the first, to the nanosecond,
    // with reads of 250 us, and a time limit takes those due before it.
    const std::uint64_t start = mfb::vbus::now_ns();
    std::uint64_t last = 0;
    const auto r = mfbctl::sample(
        {3000, 0, 10'000'000'000, {}}, clock,
        [&](std::uint64_t t) {
            last = t;
            mfb::vbus::advance(250'000);
        },
        [](std::uint64_t, std::uint64_t) { ADD_FAILURE() << "no sample is missed"; });
    EXPECT_EQ(r.taken, 30'000u);
    EXPECT_EQ(last - start, 9'999'666'667u);
    mfb::vbus::reset_process();
}

// The explanation table against the simulated modules it explains: the refusal statuses their
// headers define each have their text, which holds for those statuses only.
TEST(MfbctlExplain, RefusalsOfTheSimulatedModules) {
    using mfb::sim::Function;
    const struct {
        Function f;
        const char* export_name;
        long status;
        const char* text;
    } cases[] = {
        {Function::Pwm, "i_MFB_SetNewPWMTiming", mfb::sim::PwmModule::kNotInitialised,
         "the simulated PWM is not set up: run init first"},
        {Function::Pwm, "i_MFB_EnablePWM", mfb::sim::PwmModule::kRunning,
         "the simulated PWM is running: disable it first"},
        {Function::Etm, "i_MFB_EnableETM", mfb::sim::EtmModule::kNotInitialised,
         "the simulated ETM is not set up: run init first"},
        {Function::PulseEncoder, "i_MFB_EnablePulseEncoder", mfb::sim::PulseEncoderModule::kRunning,
         "the simulated encoder is running: disable it first"},
        {Function::Frequency, "i_MFB_EnableFrequencyMeasurement",
         static_cast<std::int32_t>(mfb::sim::FrequencyModule::kWrongState),
         "the request does not fit the simulated module's state (enable before init or while "
         "enabled, init while enabled)"},
    };
    for (const auto& c : cases) {
        const auto code = static_cast<unsigned>(c.f);
        EXPECT_EQ(mfbctl::explain::refusal(code, c.export_name, -1, c.status), c.text);
        EXPECT_EQ(mfbctl::explain::refusal(code, c.export_name, -1, c.status + 10), "");
    }
    EXPECT_EQ(mfbctl::explain::wrong_function("board 0 module 0", 1, 2),
              "board 0 module 0 is a counter, not a timer");
}
