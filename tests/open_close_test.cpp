// Board discovery, open and close, through the exports and the virtual bus.
#include "bus_fixture.h"

#include "platform/win32.h"

#include <cstring>
#include <functional>

using namespace mfbtest;
using mfb::vbus::Fn;

namespace {

constexpr std::uint32_t kHandleNotice = 0x9001C014;
constexpr std::uint32_t kBoardInformation = 0x90002098;
constexpr MFB_BoardHandle kUntouched = 0xA5A5A5A5;

class OpenClose : public BusTest {};

TEST_F(OpenClose, CountsBoardsOnEveryCall) {
    std::uint8_t n = 99;
    EXPECT_EQ(i_MFB_GetNumberOfBoards(&n), 0);
    EXPECT_EQ(n, 0);
    MFB_BoardHandle h = kUntouched;
    EXPECT_EQ(i_MFB_OpenBoardViaIndex(0, &h), -2) << "no board: every open is refused";
    EXPECT_EQ(h, kUntouched);
    for (int i = 0; i < 257; ++i)
        attach_recorder();
    EXPECT_EQ(i_MFB_GetNumberOfBoards(&n), 0);
    EXPECT_EQ(n, 1) << "the low 8 bits of 257";
    EXPECT_EQ(mfb::vbus::open_handles(), 0u);
}

struct EnumerationFault {
    Fn fn;
    std::uint32_t error;
};

// A failed enumeration gives -1, leaves the count untouched, forgets the boards it knew and
// releases the device list.
TEST_F(OpenClose, FailedEnumeration) {
    const EnumerationFault cases[] = {
        {Fn::SetupDiGetClassDevsA, 31},
        {Fn::SetupDiEnumDeviceInfo, 87}, // an error other than "no more items" ends it badly
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(mfb::vbus::name(c.fn));
        mfb::vbus::reset_process();
        attach_recorder();
        std::uint8_t n = 0;
        ASSERT_EQ(i_MFB_GetNumberOfBoards(&n), 0); // one board known
        mfb::vbus::fail(c.fn, 1, c.error);
        n = 77;
        EXPECT_EQ(i_MFB_GetNumberOfBoards(&n), -1);
        EXPECT_EQ(n, 77);
        EXPECT_EQ(mfb::vbus::open_handles(), 0u);
        // The count is 0 now: the information read refuses before touching the bus.
        char text[50];
        std::uint32_t w[5];
        std::uint8_t b;
        EXPECT_EQ(i_MFB_GetBoardInformation(0, text, 50, &w[0], &w[2], &w[1], &w[3], &w[4], &b),
                  -1);
        MFB_BoardHandle h = kUntouched;
        mfb::vbus::fail(c.fn, 1, c.error);
        EXPECT_EQ(i_MFB_OpenBoardViaIndex(0, &h), -1);
        mfb::vbus::fail(c.fn, 1, c.error);
        EXPECT_EQ(i_MFB_OpenBoardViaIdentifier("x", &h), -1);
        EXPECT_EQ(h, kUntouched);
    }
}

TEST_F(OpenClose, FirstOpenTellsTheDriverItsHandle) {
    auto d = attach_recorder();
    MFB_BoardHandle h = 0;
    ASSERT_EQ(i_MFB_OpenBoardViaIndex(0, &h), 0);
    EXPECT_NE(h, 0u);

    auto file = mfb::vbus::last_create_file();
    ASSERT_TRUE(file);
    EXPECT_EQ(file->path, mfb::vbus::device_path(0));
    EXPECT_EQ(file->access, 0xC0000000u);
    EXPECT_EQ(file->share, 3u);
    EXPECT_EQ(file->disposition, 3u);
    EXPECT_EQ(file->flags, 0x80u);
    EXPECT_FALSE(file->security_attributes);
    EXPECT_FALSE(file->template_file);

    auto records = d->records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].code, kHandleNotice);
    EXPECT_EQ(records[0].request, (Bytes{std::uint8_t(h), std::uint8_t(h >> 8),
                                         std::uint8_t(h >> 16), std::uint8_t(h >> 24)}));
    EXPECT_TRUE(records[0].out_null);
    EXPECT_EQ(records[0].out_size, 0u);

    // Device set and detail buffer are gone; only the board handle stays open.
    EXPECT_EQ(mfb::vbus::open_handles(), 1u);
    EXPECT_EQ(mfb::vbus::heap_blocks(), 0u);
    // A refused handle notice does not fail the open.
    attach_recorder()->script(failure());
    EXPECT_EQ(i_MFB_OpenBoardViaIndex(1, &h), 0);
}

