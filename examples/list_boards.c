/* Lists the boards the library finds and opens the first one. On Linux it first attaches two
 * simulated boards through mfb_sim.h, so that it runs without the hardware. */
#include "mfb.h"
#ifndef _WIN32
#include "mfb_sim.h"
#endif

#include <stdio.h>

int main(void) {
    uint8_t count = 0;
    uint8_t i;
    MFB_BoardHandle board = 0;
#ifndef _WIN32
    if (mfb_sim_reset() != 0 || mfb_sim_attach_boards(2) != 0)
        return 1;
#endif
    if (i_MFB_GetNumberOfBoards(&count) != 0)
        return 1;
    printf("%u boards\n", (unsigned)count);
    for (i = 0; i < count; ++i) {
        char id[52];
        uint32_t serial, firmware, bus, device, irq;
        uint8_t positions;
        const int16_t s = i_MFB_GetBoardInformation(i, id, sizeof id, &serial, &bus, &firmware,
                                                    &device, &irq, &positions);
        if (s != 0) {
            printf("board %u: i_MFB_GetBoardInformation: %d\n", (unsigned)i, s);
            return 1;
        }
        printf("board %u: %s, serial 0x%08X, firmware 0x%04X\n", (unsigned)i, id, (unsigned)serial,
               (unsigned)firmware);
    }
    if (count > 0 && i_MFB_OpenBoardViaIndex(0, &board) == 0) {
        uint32_t configuration = 0;
        if (i_MFB_GetModuleConfiguration(board, 0, &configuration) == 0)
            printf("board 0 module 0: configuration word 0x%08X\n", (unsigned)configuration);
        i_MFB_CloseBoard(board);
    }
#ifndef _WIN32
    mfb_sim_reset();
#endif
    return 0;
}
