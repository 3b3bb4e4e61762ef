/* The public header is plain C: this file compiles as C99 with every warning an error. */
#include "mfb.h"

#include <stddef.h>

/* The board-access exports, taken by address so the declarations are checked in full. */
int16_t(MFB_CALL* const mfb_c_exports[])(MFB_BoardHandle) = {i_MFB_CloseBoard,
                                                              i_MFB_ResetBoardIntRoutine,
                                                              i_MFB_ClearAllCounterValue};

static void MFB_CALL on_interrupt(uint32_t handle, uint32_t byte, uint32_t word1, uint32_t word2,
                                  uint32_t count, uint32_t* values) {
    (void)handle, (void)byte, (void)word1, (void)word2, (void)count, (void)values;
}

MFB_BoardIntRoutine mfb_c_routine = on_interrupt;

/* SetLVRTModule is cdecl; the LabVIEW cluster has the layout of this build's LabVIEW (a negative
 * array size fails the compilation otherwise). */
void(MFB_CDECL* const mfb_c_set_runtime)(void*) = SetLVRTModule;
typedef char mfb_c_cluster_size[sizeof(MFB_LVInterruptData) == (sizeof(void*) == 4 ? 16 : 24)
                                    ? 1
                                    : -1];
typedef char mfb_c_handle_offset[offsetof(MFB_LVInterruptData, h_Values) ==
                                         (sizeof(void*) == 4 ? 12 : 16)
                                     ? 1
                                     : -1];
