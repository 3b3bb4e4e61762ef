// The cost of one family call end to end on a simulated board: lookup, checks, one exchange
// through the substitute and the simulated module, answer copied out. And the latency of one
// interrupt from the driver's signal to the application routine.
#include "mfb.h"
#include "mfb_vbus.h"
#include "sim/sim_board.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <thread>

namespace {

MFB_BoardHandle open_simulated_board() {
    mfb::vbus::reset_process();
    mfb::sim::attach_boards(1);
    MFB_BoardHandle h = 0;
    i_MFB_OpenBoardViaIndex(0, &h);
    return h;
}

void BM_ReadTimerValue(benchmark::State& state) {
    const MFB_BoardHandle h = open_simulated_board();
    std::uint32_t value = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(i_MFB_ReadTimerValue(h, 1, 0, &value));
    mfb::vbus::reset_process();
}
BENCHMARK(BM_ReadTimerValue);

void BM_Read32BitCounterValue(benchmark::State& state) {
    const MFB_BoardHandle h = open_simulated_board();
    std::uint32_t value = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(i_MFB_Read32BitCounterValue(h, 0, &value));
    mfb::vbus::reset_process();
}
BENCHMARK(BM_Read32BitCounterValue);

std::atomic<std::uint32_t> g_delivered{0};

void MFB_CALL count_interrupt(std::uint32_t, std::uint32_t, std::uint32_t word1, std::uint32_t,
                              std::uint32_t, std::uint32_t*) {
    g_delivered.store(word1, std::memory_order_release);
}

// From the driver queueing a record and setting the event to the routine running on the
// library's interrupt thread.
void BM_InterruptToRoutine(benchmark::State& state) {
    const MFB_BoardHandle h = open_simulated_board();
    auto board = std::dynamic_pointer_cast<mfb::sim::SimBoard>(mfb::vbus::board(0));
    i_MFB_SetBoardIntRoutine(h, count_interrupt);
    std::uint32_t n = 0;
    for (auto _ : state) {
        mfb::sim::InterruptRecord r;
        r.word1 = ++n;
        board->raise_interrupt(r);
        while (g_delivered.load(std::memory_order_acquire) != n)
            std::this_thread::yield();
    }
    i_MFB_ResetBoardIntRoutine(h);
    mfb::vbus::reset_process();
}
BENCHMARK(BM_InterruptToRoutine)->UseRealTime();

} // namespace