TEST_F(OpenClose, OpensAreCounted) {
    auto d = attach_recorder();
    MFB_BoardHandle a = 0, b = 0;
    ASSERT_EQ(i_MFB_OpenBoardViaIndex(0, &a), 0);
    ASSERT_EQ(i_MFB_OpenBoardViaIndex(0, &b), 0);
    EXPECT_EQ(a, b);
    EXPECT_EQ(d->records().size(), 1u) << "only the first open tells the driver";
    EXPECT_EQ(mfb::vbus::open_handles(), 1u);

    EXPECT_EQ(i_MFB_CloseBoard(a), 0);
    EXPECT_EQ(mfb::vbus::open_handles(), 1u) << "the first close keeps the handle";
    EXPECT_EQ(i_MFB_CloseBoard(a), 0);
    EXPECT_EQ(mfb::vbus::open_handles(), 0u);
    EXPECT_EQ(i_MFB_CloseBoard(a), -2) << "a closed handle is no longer found";
}

TEST_F(OpenClose, OpenCountDoesNotWrap) {
    attach_recorder();
    MFB_BoardHandle h = 0;
    for (unsigned i = 0; i < 65535; ++i)
        ASSERT_EQ(i_MFB_OpenBoardViaIndex(0, &h), 0) << i;
    MFB_BoardHandle out = kUntouched;
    EXPECT_EQ(i_MFB_OpenBoardViaIndex(0, &out), -10);
    EXPECT_EQ(out, kUntouched);
    // Every counted open still needs its close; the last one releases the handle.
    for (unsigned i = 0; i < 65534; ++i)
        ASSERT_EQ(i_MFB_CloseBoard(h), 0);
    EXPECT_EQ(mfb::vbus::open_handles(), 1u);
    EXPECT_EQ(i_MFB_CloseBoard(h), 0);
    EXPECT_EQ(mfb::vbus::open_handles(), 0u);
}

struct OpenFault {
    Fn fn;
    unsigned nth; // which call of fn during the open fails
    std::int16_t code;
};

// Every failing step of the open: its code, the out handle untouched (INVALID_HANDLE_VALUE for
// the device open), nothing left held, the slot still closed.
TEST_F(OpenClose, EveryOpenFailureReleasesWhatItHeld) {
    const OpenFault cases[] = {
        {Fn::SetupDiGetClassDevsA, 1, -1},
        {Fn::SetupDiGetClassDevsA, 2, -3},
        {Fn::SetupDiEnumDeviceInterfaces, 1, -4},
        {Fn::HeapAlloc, 1, -5},
        {Fn::SetupDiGetDeviceInterfaceDetailA, 1, -6}, // size query learns nothing: too small
        {Fn::SetupDiGetDeviceInterfaceDetailA, 2, -6},
        {Fn::CreateFileA, 1, -7},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << mfb::vbus::name(c.fn) << " #" << c.nth);
        mfb::vbus::reset_process();
        auto d = attach_recorder();
        mfb::vbus::fail(c.fn, c.nth);
        MFB_BoardHandle h = kUntouched;
        EXPECT_EQ(i_MFB_OpenBoardViaIndex(0, &h), c.code);
        EXPECT_EQ(h, c.code == -7 ? 0xFFFFFFFFu : kUntouched);
        EXPECT_EQ(mfb::vbus::open_handles(), 0u);
        EXPECT_EQ(mfb::vbus::heap_blocks(), 0u);
        EXPECT_TRUE(d->records().empty()) << "nothing reaches the driver";
        // The slot is as it was: the next open is a first open again.
        MFB_BoardHandle good = 0;
        EXPECT_EQ(i_MFB_OpenBoardViaIndex(0, &good), 0);
        EXPECT_EQ(d->records().size(), 1u);
    }
}

