// Simulated boards behind MFB.dll in a Windows process: the calls through which the loaded library
// reaches a board are redirected here (import_patch.h), and land on boards of this process. The
// Windows test program and mfbctl.exe (--sim-boards) put them there.
//
// What the redirected calls do:
//   - the SetupAPI device calls list the attached boards as present devices of the board's
//     interface class, each with a device path of its own; the record sizes (cbSize) are checked
//     as SetupAPI checks them, and every device set must be destroyed again;
//   - CreateFileA on a board's device path opens a board file: a fresh event handle of this
//     process stands in for the device handle, so its value is one that Windows gave out and no
//     other open handle has. Other paths go to Windows;
//   - DeviceIoControl on a board file is buffered I/O as the I/O manager does it: the request is
//     copied into one system buffer of the larger of the two sizes, the board answers in place,
//     and the bytes it returns (at most the output size) are copied back. Other handles go to
//     Windows;
//   - CloseHandle on a board file closes it; every other handle goes to Windows, and is counted.
// Events, threads, priorities, waits, Sleep, the heap and all the rest stay the real Windows.
//
// The boards are drivers of mfb_vbus.h (the simulated board of sim/, or one that wraps it), with
// the few bus functions that the simulated board calls defined here: attach and board_count
// attach to these boards, now_ns is the steady clock, and reference_event duplicates the handle of
// the real event that the library gave the board, which the board then sets.
#pragma once

#include "mfb_vbus.h"
#include "platform/win32.h"
#include "sim/windows/import_patch.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace mfb::sim::windows {

// Redirects the imports of a loaded MFB.dll to the boards here. Returns the imports it found no
// entry for, as "dll!function" (empty when every one was redirected).
std::vector<std::string> put_boards_behind(HMODULE library);
// The library's imports that lead here.
std::vector<Redirect> replacements();

// Boards in enumeration order: attach adds one at the end and returns its index (as
// mfb::vbus::attach does); detach_all removes them all, while board files still open keep their
// boards until they are closed.
std::size_t attach(std::shared_ptr<vbus::Driver> board);
void detach_all();
std::shared_ptr<vbus::Driver> board(std::size_t index);
std::string device_path(std::size_t index);

// The board behind a handle value that the library gave out; null when the value is no open
// board file.
std::shared_ptr<vbus::Driver> board_of(std::uint32_t handle);
// Handle values of the board files and the number of device sets the library holds open.
std::vector<std::uint32_t> open_board_files();
std::size_t open_device_sets();
// CloseHandle calls of the library on handles other than board files, passed on to Windows, and
// how many of those Windows refused.
unsigned closes_passed_on();
unsigned closes_refused();

struct CreateFileCall {
    std::string path;
    DWORD access = 0, share = 0, disposition = 0, flags = 0;
    bool security_attributes = false, template_file = false;
};
// The last CreateFileA call on a board's device path since detach_all.
std::optional<CreateFileCall> last_create_file();

} // namespace mfb::sim::windows
