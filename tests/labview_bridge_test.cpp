// The LabVIEW event bridge with real interrupt threads, posting to the LabVIEW runtime stand-in:
// the event data a LabVIEW program receives, the refnum it goes to, and how the runtime is found.
#include "bus_fixture.h"

#include "board/board_table.h"
#include "sim/labview_runtime.h"
#include "sim/sim_board.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>

using namespace mfbtest;
using mfb::vbus::Fn;
namespace lv = mfb::sim::labview;

namespace {

constexpr std::uint32_t kInterruptEvent = 0x90002004;
constexpr std::uint32_t kInterruptRecord = 0x90002008;
constexpr auto kPatience = std::chrono::seconds(10);
const std::string kNoRuntime = "LABVIEW.LIB was not called from a LabVIEW process.";
const std::string kNoEntry = "LABVIEW.LIB could not locate \"PostLVUserEvent\".";

// A simulated board whose interrupt queue the test fills.
class Board : public mfb::sim::SimBoard {
  public:
    Board() : SimBoard({"lv", {}, 4}, {mfb::sim::Function::Counter}) {}
    // Runs inside the install exchange, once the board has the event and has signalled it for
    // the records already queued: the install returns only after it.
    std::function<void()> on_install;
    std::atomic<unsigned> reads{0}; // record reads answered