TEST_F(OpenClose, IndexesBeyondTheTableAreRefused) {
    for (int i = 0; i < 31; ++i)
        attach_recorder();
    std::uint8_t n = 0;
    ASSERT_EQ(i_MFB_GetNumberOfBoards(&n), 0);
    EXPECT_EQ(n, 31);
    MFB_BoardHandle h = kUntouched;
    EXPECT_EQ(i_MFB_OpenBoardViaIndex(30, &h), -2);
    EXPECT_EQ(h, kUntouched);
    EXPECT_EQ(mfb::vbus::calls(Fn::CreateFileA), 0u);
    char text[50];
    std::uint32_t w[5];
    std::uint8_t b;
    EXPECT_EQ(i_MFB_GetBoardInformation(30, text, 50, &w[0], &w[2], &w[1], &w[3], &w[4], &b), -2);
    EXPECT_EQ(i_MFB_OpenBoardViaIndex(29, &h), 0);
    EXPECT_EQ(i_MFB_CloseBoard(h), 0);
}

TEST_F(OpenClose, CloseOfUnknownOrZeroHandle) {
    attach_recorder();
    attach_recorder();
    MFB_BoardHandle h = 0;
    ASSERT_EQ(i_MFB_OpenBoardViaIndex(1, &h), 0);
    // Slot 0 is below the count and closed (handle 0); 0 must not find it.
    EXPECT_EQ(i_MFB_CloseBoard(0), -2);
    EXPECT_EQ(i_MFB_CloseBoard(h + 4), -2);
    // A failed close has emptied the slot all the same.
    mfb::vbus::fail(Fn::CloseHandle);
    EXPECT_EQ(i_MFB_CloseBoard(h), -1);
    EXPECT_EQ(i_MFB_CloseBoard(h), -2);
}

// An open board stays closable when a later enumeration no longer counts its index: after a
// failed enumeration (no boards counted) or after a board with a lower index went away.
TEST_F(OpenClose, CloseFindsAnOpenHandleTheCountNoLongerIncludes) {
    const std::function<void()> recounts[] = {
        [] {
            mfb::vbus::fail(Fn::SetupDiGetClassDevsA);
            std::uint8_t n = 0;
            ASSERT_EQ(i_MFB_GetNumberOfBoards(&n), -1);
        },
        [] {
            mfb::vbus::detach(0);
            std::uint8_t n = 0;
            ASSERT_EQ(i_MFB_GetNumberOfBoards(&n), 0);
            ASSERT_EQ(n, 1);
        },
    };
    for (const auto& recount : recounts) {
        mfb::vbus::reset_process();
        attach_recorder();
        attach_recorder();
        MFB_BoardHandle h = 0;
        ASSERT_EQ(i_MFB_OpenBoardViaIndex(1, &h), 0);
        recount();
        EXPECT_EQ(i_MFB_CloseBoard(h), 0);
        EXPECT_EQ(mfb::vbus::open_handles(), 0u);
        EXPECT_EQ(i_MFB_CloseBoard(h), -2);
    }
}

TEST_F(OpenClose, ProcessAttachEmptiesTheTableAndNothingElseDoes) {
    attach_recorder();
    MFB_BoardHandle h = 0;
    ASSERT_EQ(i_MFB_OpenBoardViaIndex(0, &h), 0);
    EXPECT_EQ(DllMain(nullptr, DLL_THREAD_ATTACH, nullptr), TRUE);
    EXPECT_EQ(DllMain(nullptr, DLL_THREAD_DETACH, nullptr), TRUE);
    EXPECT_EQ(DllMain(nullptr, DLL_PROCESS_DETACH, nullptr), TRUE);
    EXPECT_EQ(mfb::vbus::open_handles(), 1u) << "nothing is closed at detach";
    EXPECT_EQ(DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr), TRUE);
    EXPECT_EQ(i_MFB_CloseBoard(h), -2);
}

// ---- board information --------------------------------------------------------------------------

class Information : public BusTest {
  protected:
    char text[64];
    std::uint32_t w1 = 1, w2 = 2, w3 = 3, w4 = 4, w5 = 5;
    std::uint8_t byte = 6;

