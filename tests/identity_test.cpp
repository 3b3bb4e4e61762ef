// Board identity and versions: the version word from its texts, and the three driver exchanges
// against a recording driver.
#include "board/version.h"
#include "exchange_table.h"

using namespace mfbtest;

namespace {

constexpr std::uint32_t kDriverVersion = 0x9000208C;
constexpr std::uint32_t kHardwareType = 0x900020E8;
constexpr std::uint32_t kModuleConfiguration = 0x90004000;

TEST(VersionWord, BuildNumberMonthAndYearFromTheirTexts) {
    const struct {
        const char* build;
        const char* date;
        std::uint32_t word;
    } cases[] = {
        {"7376", "Aug  4 2022", 0x1CD00822},  {"7376", "Dec 25 2031", 0x1CD01231},
        {"7376", "Oct 10 2010", 0x1CD01010},  // BCD: October is 0x10, not 0x0A
        {"7376", "Xyz 25 2031", 0x1CD00031},  // unknown month
        {"7376", "dec 25 2031", 0x1CD00031},  // the abbreviations are case-sensitive
        {"65537", "Feb  2 2002", 0x00010202}, // the build number in 16 bits
        {"12a", "Mar", 0x000C0300},           // digits up to the first other character; no year
    };
    for (const auto& c : cases)
        EXPECT_EQ(mfb::version_word(c.build, c.date), c.word) << c.build << " / " << c.date;
}

TEST(VersionWord, TheExportReportsThisBuild) {
    std::uint32_t v = 0;
    EXPECT_EQ(i_MFB_GetDLLVersion(&v), 0);
    EXPECT_EQ(v, 0x1CD00822u) << "build 7376, August 2022";
}

using Identity = OpenRecorderTest;

TEST_F(Identity, Requests) {
    const Sent cases[] = {
        {"hardware type: one byte, sent as 0",
         OUTS_CALL(GetBoardHardwareType(h, &o.bytes[0])),
         kHardwareType,
         {0},
         1,
         {0x5A},
         {.bytes = {0x5A}}},
        {"configuration word at offset 4; the module number goes unchecked",
         OUTS_CALL(GetModuleConfiguration(h, 7, &o.words[0])),
         kModuleConfiguration,
         cat({{7}, zeros(11)}),
         12,
         cat({zeros(4), le32(0xC0DE0102), zeros(4)}),
         {.words = {0xC0DE0102}}},
        {"driver version: no request, a 4-byte answer",
         OUTS_CALL(GetDeviceDriverVersion(h, &o.words[0])),
         kDriverVersion,
         {},
         4,
         le32(0x00030102),
         {.words = {0x00030102}}},
    };
    check_all(cases);
}

TEST_F(Identity, FailedExchanges) {
    const ExchangeFails cases[] = {
        {"hardware type", OUTS_CALL(GetBoardHardwareType(h, &o.bytes[0])), -2},
        {"configuration: -100, not -1", OUTS_CALL(GetModuleConfiguration(h, 0, &o.words[0])), -100},
        {"driver version", OUTS_CALL(GetDeviceDriverVersion(h, &o.words[0])), -1},
    };
    check_all(cases);
}

// The driver's 16-bit status comes back negated, and the word is written all the same.
TEST_F(Identity, ConfigurationStatusNegatedWithTheWordWritten) {
    d->script(answer(cat({zeros(4), le32(0x11223344), {3, 0, 0xEE, 0xEE}})));
    std::uint32_t word = 0;
    EXPECT_EQ(i_MFB_GetModuleConfiguration(h, 1, &word), -3);
    EXPECT_EQ(word, 0x11223344u);
}

// The driver version skips the handle lookup: a closed handle fails its exchange (-1), and a
// device handle that no slot holds reaches the board, where the other two answer -1.
TEST_F(Identity, DriverVersionTakesTheHandleAsGiven) {
    std::uint32_t version = 0xA5A5A5A5;
    const MFB_BoardHandle direct = unlisted_handle(0);
    d->script(answer(le32(0x00030102)));
    EXPECT_EQ(i_MFB_GetDeviceDriverVersion(direct, &version), 0);
    EXPECT_EQ(version, 0x00030102u);
    std::uint8_t type = 0xA5;
    EXPECT_EQ(i_MFB_GetBoardHardwareType(direct, &type), -1);
    EXPECT_EQ(i_MFB_GetModuleConfiguration(direct, 0, &version), -1);

    ASSERT_EQ(i_MFB_CloseBoard(h), 0);
    d->clear();
    version = 0xA5A5A5A5;
    EXPECT_EQ(i_MFB_GetDeviceDriverVersion(h, &version), -1);
    EXPECT_EQ(version, 0xA5A5A5A5u);
    EXPECT_TRUE(d->records().empty());
}

} // namespace