    int exchange(mfb::vbus::Exchange& x) override {
        const int result = SimBoard::exchange(x);
        if (x.code == kInterruptEvent && on_install)
            on_install();
        if (x.code == kInterruptRecord)
            ++reads;
        return result;
    }
    void push(std::uint32_t word1, std::uint32_t count = 3) {
        mfb::sim::InterruptRecord r;
        r.word1 = word1;
        r.word2 = ~word1;
        r.value_count = count;
        r.record_byte = 0x81; // widened without sign
        for (std::uint32_t i = 0; i < 16; ++i)
            r.values[i] = word1 * 100 + i;
        raise_interrupt(r);
    }
};

// Ends the interrupt threads before the test's locals that a listener uses go out of scope, also
// when an assertion failed.
struct EndThreadsFirst {
    ~EndThreadsFirst() {
        mfb::vbus::reset_process();
        lv::on_event(nullptr);
    }
};

template <class P> bool eventually(P predicate) {
    const auto until = std::chrono::steady_clock::now() + kPatience;
    while (!predicate()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

class LabViewBridge : public BusTest {
  protected:
    std::vector<std::shared_ptr<Board>> boards;
    std::vector<MFB_BoardHandle> handles;
    std::mutex mutex;
    std::vector<unsigned> exits; // codes given to ExitProcess

    void SetUp() override { start(1); }
    void TearDown() override {
        mfb::vbus::reset_process(); // ends the interrupt threads before the stand-in forgets
        lv::reset();
    }

    // The process from its start, with `count` boards open; ExitProcess ends only its thread.
    void start(std::size_t count) {
        TearDown();
        boards.clear();
        handles.assign(count, 0);
        exits.clear();
        mfb::vbus::set_exit_hook([this](unsigned code) {
            std::lock_guard lock(mutex);
            exits.push_back(code);
            throw mfb::vbus::ProcessExit{code};
        });
        for (std::size_t i = 0; i < count; ++i) {
            boards.push_back(std::make_shared<Board>());
            mfb::vbus::attach(boards.back());
        }
        for (std::size_t i = 0; i < count; ++i)
            ASSERT_EQ(i_MFB_OpenBoardViaIndex(static_cast<std::uint8_t>(i), &handles[i]), 0);
    }
    std::int16_t set_refnum(std::uint32_t refnum, std::size_t board = 0) {
        return i_MFB_SetLabViewInterrupt(handles[board], &refnum);
    }
    std::vector<unsigned> exit_codes() {
        std::lock_guard lock(mutex);
        return exits;
    }
    static std::uint32_t stored_refnum(MFB_BoardHandle h) {
        return mfb::find_slot(h)->labview_event.load();
    }
};

TEST_F(LabViewBridge, PostsEachRecordAsTheClusterOfThisBuild) {
    lv::install(lv::kLvrt);
    ASSERT_EQ(set_refnum(0x1234), 0);
    const std::uint32_t counts[] = {3, 20, 0, 16};
    for (std::uint32_t i = 0; i < std::size(counts); ++i)
        boards[0]->push(i + 1, counts[i]);
    ASSERT_TRUE(lv::wait_events(std::size(counts), kPatience));
    const auto events = lv::events();
    for (std::uint32_t i = 0; i < std::size(counts); ++i) {
        SCOPED_TRACE(testing::Message() << "value count " << counts[i]);
        const lv::Event& e = events[i];
        EXPECT_EQ(e.module, lv::kLvrt);
        EXPECT_EQ(e.refnum, 0x1234u);
        EXPECT_EQ(e.record_byte, 0x81u);
        EXPECT_EQ(e.word1, i + 1);
        EXPECT_EQ(e.word2, ~(i + 1));
        const std::uint32_t posted = std::min(counts[i], 16u);
        EXPECT_EQ(e.count, static_cast<std::int32_t>(posted));
        ASSERT_EQ(e.values.size(), posted);
        for (std::uint32_t v = 0; v < posted; ++v)
            EXPECT_EQ(e.values[v], (i + 1) * 100 + v);
    }
    EXPECT_EQ(lv::describe(events[0]), "refnum 0x00001234  record byte 0x81  word 1 0x00000001  "
                                       "word 2 0xfffffffe  values[3] 100 101 102");
}

// The refnum in the slot after each call: stored whatever the install returns, but never for a
// handle not in the table; a reset leaves it.
TEST_F(LabViewBridge, RefnumIsStoredUnlessTheHandleIsNotInTheTable) {
    struct Step {
        const char* what;
        std::function<std::int16_t()> call;
        std::int16_t status;
        std::uint32_t stored;
    };
    const MFB_BoardHandle board = handles[0], stranger = handles[0] + 4;
    std::uint32_t seven = 7;
    const Step steps[] = {
        {"unknown handle", [&] { return i_MFB_SetLabViewInterrupt(stranger, &seven); }, -1, 0},
        {"install", [&] { return set_refnum(5); }, 0, 5},
        {"already installed", [&] { return set_refnum(6); }, -2, 6},
        {"unknown handle, installed", [&] { return i_MFB_SetLabViewInterrupt(0, &seven); }, -1, 6},
        {"reset of an unknown handle", [&] { return i_MFB_ResetLabViewInterrupt(stranger); }, -1,
         6},
        {"reset", [&] { return i_MFB_ResetLabViewInterrupt(board); }, 0, 6},
        {"reset again", [&] { return i_MFB_ResetLabViewInterrupt(board); }, -2, 6},
        {"failed install",
         [&] {
             mfb::vbus::fail(Fn::CreateEventA);
             return set_refnum(8);
         },
         -3, 8},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        EXPECT_EQ(s.call(), s.status);
        EXPECT_EQ(stored_refnum(board), s.stored);
    }
    for (const mfb::BoardSlot& slot : mfb::boards().slots) {
        if (&slot != mfb::find_slot(board)) {
            EXPECT_EQ(slot.labview_event.load(), 0u);
        }
    }
}

// Where the runtime is found: a module given to SetLVRTModule, else the main executable if it
// carries a LabVIEW mark, else lvrt.dll, else lvffrt.dll; the modules asked for by name show the
// order. A module found without the entry, or none at all, ends the process with a message box.
TEST_F(LabViewBridge, RuntimeIsFoundInItsOrder) {
    struct Case {
        const char* what;
        bool runtimes; // lvrt.dll and lvffrt.dll are loaded as well
        std::function<void()> modules;
        std::string bound;        // the module whose entry is called; empty: the process ends
        std::string box;          // the message box then shown
        unsigned modules_by_name; // GetModuleHandleA calls
    };
    const Case cases[] = {
        {"given module", true, [] { SetLVRTModule(lv::install("custom.dll")); }, "custom.dll", "",
         0},
        {"given null", true, [] { SetLVRTModule(nullptr); }, lv::kLvrt, "", 2},
        {"main executable with gLVRTVersion", true, [] { lv::install("", {lv::kVersionMark}); }, "",
         "", 1},
        {"main executable with AZNewHandle", true, [] { lv::install("", {lv::kHandleMark}); }, "",
         "", 1},
        {"main executable without a mark", true, [] { lv::install(""); }, lv::kLvrt, "", 2},
        {"given module without the entry", true,
         [] { SetLVRTModule(mfb::vbus::add_module("other.dll", {})); }, "", kNoEntry, 0},
        {"marked main executable without the entry", true,
         [] {
             mfb::vbus::add_module("", {{lv::kVersionMark, lv::mark()}});
         },
         "", kNoEntry, 1},
        {"lvffrt.dll alone", false, [] { lv::install(lv::kLvffrt); }, lv::kLvffrt, "", 3},
        {"no runtime", false, [] {}, "", kNoRuntime, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        start(1);
        if (c.runtimes) {
            lv::install(lv::kLvffrt);
            lv::install(lv::kLvrt);
        }
        c.modules();
        ASSERT_EQ(set_refnum(1), 0);
        boards[0]->push(1);
        if (c.box.empty()) {
            ASSERT_TRUE(lv::wait_events(1, kPatience));
            EXPECT_EQ(lv::events()[0].module, c.bound);
            EXPECT_TRUE(mfb::vbus::message_boxes().empty());
        } else {
            ASSERT_TRUE(eventually([&] { return !exit_codes().empty(); }));
            EXPECT_EQ(exit_codes(), std::vector<unsigned>{1});
            const auto boxes = mfb::vbus::message_boxes();
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_EQ(boxes[0].text, c.box);
            EXPECT_EQ(boxes[0].caption, "Fatal Error");
            EXPECT_EQ(boxes[0].type, 0x2010u);
            EXPECT_TRUE(lv::events().empty());
        }
        EXPECT_EQ(mfb::vbus::calls(Fn::GetModuleHandleA), c.modules_by_name);
    }
}

// Bound at the first post and kept: later records, a new install and a module given afterwards
// change nothing.
TEST_F(LabViewBridge, EntryIsBoundOnceAndKept) {
    lv::install(lv::kLvrt);
    ASSERT_EQ(set_refnum(1), 0);
    boards[0]->push(1);
    ASSERT_TRUE(lv::wait_events(1, kPatience));
    const unsigned by_name = mfb::vbus::calls(Fn::GetModuleHandleA);
    const unsigned entries = mfb::vbus::calls(Fn::GetProcAddress);
    for (std::uint32_t i = 2; i <= 40; ++i)
        boards[0]->push(i);
    ASSERT_TRUE(lv::wait_events(40, kPatience));
    SetLVRTModule(lv::install("custom.dll"));
    ASSERT_EQ(i_MFB_ResetLabViewInterrupt(handles[0]), 0);
    ASSERT_EQ(set_refnum(2), 0);
    boards[0]->push(41);
    ASSERT_TRUE(lv::wait_events(41, kPatience));
    EXPECT_EQ(lv::events().back().module, lv::kLvrt);
    EXPECT_EQ(lv::events().back().refnum, 2u);
    EXPECT_EQ(mfb::vbus::calls(Fn::GetModuleHandleA), by_name);
    EXPECT_EQ(mfb::vbus::calls(Fn::GetProcAddress), entries);
}

// Records pending at the install are posted while the install runs: to the refnum it stores, not
// to the one stored before it (none at process start).
TEST_F(LabViewBridge, RecordsPendingAtTheInstallGoToTheNewRefnum) {
    lv::install(lv::kLvrt);
    for (bool installed_before : {false, true}) {
        SCOPED_TRACE(installed_before ? "after an earlier install" : "first install");
        const std::size_t before = lv::events().size();
        if (installed_before) {
            ASSERT_EQ(set_refnum(0x111), -2);
            ASSERT_EQ(i_MFB_ResetLabViewInterrupt(handles[0]), 0);
        }
        boards[0]->push(1);
        // The install waits inside its exchange until the pending record has been posted.
        boards[0]->on_install = [&] { lv::wait_events(before + 1, kPatience); };
        EXPECT_EQ(set_refnum(0x222), 0);
        boards[0]->on_install = nullptr;
        ASSERT_EQ(lv::events().size(), before + 1) << "posted during the install";
        EXPECT_EQ(lv::events().back().refnum, 0x222u);
    }
}

// While records flow, the refnum changes from 1 to 100: each post goes to a refnum already stored,
// never to an earlier one than the post before, and never to the 0 of process start.
TEST_F(LabViewBridge, RefnumChangeWhileInterruptsFlow) {
    lv::install(lv::kLvrt);
    std::atomic<std::uint32_t> latest{0};
    std::atomic<unsigned> wrong{0};
    std::uint32_t previous = 0; // only the interrupt thread touches it
    lv::on_event([&](const lv::Event& e) {
        if (e.refnum == 0 || e.refnum > latest.load() || e.refnum < previous)
            ++wrong;
        previous = e.refnum;
    });
    EndThreadsFirst end_threads_first;
    std::atomic<bool> flowing{true};
    std::thread pusher([&] {
        for (std::uint32_t i = 0; flowing.load() && i < 20000; ++i) {
            boards[0]->push(i);
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
    });
    for (std::uint32_t refnum = 1; refnum <= 100; ++refnum) {
        latest.store(refnum);
        EXPECT_EQ(set_refnum(refnum), refnum == 1 ? 0 : -2);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    flowing.store(false);
    pusher.join();
    const std::size_t posted = lv::events().size();
    boards[0]->push(0);
    ASSERT_TRUE(lv::wait_events(posted + 1, kPatience));
    EXPECT_EQ(lv::events().back().refnum, 100u);
    EXPECT_EQ(wrong.load(), 0u);
}

// A board that the last count of boards leaves out is not in the table: its routine posts
// nothing, and so binds nothing (here there is no runtime at all).
TEST_F(LabViewBridge, BoardNoLongerCountedPostsNothing) {
    start(2);
    ASSERT_EQ(set_refnum(1, 1), 0);
    mfb::vbus::detach(0);
    std::uint8_t count = 0;
    ASSERT_EQ(i_MFB_GetNumberOfBoards(&count), 0);
    ASSERT_EQ(count, 1);
    boards[1]->push(1);
    // The record, then the end of the queue after the routine has returned.
    ASSERT_TRUE(eventually([&] { return boards[1]->reads == 2; }));
    EXPECT_TRUE(lv::events().empty());
    EXPECT_TRUE(mfb::vbus::message_boxes().empty());
    EXPECT_EQ(mfb::vbus::calls(Fn::GetModuleHandleA), 0u);
}

// Two boards' threads bind at the same moment, with and without a runtime: each board's record
// reaches its refnum, or each thread ends the process with a message box. Free of data races
// under ThreadSanitizer.
TEST_F(LabViewBridge, TwoBoardsBindAtOnce) {
    for (int round = 0; round < 20; ++round) {
        const bool runtime = round % 2 == 0;
        SCOPED_TRACE(testing::Message() << "round " << round);
        start(2);
        if (runtime)
            lv::install(lv::kLvrt);
        ASSERT_EQ(set_refnum(10, 0), 0);
        ASSERT_EQ(set_refnum(11, 1), 0);
        std::thread other([&] { boards[1]->push(2); });
        boards[0]->push(1);
        other.join();
        if (runtime) {
            ASSERT_TRUE(lv::wait_events(2, kPatience));
            for (const lv::Event& e : lv::events())
                EXPECT_EQ(e.refnum, 9 + e.word1);
        } else {
            ASSERT_TRUE(eventually([&] { return exit_codes().size() == 2; }));
            EXPECT_EQ(mfb::vbus::message_boxes().size(), 2u);
        }
    }
}

} // namespace
