// The library entry. On process attach the board table starts empty and the LabVIEW runtime
// unbound (as it is at load; the virtual bus calls this again for a process that starts over);
// nothing else happens at any time, and nothing is closed at process detach: open handles,
// interrupt threads and the process priority are the application's to end.
#include "board/board_table.h"
#include "interrupt/labview_bridge.h"
#include "platform/win32.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD fdwReason, LPVOID) {
    if (fdwReason == DLL_PROCESS_ATTACH) {
        mfb::clear_board_table();
        mfb::clear_labview_binding();
    }
    return TRUE;
}
