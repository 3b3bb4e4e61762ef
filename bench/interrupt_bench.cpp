// Interrupt delivery. Latency: from the driver setting the event the library handed it to the
// routine running on the library's interrupt thread, against a raw wake, a thread of our own
// that waits on the same kind of event of the substitute and takes the time as soon as it wakes;
// one sample of each per iteration, each first every other time, wall clock. Counters: the
// medians of the samples, `library_us` and `raw_us`, `added_us` = their difference, and `ratio`
// = their quotient.
//
// Drain: 10,000 records queued at once and one signal; `records_per_s` is the median rate from
// the signal to the routine's last call (wall clock), `records_per_cpu_s` the rate by the CPU
// time of the interrupt thread from the first call to the last, which other work on the machine
// does not lengthen.
#include "measure.h"

#include "mfb.h"
#include "mfb_vbus.h"
#include "platform/win32.h"
#include "protocol/interrupt_record.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

namespace {

namespace board = mfb::protocol::board;
namespace record = mfb::protocol::interrupt_record;
constexpr std::uint32_t kBurst = 10000;

std::int64_t now_ns() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// A driver with a count of pending records: each read takes one, and a read with none pending
// answers the end of the queue. It keeps the event the library handed it.
class RecordDriver : public mfb::vbus::Driver {
  public:
    std::atomic<std::uint32_t> pending{0};
    std::atomic<std::uint32_t> event{0};

    int exchange(mfb::vbus::Exchange& x) override {
        if (x.code == board::kInterruptEvent.code && x.in_size >= board::kInterruptEvent.size) {
            event = mfb::protocol::get_le32(x.buffer);
        } else if (x.code == board::kInterruptRecord.code && x.out_size >= record::kSize) {
            std::uint32_t p = pending.load();
            while (p != 0 && !pending.compare_exchange_weak(p, p - 1)) {
            }
            std::memset(x.buffer, 0, record::kSize);
            x.buffer[record::kEndOfQueue] = p == 0 ? 1 : 0;
        }
        x.bytes_returned = x.out_size;
        return 1;
    }

    // Queues records and sets the event, as the driver does when interrupts are pending.
    void raise(std::uint32_t records) {
        pending += records;
        mfb::vbus::signal_event(event);
    }
};

// What the routine and the raw waiter leave for the measuring thread.
struct Wakes {
    std::atomic<std::uint64_t> count{0};
    std::atomic<std::int64_t> last_ns{0};
    // The drain: the interrupt thread's CPU time at call `first` and at call `last` (counted
    // from 1 since the burst began).
    std::atomic<std::uint64_t> first{0}, last{0};
    std::atomic<double> first_cpu{0}, last_cpu{0};

    // Called by the one thread that wakes for this count.
    void woke() {
        const std::uint64_t n = count.load(std::memory_order_relaxed) + 1;
        if (n == first.load(std::memory_order_relaxed))
            first_cpu = mfbbench::thread_cpu_seconds();
        if (n == last.load(std::memory_order_relaxed))
            last_cpu = mfbbench::thread_cpu_seconds();
        last_ns.store(now_ns(), std::memory_order_relaxed);
        count.store(n, std::memory_order_release);
    }
    // Waits until the count has passed `before` by n; gives the time of the last wake.
    std::int64_t await(std::uint64_t before, std::uint64_t n = 1) const {
        while (count.load(std::memory_order_acquire) < before + n)
            std::this_thread::yield();
        return last_ns.load(std::memory_order_relaxed);
    }
};
Wakes g_routine;

void MFB_CALL routine(std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                      std::uint32_t*) {
    g_routine.woke();
}

// A thread that waits on an event as the interrupt thread does (stop event first) and takes the
// time when it wakes.
struct RawWaiter {
    HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    Wakes wakes;
    HANDLE thread = CreateThread(nullptr, 0, run, this, 0, nullptr);

    static DWORD WINAPI run(LPVOID self) {
        auto* w = static_cast<RawWaiter*>(self);
        HANDLE events[2] = {w->stop, w->event};
        while (WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0 + 1 &&
               ResetEvent(w->event))
            w->wakes.woke();
        return 0;
    }
    ~RawWaiter() {
        SetEvent(stop);
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
        CloseHandle(event);
        CloseHandle(stop);
    }
};

struct Board {
    std::shared_ptr<RecordDriver> driver = std::make_shared<RecordDriver>();
    MFB_BoardHandle handle = 0;
    bool ready = false;

    Board() {
        mfb::vbus::reset_process();
        mfb::vbus::attach(driver);
        ready = i_MFB_OpenBoardViaIndex(0, &handle) == 0 &&
                i_MFB_SetBoardIntRoutine(handle, routine) == 0 && driver->event != 0;
    }
    ~Board() {
        i_MFB_ResetBoardIntRoutine(handle);
        mfb::vbus::reset_process();
    }
};

void BM_InterruptDelivery(benchmark::State& state) {
    Board board;
    if (!board.ready) {
        state.SkipWithError("the routine could not be installed");
        return;
    }
    RawWaiter raw;
    const std::uint32_t raw_event = mfb::platform::handle_value(raw.event);
    std::vector<double> library_us, raw_us;
    std::uint64_t n = 0;
    for (auto _ : state) {
        double library = 0, direct = 0;
        const auto run_library = [&] {
            const std::uint64_t before = g_routine.count.load();
            const std::int64_t t0 = now_ns();
            board.driver->raise(1);
            library = static_cast<double>(g_routine.await(before) - t0) / 1000;
        };
        const auto run_raw = [&] {
            const std::uint64_t before = raw.wakes.count.load();
            const std::int64_t t0 = now_ns();
            mfb::vbus::signal_event(raw_event);
            direct = static_cast<double>(raw.wakes.await(before) - t0) / 1000;
        };
        mfbbench::in_turn(n++, run_library, run_raw);
        state.SetIterationTime(library / 1e6);
        library_us.push_back(library);
        raw_us.push_back(direct);
    }
    const double library = mfbbench::median(library_us), direct = mfbbench::median(raw_us);
    state.counters["library_us"] = library;
    state.counters["raw_us"] = direct;
    state.counters["added_us"] = library - direct;
    state.counters["ratio"] = library / direct;
}
BENCHMARK(BM_InterruptDelivery)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(1000);

void BM_InterruptDrain(benchmark::State& state) {
    Board board;
    if (!board.ready) {
        state.SkipWithError("the routine could not be installed");
        return;
    }
    std::vector<double> wall_rates, cpu_rates;
    for (auto _ : state) {
        const std::uint64_t before = g_routine.count.load();
        g_routine.first = before + 1;
        g_routine.last = before + kBurst;
        const std::int64_t t0 = now_ns();
        board.driver->raise(kBurst);
        const double seconds = static_cast<double>(g_routine.await(before, kBurst) - t0) * 1e-9;
        state.SetIterationTime(seconds);
        wall_rates.push_back(kBurst / seconds);
        cpu_rates.push_back((kBurst - 1) / (g_routine.last_cpu - g_routine.first_cpu));
    }
    state.counters["records_per_s"] = mfbbench::median(wall_rates);
    state.counters["records_per_cpu_s"] = mfbbench::median(cpu_rates);
}
BENCHMARK(BM_InterruptDrain)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace
