// The console seam (console.h) on Windows. MFB.dll and the tool share the C runtime (msvcrt.dll)
// and with it the standard output's descriptor 1, so the library's lines go wherever the tool
// points that descriptor (StdoutPipe).
#include "console.h"

#include "platform/win32.h"

#include <fcntl.h>
#include <io.h>
#include <stdexcept>

namespace mfbctl {
namespace console_windows {

// The tool prints UTF-8 ("3 µs"); a console shows it as such.
[[maybe_unused]] const bool g_utf8_console = SetConsoleOutputCP(CP_UTF8) != 0;

} // namespace console_windows

bool stdin_is_terminal() {
    return _isatty(0) != 0;
}

bool stderr_is_terminal() {
    return _isatty(2) != 0;
}

// The Windows console edits the line it reads itself, with a history (the arrow keys, F7).
std::unique_ptr<LineReader> terminal_reader() {
    return plain_reader();
}

const char* line_editing() {
    return "the Windows console";
}

// The pipe is binary, and descriptor 1 takes its mode while it points there: the library's lines
// arrive with their line ends as written, without the \r that text mode adds.
void make_pipe(int fds[2]) {
    if (_pipe(fds, 65536, _O_BINARY | _O_NOINHERIT) != 0)
        throw std::runtime_error("cannot make a pipe for the library's output");
}

// An anonymous pipe cannot be waited on: it is looked into every millisecond until something is
// there, the writers are gone (the pipe is broken: a read then finds its end) or the time is up.
bool wait_readable(int fd, int wait_ms) {
    const auto pipe = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(wait_ms < 0 ? 0 : wait_ms);
    for (;;) {
        DWORD available = 0;
        if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) || available > 0)
            return true;
        if (wait_ms >= 0 && GetTickCount64() >= end)
            return false;
        Sleep(1);
    }
}

} // namespace mfbctl
