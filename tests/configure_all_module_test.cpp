// A firmware update on the simulated board: every stopping point with its status, the exchanges
// sent up to it (and none after), the error position, the progress printed and the time slept;
// and one whole update whose flash is compared with the payloads.
#include "firmware_fixture.h"

#include <functional>
#include <optional>

#include <pthread.h>

using namespace mfbtest;
using mfb::sim::Flash;

namespace {

struct Stop {
    const char* what;
    std::function<void(Flash&)> arrange;
    std::int16_t status;
    Runs runs;                             // the exchanges sent
    std::size_t lines;                     // progress lines printed
    std::optional<std::uint32_t> position; // none: not written
    std::uint64_t slept_ms;
    std::size_t writes_at_12 = 1; // write requests for flash address 12
};

std::function<void(Flash&)> failing(Flash::Request r) {
    return [r](Flash& f) { f.fail(r); };
}
std::function<void(Flash&)> failing_writes_at_12(unsigned n) {
    return [n](Flash& f) { f.fail_writes(n, 12); };
}
std::function<void(Flash&)> stuck(std::uint32_t address, unsigned bit, bool level) {
    return [=](Flash& f) { f.set_stuck_bit(address, bit, level); };
}

// Module lengths 10, 20, 0 and 5: 35 bytes, module 3's first at address 30.
TEST_F(FirmwareTest, EachStoppingPoint) {
    const auto paths = files({10, 20, 0, 5});
    const Runs all = {{kErase, 1},  {kWrite, 35}, {kRead, 35},
                      {kReload, 1}, {kCheck, 1},  {kClosing, 1}};
    const auto upto = [&](std::size_t n) { return Runs(all.begin(), all.begin() + n); };
    const auto fail_read_7 = [](Flash&) {
        mfb::vbus::fail(mfb::vbus::Fn::DeviceIoControl, 1 + 35 + 8); // erase, writes, reads 0-6
    };
    const Runs retried = {{kErase, 1},  {kWrite, 35 + 4}, {kRead, 35},
                          {kReload, 1}, {kCheck, 1},      {kClosing, 1}};
    const Runs gave_up = {{kErase, 1}, {kWrite, 12 + 5}};
    const Runs read_failed = {{kErase, 1}, {kWrite, 35}, {kRead, 7}};
    const Stop stops[] = {
        {"a whole update", {}, 0, all, 10, 0, 300},
        {"erase fails", failing(Flash::Request::Erase), -4, upto(1), 4, std::nullopt, 0, 0},
        {"four failed writes, the fifth programs", failing_writes_at_12(4), 0, retried, 10, 0, 300,
         5},
        {"five failed writes", failing_writes_at_12(5), -5, gave_up, 5, 12, 0, 5},
        {"read-back of address 7 fails, not tried again", fail_read_7, -6, read_failed, 6,
         std::nullopt, 0},
        {"module 3's first byte differs", stuck(30, 1, true), -7, upto(3), 7, 30, 0},
        {"the very first byte differs: position 0", stuck(0, 0, false), -7, upto(3), 7, 0, 0},
        {"reload fails", failing(Flash::Request::Reload), -8, upto(4), 8, 0, 0},
        {"reload check fails", failing(Flash::Request::Check), -9, upto(5), 9, 0, 100},
        {"closing request fails", failing(Flash::Request::Close), -10, all, 10, 0, 300},
    };
    for (const Stop& s : stops) {
        SCOPED_TRACE(s.what);
        board->flash().clear_faults();
        mfb::vbus::clear_faults();
        if (s.arrange)
            s.arrange(board->flash());
        tap->sent.clear();
        position = 0xA5A5A5A5;
        const std::uint64_t slept = mfb::vbus::slept_ms();

        EXPECT_EQ(configure(paths), s.status);
        EXPECT_EQ(tap->runs(), s.runs);
        EXPECT_EQ(out, progress_lines(s.lines));
        EXPECT_EQ(err, "");
        EXPECT_EQ(position, s.position.value_or(0xA5A5A5A5));
        EXPECT_EQ(mfb::vbus::slept_ms() - slept, s.slept_ms);
        EXPECT_EQ(std::count(tap->sent.begin(), tap->sent.end(), std::pair{kWrite, 12u}),
                  static_cast<std::ptrdiff_t>(s.writes_at_12));
        EXPECT_EQ(mfb::vbus::heap_blocks(), 0u) << "the working memory is released";
        if (s.status == 0) {
            EXPECT_EQ(board->flash().contents(0, 36), cat({all_payloads(), {0xFF}}));
        }
    }
}

TEST_F(FirmwareTest, HandleNotOpenStopsBeforeAnythingElse) {
    const auto paths = files({1, 1, 1, 1});
    const unsigned allocations = mfb::vbus::calls(mfb::vbus::Fn::HeapAlloc);
    ++h;
    EXPECT_EQ(configure(paths), -1);
    EXPECT_EQ(std::tuple(out, tap->sent.size(), position),
              std::tuple(progress_lines(1), 0u, 0xA5A5A5A5u));
    EXPECT_EQ(mfb::vbus::calls(mfb::vbus::Fn::HeapAlloc), allocations) << "no memory taken";
    EXPECT_EQ(mfb::vbus::calls(mfb::vbus::Fn::fclose), 0u) << "no file opened";
}

// Sections and trailing bytes to skip, an empty module, at the realistic write time, on a caller's
// thread with a small stack: a quarter of an ordinary 1 MiB, on which neither 400,000-byte working
// buffer would fit.
TEST_F(FirmwareTest, WholeUpdateOnASmallStack) {
    auto paths = files({5000, 4321, 0, 777});
    paths[1] = file("sections.bin", {.payload = payloads[1],
                                     .sections = {Bytes(17, 1), Bytes{}, Bytes(300, 3)},
                                     .trailer = Bytes(99, 9)});
    board->flash().set_write_time_ns(Flash::kDefaultWriteNs);
    const std::uint64_t start = mfb::vbus::now_ns();

    struct Run {
        decltype(this) test;
        const std::array<std::string, 4>* paths;
        std::int16_t status = 1;
    } run{this, &paths};
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, 256 << 10);
    pthread_t thread;
    ASSERT_EQ(pthread_create(
                  &thread, &attr,
                  [](void* p) -> void* {
                      auto* r = static_cast<Run*>(p);
                      r->status = r->test->configure(*r->paths);
                      return nullptr;
                  },
                  &run),
              0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);

    ASSERT_EQ(run.status, 0) << out;
    const Bytes all = all_payloads();
    EXPECT_EQ(board->flash().contents(0, static_cast<std::uint32_t>(all.size())), all);
    EXPECT_EQ(mfb::vbus::now_ns() - start, all.size() * Flash::kDefaultWriteNs + 300'000'000u)
        << "one write time per byte on the bus clock, and the 300 ms after the reload";
}

} // namespace
