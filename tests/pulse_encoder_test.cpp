// The pulse encoder family against a recording driver: the requests byte for byte, the gate of
// the enable with interrupts, and the negated driver status.
#include "exchange_table.h"

using namespace mfbtest;

namespace {

constexpr std::uint32_t kInit = 0x90005400;
constexpr std::uint32_t kEnable = 0x90005404;
constexpr std::uint32_t kDisable = 0x90005408;
constexpr std::uint32_t kStatus = 0x9000540C;
constexpr std::uint32_t kRead = 0x90005410;
constexpr std::uint32_t kWrite = 0x90005414;

struct Member {
    const char* what;
    Call call;
    std::uint32_t code;
    Bytes request;
    std::size_t status_at;
};

// Numbers and settings out of any range go to the driver as they are.
const Member kMembers[] = {
    {"init", OUTS_CALL(InitPulseEncoder(h, 9, 8, 0xA1, 0xB2, 0x12345678)), kInit,
     cat({{9, 8, 0xA1, 0xB2}, le32(0x12345678), zeros(4)}), 8},
    {"enable without interrupts", OUTS_CALL(EnablePulseEncoder(h, 3, 2, 0x77, 0)), kEnable,
     cat({{3, 2, 0x77, 0}, zeros(4)}), 4},
    {"disable", OUTS_CALL(DisablePulseEncoder(h, 3, 0xFF)), kDisable, cat({{3, 0xFF}, zeros(6)}),
     4},
    {"status", OUTS_CALL(ReadPulseEncoderStatus(h, 1, 2, &o.bytes[0])), kStatus,
     cat({{1, 2}, zeros(6)}), 4},
    {"read", OUTS_CALL(ReadPulseEncoderValue(h, 1, 2, &o.words[0])), kRead,
     cat({{1, 2}, zeros(10)}), 8},
    {"write", OUTS_CALL(WritePulseEncoderValue(h, 1, 2, 0xDEADBEEF)), kWrite,
     cat({{1, 2, 0, 0}, le32(0xDEADBEEF), zeros(4)}), 8},
};
const Member kWithInterrupts = {"enable with interrupts",
                                OUTS_CALL(EnablePulseEncoder(h, 0, 1, 1, 0x80)), kEnable,
                                cat({{0, 1, 1, 0x80}, zeros(4)}), 4};

void MFB_CALL ignore_interrupt(std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                               std::uint32_t, std::uint32_t*) {}

class PulseEncoder : public OpenRecorderTest {
  protected:
    void expect_sent(const Member& m) {
        SCOPED_TRACE(m.what);
        d->clear();
        Outs o;
        EXPECT_EQ(m.call(h, o), 0);
        expect_one_exchange(*d, m.code, m.request, static_cast<std::uint32_t>(m.request.size()));
    }
};

TEST_F(PulseEncoder, Requests) {
    for (const Member& m : kMembers)
        expect_sent(m);
}

// Any interrupt byte but 0 needs the board's interrupt routine: -7, nothing sent, before the
// install and after the reset; with the routine installed it reaches the driver.
TEST_F(PulseEncoder, EnableWithInterruptsNeedsTheRoutine) {
    check(Refused{"before the install", kWithInterrupts.call, -7});
    check(Refused{"interrupt byte 1", OUTS_CALL(EnablePulseEncoder(h, 0, 1, 1, 1)), -7});
    check(Refused{"unknown handle first", stranger(kWithInterrupts.call), -1});
    expect_sent(kMembers[1]); // interrupt byte 0 needs nothing
    ASSERT_EQ(i_MFB_SetBoardIntRoutine(h, ignore_interrupt), 0);
    expect_sent(kWithInterrupts);
    expect_sent(kMembers[1]);
    ASSERT_EQ(i_MFB_ResetBoardIntRoutine(h), 0);
    check(Refused{"after the reset", kWithInterrupts.call, -7});
}

TEST_F(PulseEncoder, UnknownHandleAndFailedExchange) {
    for (const Member& m : kMembers) {
        check(Refused{m.what, stranger(m.call), -1});
        check(ExchangeFails{m.what, m.call, -100});
    }
}

// The signed 16-bit status at its offset, negated; the two bytes after it are not read. The reads
// write their value before the status is looked at.
TEST_F(PulseEncoder, DriverStatusIsNegated) {
    const std::pair<std::uint16_t, std::int16_t> mappings[] = {
        {0, 0}, {2, -2}, {0xFFFE, 2}, {0x7FFF, -32767}, {0x8000, -32768}};
    for (const Member& m : kMembers)
        for (auto [s, status] : mappings) {
            SCOPED_TRACE(::testing::Message() << m.what << " s=" << s);
            Bytes b(m.request.size(), 0);
            b[2] = 0x5A;                          // the status byte of ReadPulseEncoderStatus
            mfb::vbus::put_u32(b, 4, 0x01020304); // the value of ReadPulseEncoderValue
            mfb::vbus::put_u16(b, m.status_at, s);
            mfb::vbus::put_u16(b, m.status_at + 2, 0xFFFF);
            d->script(answer(b));
            Outs o;
            EXPECT_EQ(m.call(h, o), status);
            if (m.code == kStatus) {
                EXPECT_EQ(o, Outs({.bytes = {0x5A}}));
            } else if (m.code == kRead) {
                EXPECT_EQ(o, Outs({.words = {0x01020304}}));
            }
        }
}

} // namespace
