// An application's own test, without the hardware: two simulated boards and a board that records
// every exchange on the virtual bus, and a device open made to fail (README, "Testing an
// application without the hardware").
#include "mfb.h"
#include "mfb_sim.h"
#include "mfb_vbus.h"

#include <cstdio>
#include <memory>

int main() {
    mfb_sim_reset();          // the library as at process start
    mfb_sim_attach_boards(2); // two simulated boards
    auto rec = std::make_shared<mfb::vbus::RecordingDriver>();
    mfb::vbus::attach(rec); // a board that records every exchange
    uint8_t count = 0;
    i_MFB_GetNumberOfBoards(&count);
    std::printf("%u boards\n", count);           // 3
    mfb::vbus::fail(mfb::vbus::Fn::CreateFileA); // make the next device open fail
    MFB_BoardHandle board = 0;
    std::printf("open: %d\n", i_MFB_OpenBoardViaIndex(2, &board)); // -7
    std::printf("open: %d\n", i_MFB_OpenBoardViaIndex(2, &board)); // 0
    std::printf("exchanges: %zu\n", rec->records().size());        // 1: the handle notice
    i_MFB_CloseBoard(board);
    mfb_sim_reset();
}