    void SetUp() override {
        BusTest::SetUp();
        std::memset(text, '#', sizeof text);
    }
    std::int16_t read(std::uint8_t index, std::uint32_t size) {
        return i_MFB_GetBoardInformation(index, text, size, &w1, &w3, &w2, &w4, &w5, &byte);
    }
    bool untouched() const {
        return w1 == 1 && w2 == 2 && w3 == 3 && w4 == 4 && w5 == 5 && byte == 6;
    }
};

TEST_F(Information, ReadsTheRecordIntoItsArguments) {
    auto d = attach_recorder();
    EXPECT_EQ(read(0, 50), -1) << "no enumeration yet";
    EXPECT_TRUE(untouched());
    d->script(information_answer("MFB-7", 0x11111111, 0x22222222, 0x33333333, 0x44444444,
                                 0x55555555, 0x66));
    std::uint8_t n = 0;
    ASSERT_EQ(i_MFB_GetNumberOfBoards(&n), 0);
    EXPECT_EQ(read(1, 50), -2) << "index not below the count";
    ASSERT_EQ(read(0, 50), 0);
    EXPECT_STREQ(text, "MFB-7");
    EXPECT_EQ(w1, 0x11111111u);
    EXPECT_EQ(w2, 0x22222222u);
    EXPECT_EQ(w3, 0x33333333u);
    EXPECT_EQ(w4, 0x44444444u);
    EXPECT_EQ(w5, 0x55555555u);
    EXPECT_EQ(byte, 0x66);

    auto r = d->last();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->code, kBoardInformation);
    EXPECT_TRUE(r->in_null);
    EXPECT_EQ(r->in_size, 0u);
    EXPECT_FALSE(r->out_null);
    EXPECT_EQ(r->out_size, 84u);
    EXPECT_EQ(mfb::vbus::open_handles(), 0u) << "the temporary device handle is closed";
    EXPECT_EQ(mfb::vbus::heap_blocks(), 0u);
}

struct FitCase {
    std::size_t length;
    std::uint32_t size;
    bool fits;
};

// The text and its terminating zero must fit; otherwise the call fails with -9, leaves an empty
// text (when there is room for one) and writes nothing past the buffer or to the other outs.
TEST_F(Information, IdentifierThatDoesNotFit) {
    const FitCase cases[] = {
        {49, 50, true}, {50, 50, false}, {51, 50, false}, {0, 1, true},
        {1, 1, false},  {5, 0, false},   {51, 52, true},  {51, 51, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "length " << c.length << " size " << c.size);
        mfb::vbus::reset_process();
        std::memset(text, '#', sizeof text);
        w1 = 1;
        auto d = attach_recorder();
        d->script(information_answer(std::string(c.length, 'A'), 0xAB));
        std::uint8_t n;
        ASSERT_EQ(i_MFB_GetNumberOfBoards(&n), 0);
        if (c.fits) {
            EXPECT_EQ(read(0, c.size), 0);
            EXPECT_EQ(std::strlen(text), c.length);
            EXPECT_EQ(w1, 0xABu);
        } else {
            EXPECT_EQ(read(0, c.size), -9);
            EXPECT_EQ(text[0], c.size ? '\0' : '#');
            EXPECT_EQ(w1, 1u);
        }
        for (std::size_t i = std::max<std::size_t>(c.size, 1); i < sizeof text; ++i)
            ASSERT_EQ(text[i], '#') << "written past the buffer at " << i;
        EXPECT_EQ(mfb::vbus::open_handles(), 0u);
    }
}

TEST_F(Information, UnterminatedIdentifierStaysBounded) {
    auto d = attach_recorder();
    RecordingDriver::Answer a = information_answer("");
    std::fill(a.bytes.begin() + 32, a.bytes.end(), 'Z'); // 52 characters, no terminator
    d->script(a);
    std::uint8_t n;
    ASSERT_EQ(i_MFB_GetNumberOfBoards(&n), 0);
    EXPECT_EQ(read(0, 64), 0);
    EXPECT_EQ(std::strlen(text), 52u);
}

