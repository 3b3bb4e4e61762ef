// The LabVIEW event bridge through the loader: a stand-in runtime DLL handed to SetLVRTModule (a
// cdecl export), a board's records posted to the user event in order with the cluster laid out as
// a LabVIEW of this process's width reads it, the reset, and a second registration whose event
// gets the record that waited since.
//
// The library binds PostLVUserEvent once for the life of the process, so this is the one scenario
// that posts, and the stand-in stays loaded to the end.
#include "scenarios.h"

#include "lvrt_standin/lvrt_standin.h"

#include <algorithm>

namespace wintest {
namespace {

using lvrt::PostedEvent;

// The events that the stand-in received so far, oldest first.
std::vector<PostedEvent> posted(lvrt::PostedEventsFn read) {
    std::vector<PostedEvent> events(read(nullptr, 0));
    events.resize(std::min<std::size_t>(read(events.data(), events.size()), events.size()));
    return events;
}

// The event is record r, posted to the refnum, with at most 16 of its values.
void check_event(Scenario& s, const PostedEvent& e, const mfb::sim::InterruptRecord& r,
                 std::uint32_t refnum) {
    const std::uint32_t count = std::min(r.value_count, lvrt::kValueSlots);
    const std::string what = "event of record " + std::to_string(r.word1) + ": ";
    s.check(e.refnum == refnum, what + "refnum " + show(e.refnum), __FILE__, __LINE__);
    s.check(e.record_byte == r.record_byte && e.word1 == r.word1 && e.word2 == r.word2,
            what + "record byte and words as raised", __FILE__, __LINE__);
    s.check(std::cmp_equal(e.count, count), what + "element count " + show(e.count), __FILE__,
            __LINE__);
    s.check(std::equal(e.values, e.values + count, r.values.begin()), what + "values as raised",
            __FILE__, __LINE__);
}

} // namespace

void labview_events_in_order(Scenario& s) {
    static HMODULE runtime = LoadLibraryA(lvrt::kDll);
    REQUIRE(s, runtime != nullptr);
    const auto read = reinterpret_cast<lvrt::PostedEventsFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(runtime, lvrt::kPostedEvents)));
    REQUIRE(s, read != nullptr);
    REQUIRE(s, posted(read).empty());
    MFB(SetLVRTModule)(runtime);

    OpenBoard b(s, 1);
    const std::uint32_t first = 0x4C560001, second = 0x4C560002;
    CHECK_EQ(s, MFB(i_MFB_SetLabViewInterrupt)(0, &first), -1);
    CHECK_EQ(s, MFB(i_MFB_ResetLabViewInterrupt)(0), -1);
    REQUIRE(s, MFB(i_MFB_SetLabViewInterrupt)(b.handle(), &first) == 0);
    const Closes closes;

    // Records with 3, 0, 16 and 20 values, raised at once: four events in order, of at most 16
    // values each.
    std::vector<mfb::sim::InterruptRecord> raised;
    for (std::uint32_t count : {3u, 0u, 16u, 20u}) {
        raised.push_back(numbered_record(static_cast<std::uint32_t>(raised.size() + 1)));
        raised.back().value_count = count;
        b.sim().raise_interrupt(raised.back());
    }
    CHECK(s, wait_until([&] { return posted(read).size() >= 4; }));
    auto events = posted(read);
    CHECK_EQ(s, events.size(), 4u);
    for (std::size_t i = 0; i < events.size() && i < raised.size(); ++i)
        check_event(s, events[i], raised[i], first);

    // After the reset nothing is posted: a record raised now stays with the board.
    CHECK_EQ(s, MFB(i_MFB_ResetLabViewInterrupt)(b.handle()), 0);
    CHECK_EQ(s, closes.more(), 3u);
    CHECK_EQ(s, closes.more_refused(), 0u);
    CHECK_EQ(s, MFB(i_MFB_ResetLabViewInterrupt)(b.handle()), -2);
    raised.push_back(numbered_record(5));
    b.sim().raise_interrupt(raised.back());
    Sleep(50);
    CHECK_EQ(s, posted(read).size(), 4u);
    CHECK_EQ(s, b.sim().pending_interrupts(), 1u);

    // Registered again with another event: the waiting record goes to that one, though it may
    // reach the routine before the registration has returned.
    REQUIRE(s, MFB(i_MFB_SetLabViewInterrupt)(b.handle(), &second) == 0);
    CHECK(s, wait_until([&] { return posted(read).size() >= 5; }));
    events = posted(read);
    CHECK_EQ(s, events.size(), 5u);
    if (events.size() == 5)
        check_event(s, events[4], raised[4], second);
    CHECK_EQ(s, MFB(i_MFB_ResetLabViewInterrupt)(b.handle()), 0);
}

} // namespace wintest
