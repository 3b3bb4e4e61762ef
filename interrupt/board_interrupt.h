// Board interrupt routine, as the rest of the library sees it.
#pragma once

#include "board/board_table.h"

namespace mfb {

// Uninstalls the slot's interrupt routine if one is installed, as i_MFB_ResetBoardIntRoutine does;
// false when none was. Only one of several callers at once does it.
bool uninstall_routine(BoardSlot& slot);

} // namespace mfb
