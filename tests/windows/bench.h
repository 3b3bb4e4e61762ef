// The board side of the Windows test program: simulated boards behind MFB.dll, and what the
// library did with them.
//
// The calls through which the library reaches a board are redirected here (import_patch.h):
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
// The boards are the simulated board of sim/, on Windows: mfb_vbus.h's Driver and Exchange types,
// with the few bus functions the simulated board calls (end of bench.cpp): attach and board_count
// attach to this bench, now_ns is the steady clock, and reference_event duplicates the handle of
// the real event that the library gave the board, which the board then sets.
#pragma once

#include "mfb_vbus.h"
#include "platform/win32.h"
#include "sim/sim_board.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace wintest {

using Bytes = std::vector<std::uint8_t>;

// One exchange as a board saw it and answered it.
struct Exchange {
    std::uint32_t code = 0;
    Bytes request = {}; // the in_size bytes the library sent
    std::uint32_t in_size = 0, out_size = 0;
    bool in_null = true, out_null = true;
    int result = 0;
    Bytes answer = {}; // the bytes the board returned
};

// A simulated board that keeps a record of every exchange.
class RecordingBoard : public mfb::vbus::Driver {
  public:
    explicit RecordingBoard(std::shared_ptr<mfb::sim::SimBoard> sim) : sim_(std::move(sim)) {}
    int exchange(mfb::vbus::Exchange& x) override;

    mfb::sim::SimBoard& sim() { return *sim_; }
    std::vector<Exchange> exchanges() const;
    void clear();

  private:
    std::shared_ptr<mfb::sim::SimBoard> sim_;
    mutable std::mutex mutex_;
    std::vector<Exchange> exchanges_;
};

struct CreateFileCall {
    std::string path;
    DWORD access = 0, share = 0, disposition = 0, flags = 0;
    bool security_attributes = false, template_file = false;
};

namespace bench {

// Fresh default simulated boards at indexes 0 to count - 1 (sim/sim_board.h: identities and
// functions by index), in place of those before. Board files still open keep their old boards.
void reset(std::size_t count);
std::shared_ptr<RecordingBoard> board(std::size_t index);
std::string device_path(std::size_t index);

// The board behind a handle value that the library gave out; null when the value is no open
// board file.
std::shared_ptr<mfb::vbus::Driver> board_of(std::uint32_t handle);
// Handle values of the board files and the number of device sets the library holds open.
std::vector<std::uint32_t> open_board_files();
std::size_t open_device_sets();
// CloseHandle calls of the library on handles other than board files, passed on to Windows, and
// how many of those Windows refused.
unsigned closes_passed_on();
unsigned closes_refused();
std::optional<CreateFileCall> last_create_file();

// The library's imports that lead here.
struct Replacement {
    const char* dll;
    const char* function;
    void* address;
};
std::vector<Replacement> replacements();

} // namespace bench
} // namespace wintest
