// EEPROM access against a recording driver: the requests, the status byte's two readings, the
// missing handle lookup, and the two lines a successful write prints.
#include "exchange_table.h"

#include <string>

using namespace mfbtest;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

constexpr std::uint32_t kWrite = 0x9001C000;
constexpr std::uint32_t kRead = 0x9001C004;

using Eeprom = OpenRecorderTest;

RecordingDriver::Answer status_byte(std::uint8_t status, std::uint32_t value = 0) {
    return answer(cat({{status, 0, 0, 0}, zeros(4), le32(value)}));
}

TEST_F(Eeprom, RequestsAndTheWritesTwoLines) {
    CaptureStdout();
    EXPECT_EQ(i_MFB_EepromAMCCWrite(h, 0x01020304, 0xFFFFFFFF), 0);
    expect_one_exchange(*d, kWrite, cat({zeros(4), le32(0x01020304), le32(0xFFFFFFFF)}), 12);
    EXPECT_EQ(GetCapturedStdout(), "dw_EepromValue : -1 \nreturnedLength : 12 \n");

    d->clear();
    auto short_answer = status_byte(0);
    short_answer.count = 5;
    d->script(short_answer);
    CaptureStdout();
    EXPECT_EQ(i_MFB_EepromAMCCWrite(h, 7, 0x7FFFFFFF), 0);
    EXPECT_EQ(GetCapturedStdout(), "dw_EepromValue : 2147483647 \nreturnedLength : 5 \n")
        << "the count DeviceIoControl returned";

    d->clear();
    d->script(status_byte(0, 0xCAFEF00D));
    std::uint32_t value = 0;
    CaptureStdout();
    EXPECT_EQ(i_MFB_EepromAMCCRead(h, 0x100, &value), 0);
    EXPECT_EQ(GetCapturedStdout(), "") << "a read prints nothing";
    expect_one_exchange(*d, kRead, cat({zeros(4), le32(0x100), zeros(4)}), 12);
    EXPECT_EQ(value, 0xCAFEF00Du);
}

// A refused write gives the status byte negated, a refused read +100; neither writes or prints.
TEST_F(Eeprom, DriverStatusByte) {
    for (std::uint8_t status : {3, 255}) { // the byte is unsigned: 255 gives -255
        d->script(status_byte(status, 0x12345678));
        d->script(status_byte(status, 0x12345678));
        std::uint32_t value = 0xA5A5A5A5;
        CaptureStdout();
        EXPECT_EQ(i_MFB_EepromAMCCWrite(h, 1, 2), -status);
        EXPECT_EQ(i_MFB_EepromAMCCRead(h, 1, &value), 100);
        EXPECT_EQ(GetCapturedStdout(), "");
        EXPECT_EQ(value, 0xA5A5A5A5u);
    }
}

TEST_F(Eeprom, FailedExchangeIsMinus100) {
    const ExchangeFails cases[] = {
        {"write", OUTS_CALL(EepromAMCCWrite(h, 0, 1)), -100},
        {"read", OUTS_CALL(EepromAMCCRead(h, 0, &o.words[0])), -100},
    };
    CaptureStdout();
    check_all(cases);
    EXPECT_EQ(GetCapturedStdout(), "");
}

// No handle lookup: a handle never opened fails as an exchange (-100, not -1), and a device
// handle that no slot holds reaches the board.
TEST_F(Eeprom, TheHandleGoesStraightToTheDriver) {
    std::uint32_t value = 0xA5A5A5A5;
    EXPECT_EQ(i_MFB_EepromAMCCWrite(h + 1, 0, 1), -100);
    EXPECT_EQ(i_MFB_EepromAMCCRead(h + 1, 0, &value), -100);
    EXPECT_EQ(value, 0xA5A5A5A5u);
    EXPECT_TRUE(d->records().empty());

    d->script(status_byte(0, 42));
    EXPECT_EQ(i_MFB_EepromAMCCRead(unlisted_handle(0), 3, &value), 0);
    EXPECT_EQ(value, 42u);
}

} // namespace
