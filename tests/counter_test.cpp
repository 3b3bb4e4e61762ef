// The incremental counter family against a recording board: every member's request byte for byte,
// the interrupt gate, the driver status mapping and the out values on every path.
#include "exchange_table.h"

#include "board/status.h"

#include <initializer_list>
#include <string_view>

using namespace mfbtest;

namespace {

// A request of `size` bytes that starts with `head`, the rest zero.
Bytes frame(std::size_t size, std::initializer_list<std::uint8_t> head) {
    Bytes b(head);
    b.resize(size, 0);
    return b;
}

enum class Gate { Open, NeedsRoutine };

struct Member {
    const char* name;
    Call call;
    std::uint32_t code;
    std::uint32_t size;
    Bytes request; // empty: the member sends no input at all
    Gate gate = Gate::Open;
};

const Member kMembers[] = {
    {"InitCounter",
     [](MFB_BoardHandle h, Outs&) { return i_MFB_InitCounter(h, 2, 0x11, 0x22, 0x33, 0x44, 0x55); },
     0x9000200C, 12, frame(12, {2, 0x11, 0x22, 0x33, 0x44, 0x55})},
    {"CounterAutoTest",
     [](MFB_BoardHandle h, Outs& o) { return i_MFB_CounterAutoTest(h, &o.bytes[0]); },
     0x90002010,
     8,
     {}},
    {"ClearCounterValue", [](MFB_BoardHandle h, Outs&) { return i_MFB_ClearCounterValue(h, 3); },
     0x90002014, 8, frame(8, {3})},
    {"ClearAllCounterValue",
     [](MFB_BoardHandle h, Outs&) { return i_MFB_ClearAllCounterValue(h); },
     0x90002018,
     8,
     {}},
    {"SetInputFilter",
     [](MFB_BoardHandle h, Outs&) { return i_MFB_SetInputFilter(h, 1, 0xA1, 0xB2); }, 0x9000201C, 8,
     frame(8, {1, 0xA1, 0xB2})},
    {"SetInputFilterEFG", // byte 2, not byte 1
     [](MFB_BoardHandle h, Outs&) { return i_MFB_SetInputFilterEFG(h, 1, 0xC3); }, 0x90004008, 8,
     frame(8, {1, 0, 0xC3})},
    {"LatchCounter", [](MFB_BoardHandle h, Outs&) { return i_MFB_LatchCounter(h, 2, 0xFF); },
     0x90002020, 12, frame(12, {2, 0, 0, 0, 0xFF})},
    {"ReadLatchRegisterStatus",
     [](MFB_BoardHandle h, Outs& o) { return i_MFB_ReadLatchRegisterStatus(h, 2, 1, &o.bytes[0]); },
     0x90002024, 8, frame(8, {2, 1})},
    {"ReadLatchRegisterValue",
     [](MFB_BoardHandle h, Outs& o) { return i_MFB_ReadLatchRegisterValue(h, 2, 1, &o.words[0]); },
     0x90002028, 12, frame(12, {2, 1})},
    {"EnableLatchInterrupt",
     [](MFB_BoardHandle h, Outs&) { return i_MFB_EnableLatchInterrupt(h, 3); }, 0x9000202C, 12,
     frame(12, {3, 0, 0, 0, 1}), Gate::NeedsRoutine},
    {"DisableLatchInterrupt",
     [](MFB_BoardHandle h, Outs&) { return i_MFB_DisableLatchInterrupt(h, 3); }, 0x9000202C, 12,
     frame(12, {3}), Gate::NeedsRoutine},
    {"Read16BitCounterValue",
     [](MFB_BoardHandle h, Outs& o) { return i_MFB_Read16BitCounterValue(h, 1, 1, &o.words[0]); },
     0x90002030, 12, frame(12, {1})},
    {"Read32BitCounterValue",
     [](MFB_BoardHandle h, Outs& o) { return i_MFB_Read32BitCounterValue(h, 1, &o.words[0]); },
     0x90002030, 12, frame(12, {1})},
    {"Write16BitCounterValue",
     [](MFB_BoardHandle h, Outs&) { return i_MFB_Write16BitCounterValue(h, 1, 1, 0x0001ABCD); },
     0x90002034, 12, frame(12, {1, 0, 0, 0, 0, 0, 0xCD, 0xAB})},
    {"Write32BitCounterValue",
     [](MFB_BoardHandle h, Outs&) { return i_MFB_Write32BitCounterValue(h, 1, 0x89ABCDEF); },
     0x90002034, 12, frame(12, {1, 0, 0, 0, 0xEF, 0xCD, 0xAB, 0x89})},
    {"InitIndex without interrupt",
     [](MFB_BoardHandle h, Outs&) { return i_MFB_InitIndex(h, 2, 7, 8, 9, 0); }, 0x90002038, 12,
     frame(12, {2, 7, 8, 9, 0})},
    {"InitIndex with interrupt",
     [](MFB_BoardHandle h, Outs&) { return i_MFB_InitIndex(h, 2, 7, 8, 9, 1); }, 0x90002038, 12,
     frame(12, {2, 7, 8, 9, 1}), Gate::NeedsRoutine},
    {"InitIndex last byte 2",
     [](MFB_BoardHandle h, Outs&) { return i_MFB_InitIndex(h, 2, 1, 1, 1, 2); }, 0x90002038, 12,
     frame(12, {2, 1, 1, 1, 2})},
    {"EnableIndex", [](MFB_BoardHandle h, Outs&) { return i_MFB_EnableIndex(h, 1); }, 0x9000203C,
     12, frame(12, {1, 0, 0, 0, 1})},
    {"DisableIndex", [](MFB_BoardHandle h, Outs&) { return i_MFB_DisableIndex(h, 1); }, 0x9000203C,
     12, frame(12, {1})},
    {"GetIndexStatus",
     [](MFB_BoardHandle h, Outs& o) { return i_MFB_GetIndexStatus(h, 1, &o.bytes[0]); }, 0x90002040,
     12, frame(12, {1})},
    {"SetIndexAndReferenceSource",
     [](MFB_BoardHandle h, Outs&) { return i_MFB_SetIndexAndReferenceSource(h, 1, 0x80); },
     0x90002044, 12, frame(12, {1, 0, 0, 0, 0x80})},
    {"InitReference", [](MFB_BoardHandle h, Outs&) { return i_MFB_InitReference(h, 1, 0x7F); },
     0x90002048, 12, frame(12, {1, 0, 0, 0, 0x7F})},
    {"GetReferenceStatus",
     [](MFB_BoardHandle h, Outs& o) { return i_MFB_GetReferenceStatus(h, 1, &o.bytes[0]); },
     0x9000204C, 12, frame(12, {1})},
    {"GetUASStatus",
     [](MFB_BoardHandle h, Outs& o) { return i_MFB_GetUASStatus(h, 1, &o.bytes[0]); }, 0x90002050,
     12, frame(12, {1})},
    {"GetCBStatus", [](MFB_BoardHandle h, Outs& o) { return i_MFB_GetCBStatus(h, 1, &o.bytes[0]); },
     0x90002054, 12, frame(12, {1})},
    {"Get16BitCBStatus",
     [](MFB_BoardHandle h, Outs& o) {
         return i_MFB_Get16BitCBStatus(h, 1, &o.bytes[0], &o.bytes[1]);
     },
     0x90002058, 8, frame(8, {1})},
    {"GetUDStatus", [](MFB_BoardHandle h, Outs& o) { return i_MFB_GetUDStatus(h, 1, &o.bytes[0]); },
     0x9000205C, 12, frame(12, {1})},
    {"GetInterruptUDLatchedStatus",
     [](MFB_BoardHandle h, Outs& o) {
         return i_MFB_GetInterruptUDLatchedStatus(h, 1, &o.bytes[0]);
     },
     0x90002060, 12, frame(12, {1}), Gate::NeedsRoutine},
    {"InitExternalStrobe",
     [](MFB_BoardHandle h, Outs&) { return i_MFB_InitExternalStrobe(h, 1, 0x5A, 0xA5); },
     0x90002064, 8, frame(8, {1, 0x5A, 0xA5})},
    {"InitCompareLogic",
     [](MFB_BoardHandle h, Outs&) { return i_MFB_InitCompareLogic(h, 1, 0x12345678); }, 0x90002068,
     12, frame(12, {1, 0, 0, 0, 0x78, 0x56, 0x34, 0x12})},
    {"ModuloCompareCorrection", // u16 at bytes 2-3 and 4-5, byte 1 unused
     [](MFB_BoardHandle h, Outs&) { return i_MFB_ModuloCompareCorrection(h, 1, 0x1234, 0xABCD); },
     0x90004004, 12, frame(12, {1, 0, 0x34, 0x12, 0xCD, 0xAB})},
    {"EnableCompareLogic", [](MFB_BoardHandle h, Outs&) { return i_MFB_EnableCompareLogic(h, 1); },
     0x9000206C, 12, frame(12, {1, 0, 0, 0, 1}), Gate::NeedsRoutine},
    {"DisableCompareLogic",
     [](MFB_BoardHandle h, Outs&) { return i_MFB_DisableCompareLogic(h, 1); }, 0x9000206C, 12,
     frame(12, {1})},
    {"InitModuloCompareLogic", // the one 16-byte exchange
     [](MFB_BoardHandle h, Outs&) { return i_MFB_InitModuloCompareLogic(h, 1, 0xDEADBEEF, 0x42); },
     0x90004510, 16, frame(16, {1, 0, 0, 0, 0xEF, 0xBE, 0xAD, 0xDE, 0x42})},
    {"ReadCompareLatchRegister",
     [](MFB_BoardHandle h, Outs& o) { return i_MFB_ReadCompareLatchRegister(h, 1, &o.words[0]); },
     0x90004514, 12, frame(12, {1})},
    {"ConfigDigitalChlUse",
     [](MFB_BoardHandle h, Outs&) { return i_MFB_ConfigDigitalChlUse(h, 1, 0x33); }, 0x9000450C, 8,
     frame(8, {1, 0x33})},
    {"SetDigitalChlOn", [](MFB_BoardHandle h, Outs&) { return i_MFB_SetDigitalChlOn(h, 1); },
     0x90002088, 12, frame(12, {1, 0, 0, 0, 1})},
    {"SetDigitalChlOff", [](MFB_BoardHandle h, Outs&) { return i_MFB_SetDigitalChlOff(h, 1); },
     0x90002088, 12, frame(12, {1})},
};

Call call_of(std::string_view name) {
    for (const Member& m : kMembers)
        if (name == m.name)
            return m.call;
    ADD_FAILURE() << "no member " << name;
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

TEST_F(Counter, EveryMemberSendsItsRequestByteForByte) {
    install_routine();
    for (const Member& m : kMembers) {
        SCOPED_TRACE(m.name);
        d->clear();
        Outs o;
        EXPECT_EQ(m.call(h, o), 0);
        expect_one_exchange(*d, m.code, m.request, m.size);
    }
}

// The members that concern interrupts refuse with -15 and send nothing while the board has no
// interrupt routine; installing one opens them, resetting it closes them again.
TEST_F(Counter, InterruptMembersNeedTheBoardsRoutine) {
    auto run_all = [&](bool routine_installed) {
        for (const Member& m : kMembers) {
            if (m.gate == Gate::NeedsRoutine && !routine_installed) {
                check(Refused{m.name, m.call, -15});
                continue;
            }
            SCOPED_TRACE(m.name);
            d->clear();
            Outs o;
            EXPECT_EQ(m.call(h, o), 0);
            EXPECT_EQ(d->records().size(), 1u);
        }
    };
    {
        SCOPED_TRACE("no routine");
        run_all(false);
    }
    install_routine();
    {
        SCOPED_TRACE("routine installed");
        run_all(true);
    }
    ASSERT_EQ(i_MFB_ResetBoardIntRoutine(h), 0);
    {
        SCOPED_TRACE("routine reset");
        run_all(false);
    }
}

TEST_F(Counter, UnknownHandleSendsNothing) {
    for (const Member& m : kMembers) {
        check(Refused{m.name, stranger(m.call), -1});
        SCOPED_TRACE("handle 0, the mark of a closed slot");
        check(Refused{m.name, [c = m.call](MFB_BoardHandle, Outs& o) { return c(0, o); }, -1});
    }
    ASSERT_EQ(i_MFB_CloseBoard(h), 0);
    SCOPED_TRACE("a closed handle is not found");
    for (const Member& m : kMembers)
        check(Refused{m.name, m.call, -1});
}

// A failed exchange is -1, like an unknown handle, and writes no out value.
TEST_F(Counter, FailedExchangeLeavesOutValuesUntouched) {
    install_routine();
    for (const Member& m : kMembers)
        check(ExchangeFails{m.name, m.call, -1});
}

// The driver status word sits in the last four bytes, wherever the buffer ends; s gives s - 1.
TEST_F(Counter, DriverStatusBecomesStatusMinusOne) {
    struct Mapping {
        std::uint32_t s;
        std::int16_t status;
    };
    const Mapping mappings[] = {
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
        for (const Mapping& c : mappings) {
            SCOPED_TRACE(::testing::Message() << m.name << " s=" << std::hex << c.s);
            // The bytes before the status word are all ones, so a status read elsewhere shows.
            Bytes fields(m.size - 4, 0xFF);
            d->script(status_answer(m.size, m.size - 4, c.s, fields));
            Outs o;
            EXPECT_EQ(m.call(h, o), c.status);
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
        const char* name; // the member
        std::uint32_t size;
        Bytes answer; // the answer's bytes before the status word
        Writes writes;
    };
    const Read reads[] = {
        {"CounterAutoTest", 8, {0x5A, 0x11}, Writes{.bytes = {0x5A}}},
        {"ReadLatchRegisterStatus", 8, {0, 0x11, 0x77, 0x22}, Writes{.bytes = {0x77}}},
        {"ReadLatchRegisterValue",
         12,
         {9, 9, 9, 9, 0xEF, 0xCD, 0xAB, 0x89},
         Writes{.words = {0x89ABCDEF}}},
        {"Read32BitCounterValue",
         12,
         {0, 0, 0, 0, 0x56, 0, 0x12, 0},
         Writes{.words = {0x00120056}}},
        {"GetIndexStatus", 12, {0x33, 0, 0, 0, 0x02, 0x01}, Writes{.bytes = {0x02}}},
        {"GetReferenceStatus", 12, {0, 0, 0, 0, 0x81, 0x7E}, Writes{.bytes = {0x81}}},
        {"GetUASStatus", 12, {0, 0, 0, 0, 0x0C, 0xFF}, Writes{.bytes = {0x0C}}},
        {"GetCBStatus", 12, {0, 0, 0, 0, 0x03, 0x44}, Writes{.bytes = {0x03}}},
        {"Get16BitCBStatus", 8, {0x99, 0x21, 0x43, 0x99}, Writes{.bytes = {0x21, 0x43}}},
        {"GetUDStatus", 12, {0, 0, 0, 0, 0x01, 0x02}, Writes{.bytes = {0x01}}},
        {"GetInterruptUDLatchedStatus", 12, {0, 0, 0, 0, 0x02, 0x01}, Writes{.bytes = {0x02}}},
        {"ReadCompareLatchRegister", 12, {0, 0, 0, 0, 4, 3, 2, 1}, Writes{.words = {0x01020304}}},
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

// Only bit 0 of the counter number selects a half: even numbers read bits 0-15, odd ones 16-31.
TEST_F(Counter, SixteenBitReadTakesOneHalf) {
    const std::pair<std::uint8_t, std::uint32_t> cases[] = {
        {0, 0x56}, {1, 0x12}, {2, 0x56}, {3, 0x12}, {254, 0x56}, {255, 0x12},
    };
    for (auto [counter, expected] : cases) {
        SCOPED_TRACE(int(counter));
        d->script(status_answer(12, 8, 0, {0, 0, 0, 0, 0x56, 0x00, 0x12, 0x00}));
        std::uint32_t v = 0xFFFFFFFF;
        EXPECT_EQ(i_MFB_Read16BitCounterValue(h, 0, counter, &v), 0);
        EXPECT_EQ(v, expected) << "zero-extended to 32 bits";
    }
    d->script(status_answer(12, 8, 0, {0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}));
    std::uint32_t v = 0;
    EXPECT_EQ(i_MFB_Read16BitCounterValue(h, 0, 1, &v), 0);
    EXPECT_EQ(v, 0xFFFFu) << "no sign extension";
}

// Counter 0 (and every even number) sends the value as it is, upper bits included: the same
// request as a 32-bit write. Odd numbers send the low 16 bits in bits 16-31.
TEST_F(Counter, SixteenBitWriteShiftsIntoTheSelectedHalf) {
    const std::pair<std::uint8_t, std::uint32_t> cases[] = {
        {0, 0x0001ABCD}, {1, 0xABCD0000}, {2, 0x0001ABCD}, {3, 0xABCD0000}, {255, 0xABCD0000},
    };
    for (auto [counter, field] : cases) {
        SCOPED_TRACE(int(counter));
        d->clear();
        EXPECT_EQ(i_MFB_Write16BitCounterValue(h, 2, counter, 0x0001ABCD), 0);
        Bytes expected = frame(12, {2});
        mfb::vbus::put_u32(expected, 4, field);
        ASSERT_TRUE(d->last());
        EXPECT_EQ(d->last()->request, expected);
    }
    d->clear();
    ASSERT_EQ(i_MFB_Write32BitCounterValue(h, 2, 0x0001ABCD), 0);
    const Bytes thirty_two = d->last()->request;
    ASSERT_EQ(i_MFB_Write16BitCounterValue(h, 2, 0, 0x0001ABCD), 0);
    EXPECT_EQ(d->last()->request, thirty_two);
}

// The 16-byte exchange reads its status at 12, not at 8 where the option byte lies.
TEST_F(Counter, ModuloCompareStatusIsAtTwelve) {
    d->script(status_answer(16, 12, 0xFFFFFFFD, frame(12, {0, 0, 0, 0, 0, 0, 0, 0, 7, 7, 7, 7})));
    EXPECT_EQ(i_MFB_InitModuloCompareLogic(h, 0, 100, 1), -4);
    d->script(status_answer(16, 12, 0, frame(12, {0, 0, 0, 0, 0, 0, 0, 0, 7, 7, 7, 7})));
    EXPECT_EQ(i_MFB_InitModuloCompareLogic(h, 0, 100, 1), 0);
}

} // namespace
