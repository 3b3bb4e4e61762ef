// The board side of the Windows test program: simulated boards behind MFB.dll
// (sim/windows/behind_dll.h), each keeping a record of what the library did with it.
#pragma once

#include "sim/sim_board.h"
#include "sim/windows/behind_dll.h"

#include <cstdint>
#include <memory>
#include <mutex>
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

namespace bench {

using mfb::sim::windows::board_of;
using mfb::sim::windows::closes_passed_on;
using mfb::sim::windows::closes_refused;
using mfb::sim::windows::device_path;
using mfb::sim::windows::last_create_file;
using mfb::sim::windows::open_board_files;
using mfb::sim::windows::open_device_sets;

// Fresh default simulated boards at indexes 0 to count - 1 (sim/sim_board.h: identities and
// functions by index), in place of those before. Board files still open keep their old boards.
void reset(std::size_t count);
std::shared_ptr<RecordingBoard> board(std::size_t index);

} // namespace bench
} // namespace wintest
