// Board access costs: the handle lookup that starts every export, and a counted open and close.
#include "board/board_table.h"
#include "mfb.h"
#include "mfb_vbus.h"
#include "sim/sim_board.h"

#include <benchmark/benchmark.h>

namespace {

// Lookup of the board in the last slot of a full table: the longest scan an export makes.
void BM_LookupLastOfThirtySlots(benchmark::State& state) {
    mfb::vbus::reset_process();
    mfb::sim::attach_boards(30);
    MFB_BoardHandle h = 0;
    for (std::uint8_t i = 0; i < 30; ++i)
        i_MFB_OpenBoardViaIndex(i, &h);
    for (auto _ : state)
        benchmark::DoNotOptimize(mfb::find_slot(h));
    mfb::vbus::reset_process();
}
BENCHMARK(BM_LookupLastOfThirtySlots);

// A second open of an open board and its close: an enumeration and two lookups, no device open.
void BM_CountedOpenAndClose(benchmark::State& state) {
    mfb::vbus::reset_process();
    mfb::sim::attach_boards(2);
    MFB_BoardHandle h = 0;
    i_MFB_OpenBoardViaIndex(1, &h);
    for (auto _ : state) {
        MFB_BoardHandle again = 0;
        i_MFB_OpenBoardViaIndex(1, &again);
        i_MFB_CloseBoard(again);
    }
    mfb::vbus::reset_process();
}
BENCHMARK(BM_CountedOpenAndClose);

} // namespace
