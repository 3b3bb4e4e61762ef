// The value parsing and output of mfbctl's shared pieces (tools/common): numbers and times as
// users type them, the version word, and records as JSON and bare values.
#include "common/options.h"
#include "common/output.h"
#include "common/version.h"

#include <gtest/gtest.h>

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
    };
    for (const auto& c : cases) {
        const mfbctl::Time t = mfbctl::parse_time(c.text, "--for");
        EXPECT_EQ(t.ns, c.ns) << c.text;
        EXPECT_EQ(t.unit, c.unit) << c.text;
        EXPECT_EQ(mfbctl::format_time(t.ns), c.shown) << c.text;
    }
    for (const char* bad : {"-1", "5h", "ms", "0.5ns", "1.2.3", "99999999999min", ""})
        EXPECT_THROW(mfbctl::parse_time(bad, "--for"), UsageError) << bad;
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
    EXPECT_EQ(r.values(), "4294967295 -1 1 a\"b\\c\n\xE9");
}

} // namespace
