// The library entry. On process attach the board table starts empty; nothing else happens at any
// time, and nothing is closed at process detach: open handles, interrupt threads and the process
// priority are the application's to end.
#include "board/board_table.h"
#include "platform/win32.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD fdwReason, LPVOID) {
    if (fdwReason == DLL_PROCESS_ATTACH)
        mfb::clear_board_table();
    return TRUE;
}
