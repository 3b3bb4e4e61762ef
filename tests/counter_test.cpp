// The incremental counter family against a recording board: every member's request byte for byte,
// the interrupt gate, the driver status mapping and the out values on every path.
#include "exchange_table.h"

#include "board/status.h"

#include <string_view>

using namespace mfbtest;

namespace {

enum class Gate { Open, NeedsRoutine };

struct Member {
    Gate gate;
    std::uint32_t code;
    std::uint32_t size;
    std::string_view name; // the call as written in the table
    Call call;
    Bytes head; // the leading request bytes, the rest zero; none: the member sends no input at all

    Bytes request() const {
        Bytes b = head;
        if (!b.empty())
            b.resize(size, 0);
        return b;
    }
};

// A row: gate, code, buffer size, the call (h and the Outs o in scope), leading request bytes.
#define M(gate, code, size, call, ...)                                                             \
    Member(                                                                                        \
        Gate::gate, code, size, #call,                                                             \
        [](MFB_BoardHandle h, [[maybe_unused]] Outs& o) { return i_MFB_##call; },                  \
        Bytes{__VA_ARGS__})

const Member kMembers[] = {
    M(Open, 0x9000200C, 12, InitCounter(h, 2, 1, 3, 4, 5, 6), 2, 1, 3, 4, 5, 6),
    M(Open, 0x90002010, 8, CounterAutoTest(h, &o.bytes[0])),
    M(Open, 0x90002014, 8, ClearCounterValue(h, 3), 3),
    M(Open, 0x90002018, 8, ClearAllCounterValue(h)),
    M(Open, 0x9000201C, 8, SetInputFilter(h, 1, 0xA1, 0xB2), 1, 0xA1, 0xB2),
    M(Open, 0x90004008, 8, SetInputFilterEFG(h, 1, 0xC3), 1, 0, 0xC3), // byte 2, not byte 1
    M(Open, 0x90002020, 12, LatchCounter(h, 2, 0xFF), 2, 0, 0, 0, 0xFF),
    M(Open, 0x90002024, 8, ReadLatchRegisterStatus(h, 2, 1, &o.bytes[0]), 2, 1),
    M(Open, 0x90002028, 12, ReadLatchRegisterValue(h, 2, 1, &o.words[0]), 2, 1),
    M(NeedsRoutine, 0x9000202C, 12, EnableLatchInterrupt(h, 3), 3, 0, 0, 0, 1),
    M(NeedsRoutine, 0x9000202C, 12, DisableLatchInterrupt(h, 3), 3),
    M(Open, 0x90002030, 12, Read16BitCounterValue(h, 1, 1, &o.words[0]), 1),
    M(Open, 0x90002030, 12, Read32BitCounterValue(h, 1, &o.words[0]), 1),
    M(Open, 0x90002034, 12, Write16BitCounterValue(h, 1, 1, 0x0001ABCD), 1, 0, 0, 0, 0, 0, 0xCD,
      0xAB),
    M(Open, 0x90002034, 12, Write32BitCounterValue(h, 1, 0x89ABCDEF), 1, 0, 0, 0, 0xEF, 0xCD, 0xAB,
      0x89),
    M(Open, 0x90002038, 12, InitIndex(h, 2, 7, 8, 9, 0), 2, 7, 8, 9, 0),
    M(NeedsRoutine, 0x90002038, 12, InitIndex(h, 2, 7, 8, 9, 1), 2, 7, 8, 9, 1),
    M(Open, 0x90002038, 12, InitIndex(h, 2, 1, 1, 1, 2), 2, 1, 1, 1, 2), // only 1 needs a routine
    M(Open, 0x9000203C, 12, EnableIndex(h, 1), 1, 0, 0, 0, 1),
    M(Open, 0x9000203C, 12, DisableIndex(h, 1), 1),
    M(Open, 0x90002040, 12, GetIndexStatus(h, 1, &o.bytes[0]), 1),
    M(Open, 0x90002044, 12, SetIndexAndReferenceSource(h, 1, 0x80), 1, 0, 0, 0, 0x80),
    M(Open, 0x90002048, 12, InitReference(h, 1, 0x7F), 1, 0, 0, 0, 0x7F),
    M(Open, 0x9000204C, 12, GetReferenceStatus(h, 1, &o.bytes[0]), 1),
    M(Open, 0x90002050, 12, GetUASStatus(h, 1, &o.bytes[0]), 1),
    M(Open, 0x90002054, 12, GetCBStatus(h, 1, &o.bytes[0]), 1),
    M(Open, 0x90002058, 8, Get16BitCBStatus(h, 1, &o.bytes[0], &o.bytes[1]), 1),
    M(Open, 0x9000205C, 12, GetUDStatus(h, 1, &o.bytes[0]), 1),
    M(NeedsRoutine, 0x90002060, 12, GetInterruptUDLatchedStatus(h, 1, &o.bytes[0]), 1),
    M(Open, 0x90002064, 8, InitExternalStrobe(h, 1, 0x5A, 0xA5), 1, 0x5A, 0xA5),
    M(Open, 0x90002068, 12, InitCompareLogic(h, 1, 0x12345678), 1, 0, 0, 0, 0x78, 0x56, 0x34, 0x12),
    // u16 at bytes 2-3 and 4-5, byte 1 unused
    M(Open, 0x90004004, 12, ModuloCompareCorrection(h, 1, 0x1234, 0xABCD), 1, 0, 0x34, 0x12, 0xCD,
      0xAB),
    M(NeedsRoutine, 0x9000206C, 12, EnableCompareLogic(h, 1), 1, 0, 0, 0, 1),
    M(Open, 0x9000206C, 12, DisableCompareLogic(h, 1), 1),
    // the one 16-byte exchange
    M(Open, 0x90004510, 16, InitModuloCompareLogic(h, 1, 0xDEADBEEF, 0x42), 1, 0, 0, 0, 0xEF, 0xBE,
      0xAD, 0xDE, 0x42),
    M(Open, 0x90004514, 12, ReadCompareLatchRegister(h, 1, &o.words[0]), 1),
    M(Open, 0x9000450C, 8, ConfigDigitalChlUse(h, 1, 0x33), 1, 0x33),
    M(Open, 0x90002088, 12, SetDigitalChlOn(h, 1), 1, 0, 0, 0, 1),
    M(Open, 0x90002088, 12, SetDigitalChlOff(h, 1), 1),
};
#undef M

// The member whose call is `export_name(...)`.
Call call_of(std::string_view export_name) {
    for (const Member& m : kMembers)
        if (m.name.substr(0, m.name.find('(')) == export_name)
            return m.call;
    ADD_FAILURE() << "no member " << export_name;
    return [](MFB_BoardHandle, Outs&) -> std::int16_t { return 0; };
}

void MFB_CALL ignore_interrupt(std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                               std::uint32_t, std::uint32_t*) {}

class Counter : public OpenRecorderTest {
  protected:
    void install_routine() {
        ASSERT_EQ(i_MFB_SetBoardIntRoutine(h, ignore_interrupt), 0);
        d->clear();
    }
};

// The members that concern interrupts refuse with -15 and send nothing while the board has no
// interrupt routine; installing one opens them (each sends its request byte for byte), resetting
// it closes them again.
TEST_F(Counter, RequestsAndTheInterruptGate) {
    const auto run_all = [&](const char* phase, bool routine) {
        SCOPED_TRACE(phase);
        for (const Member& m : kMembers) {
            if (m.gate == Gate::NeedsRoutine && !routine) {
                check(Refused{m.name.data(), m.call, -15});
                continue;
            }
            SCOPED_TRACE(m.name.data());
            d->clear();
            Outs o;
            EXPECT_EQ(m.call(h, o), 0);
            expect_one_exchange(*d, m.code, m.request(), m.size);
        }
    };
    run_all("no routine", false);
    install_routine();
    run_all("routine installed", true);
    ASSERT_EQ(i_MFB_ResetBoardIntRoutine(h), 0);
    run_all("routine reset", false);
}

TEST_F(Counter, UnknownHandleSendsNothing) {
    const auto with = [](Call c, MFB_BoardHandle x) {
        return [c, x](MFB_BoardHandle, Outs& o) { return c(x, o); };
    };
    for (const Member& m : kMembers) {
        check(Refused{m.name.data(), stranger(m.call), -1});
        check(Refused{m.name.data(), with(m.call, 0), -1}); // 0, the mark of a closed slot
    }
    ASSERT_EQ(i_MFB_CloseBoard(h), 0);
    for (const Member& m : kMembers)
        check(Refused{m.name.data(), m.call, -1}); // a closed handle is not found
}

// A failed exchange is -1, like an unknown handle, and writes no out value.
TEST_F(Counter, FailedExchangeLeavesOutValuesUntouched) {
    install_routine();
    for (const Member& m : kMembers)
        check(ExchangeFails{m.name.data(), m.call, -1});
}

// The driver status word sits in the last four bytes, wherever the buffer ends (at 12 in the
// 16-byte modulo exchange, not at 8 where its option byte lies); s gives s - 1.
TEST_F(Counter, DriverStatusBecomesStatusMinusOne) {
    const std::pair<std::uint32_t, std::int16_t> mappings[] = {
        {0, 0},
        {1, 0},
        {0xFFFFFFFF, -2},
        {5, 4},
        {0xFFFFFFFD, -4},
        {0x00010000, -1},
        {0x00008000, 32767},
        {0x00010001, mfb::kCounterRefusedAsZero}, // s - 1 = 0x10000 must not read as success
    };
    install_routine();
    for (const Member& m : kMembers)
        for (auto [s, status] : mappings) {
            SCOPED_TRACE(::testing::Message() << m.name << " s=" << std::hex << s);
            // The bytes before the status word are all ones, so a status read elsewhere shows.
            d->script(status_answer(m.size, m.size - 4, s, Bytes(m.size - 4, 0xFF)));
            Outs o;
            EXPECT_EQ(m.call(h, o), status);
        }
}

// Only status 0 and 1 read as success; every other driver status is a failure, also where s - 1
// is 0 in its low 16 bits.
TEST(CounterStatus, ARefusalNeverReadsAsSuccess) {
    for (std::uint32_t s : {0x00010001u, 0x80000001u, 0xFFFF0001u})
        EXPECT_EQ(mfb::counter_status(s), mfb::kCounterRefusedAsZero) << std::hex << s;
    for (std::uint64_t s = 2; s <= 0xFFFFFFFFull; s += 0xFFFF)
        ASSERT_NE(mfb::counter_status(static_cast<std::uint32_t>(s)), 0) << std::hex << s;
}

// Out values come from the answer as soon as the exchange succeeded, before the status is looked
// at: here the driver refuses (status -2 gives -3) and they are written all the same.
TEST_F(Counter, OutValuesAreWrittenWhateverTheDriverStatus) {
    struct Read {
        const char* name; // the export
        std::uint32_t size;
        Bytes answer; // the answer's bytes before the status word
        Writes writes;
    };
    const Read reads[] = {
        {"CounterAutoTest", 8, {0x5A, 0x11}, {.bytes = {0x5A}}},
        {"ReadLatchRegisterStatus", 8, {0, 0x11, 0x77, 0x22}, {.bytes = {0x77}}},
        {"ReadLatchRegisterValue",
         12,
         {9, 9, 9, 9, 0xEF, 0xCD, 0xAB, 0x89},
         {.words = {0x89ABCDEF}}},
        {"Read32BitCounterValue", 12, {0, 0, 0, 0, 0x56, 0, 0x12, 0}, {.words = {0x00120056}}},
        {"GetIndexStatus", 12, {0x33, 0, 0, 0, 0x02, 0x01}, {.bytes = {0x02}}},
        {"GetReferenceStatus", 12, {0, 0, 0, 0, 0x81, 0x7E}, {.bytes = {0x81}}},
        {"GetUASStatus", 12, {0, 0, 0, 0, 0x0C, 0xFF}, {.bytes = {0x0C}}},
        {"GetCBStatus", 12, {0, 0, 0, 0, 0x03, 0x44}, {.bytes = {0x03}}},
        {"Get16BitCBStatus", 8, {0x99, 0x21, 0x43, 0x99}, {.bytes = {0x21, 0x43}}},
        {"GetUDStatus", 12, {0, 0, 0, 0, 0x01, 0x02}, {.bytes = {0x01}}},
        {"GetInterruptUDLatchedStatus", 12, {0, 0, 0, 0, 0x02, 0x01}, {.bytes = {0x02}}},
        {"ReadCompareLatchRegister", 12, {0, 0, 0, 0, 4, 3, 2, 1}, {.words = {0x01020304}}},
    };
    install_routine();
    for (const Read& r : reads) {
        SCOPED_TRACE(r.name);
        d->script(status_answer(r.size, r.size - 4, 0xFFFFFFFE, r.answer));
        Outs o;
        EXPECT_EQ(call_of(r.name)(h, o), -3);
        EXPECT_EQ(o, Outs(r.writes));
    }
}

// Only bit 0 of the counter number selects a half: even numbers read bits 0-15, odd ones 16-31,
// zero-extended (no sign extension of 0xFF12).
TEST_F(Counter, SixteenBitReadTakesOneHalf) {
    for (std::uint8_t counter : {0, 1, 2, 3, 254, 255}) {
        SCOPED_TRACE(int(counter));
        d->script(status_answer(12, 8, 0, {0, 0, 0, 0, 0x56, 0x00, 0x12, 0xFF}));
        std::uint32_t v = 0xFFFFFFFF;
        EXPECT_EQ(i_MFB_Read16BitCounterValue(h, 0, counter, &v), 0);
        EXPECT_EQ(v, counter % 2 ? 0xFF12u : 0x56u);
    }
}

// Even counter numbers send the value as it is, upper bits included (the same request as a 32-bit
// write); odd numbers send the low 16 bits in bits 16-31.
TEST_F(Counter, SixteenBitWriteShiftsIntoTheSelectedHalf) {
    for (std::uint8_t counter : {0, 1, 2, 3, 255}) {
        SCOPED_TRACE(int(counter));
        EXPECT_EQ(i_MFB_Write16BitCounterValue(h, 2, counter, 0x0001ABCD), 0);
        Bytes expected = {2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        mfb::vbus::put_u32(expected, 4, counter % 2 ? 0xABCD0000 : 0x0001ABCD);
        ASSERT_TRUE(d->last());
        EXPECT_EQ(d->last()->request, expected);
    }
}

} // namespace