TEST_F(Information, EveryFailureReleasesWhatItHeld) {
    const OpenFault cases[] = {
        {Fn::SetupDiGetClassDevsA, 1, -3},
        {Fn::SetupDiEnumDeviceInterfaces, 1, -4},
        {Fn::HeapAlloc, 1, -5},
        {Fn::SetupDiGetDeviceInterfaceDetailA, 1, -6},
        {Fn::SetupDiGetDeviceInterfaceDetailA, 2, -6},
        {Fn::CreateFileA, 1, -7},
        {Fn::DeviceIoControl, 1, -8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << mfb::vbus::name(c.fn) << " #" << c.nth);
        mfb::vbus::reset_process();
        attach_recorder();
        std::uint8_t n;
        ASSERT_EQ(i_MFB_GetNumberOfBoards(&n), 0);
        mfb::vbus::fail(c.fn, c.nth);
        EXPECT_EQ(read(0, 50), c.code);
        EXPECT_TRUE(untouched());
        EXPECT_EQ(text[0], '#');
        EXPECT_EQ(mfb::vbus::open_handles(), 0u);
        EXPECT_EQ(mfb::vbus::heap_blocks(), 0u);
    }
}

// ---- open by identifier
// ---------------------------------------------------------------------------

class ByIdentifier : public BusTest {
  protected:
    std::vector<std::shared_ptr<RecordingDriver>> attach(std::vector<std::string> ids) {
        std::vector<std::shared_ptr<RecordingDriver>> ds;
        for (auto& id : ids) {
            auto d = attach_recorder();
            d->set_default(information_answer(id)); // every read, however often
            ds.push_back(d);
        }
        return ds;
    }
};

TEST_F(ByIdentifier, OpensTheFirstMatchInIndexOrder) {
    auto ds = attach({"alpha", "beta", "beta"});
    MFB_BoardHandle h = 0;
    ASSERT_EQ(i_MFB_OpenBoardViaIdentifier("beta", &h), 0);
    // Board 1 was opened (it got the handle notice); board 2 was never read.
    ASSERT_FALSE(ds[1]->records().empty());
    EXPECT_EQ(ds[1]->last()->code, kHandleNotice);
    EXPECT_TRUE(ds[2]->records().empty());
    EXPECT_EQ(mfb::vbus::open_handles(), 1u);
}

TEST_F(ByIdentifier, ComparesCaseSensitivelyAndWholly) {
    attach({"Alpha"});
    MFB_BoardHandle h = kUntouched;
    for (const char* text : {"alpha", "", "Alph", "Alpha "})
        EXPECT_EQ(i_MFB_OpenBoardViaIdentifier(text, &h), -4) << '"' << text << '"';
    EXPECT_EQ(h, kUntouched);
    attach({""});
    EXPECT_EQ(i_MFB_OpenBoardViaIdentifier("", &h), 0) << "an empty identifier matches";
}

TEST_F(ByIdentifier, LongIdentifierNeverMatchesItsCutText) {
    const std::string long_id(50, 'L');
    attach({long_id, "short"});
    MFB_BoardHandle h = kUntouched;
    EXPECT_EQ(i_MFB_OpenBoardViaIdentifier(long_id.substr(0, 49).c_str(), &h), -4);
    EXPECT_EQ(i_MFB_OpenBoardViaIdentifier(long_id.c_str(), &h), -4);
    EXPECT_EQ(h, kUntouched);
    // A board with a long identifier does not stop the search.
    EXPECT_EQ(i_MFB_OpenBoardViaIdentifier("short", &h), 0);
}

TEST_F(ByIdentifier, FailedReadAndFailedOpen) {
    auto ds = attach({"alpha", "beta"});
    ds[0]->clear();
    ds[0]->script_for(kBoardInformation, failure());
    MFB_BoardHandle h = kUntouched;
    EXPECT_EQ(i_MFB_OpenBoardViaIdentifier("beta", &h), -2);
    EXPECT_EQ(h, kUntouched);

    // Reading both boards opens two temporary handles; the third CreateFileA is the open.
    ds[0]->script_for(kBoardInformation, information_answer("alpha"));
    mfb::vbus::fail(Fn::CreateFileA, 3);
    EXPECT_EQ(i_MFB_OpenBoardViaIdentifier("beta", &h), -3);
    EXPECT_EQ(mfb::vbus::open_handles(), 0u);
    EXPECT_EQ(mfb::vbus::heap_blocks(), 0u);
}

} // namespace
