// Where the tool's boards come from. The commands reach every board through the library's
// exports; the backend decides what stands behind the library, and gives the commands what only a
// simulated board has (its inputs, its flash's faults), so that nothing else in the tool knows the
// platform:
//   - Linux (backend_vbus.cpp): the virtual device bus, with simulated boards attached to it
//     (two unless --sim-boards says otherwise);
//   - Windows (backend_windows.cpp): the boards Windows has, or with --sim-boards N, N simulated
//     boards put behind MFB.dll in the tool's own process by redirecting the DLL's imports
//     (sim/windows/behind_dll.h).
// A simulated board has the board index the library gives it; it runs on the real clock, ticking
// from a thread of its own.
#pragma once

#include "sim/sim_board.h"

#include <memory>
#include <optional>
#include <string>

namespace mfbctl::backend {

// The boards of a run: `simulated` fresh simulated boards in place of those before, or without a
// number the platform's own (Linux: two simulated boards; Windows: the boards Windows has). On
// Windows a process that used simulated boards keeps using them: without a number, none.
void start(std::optional<unsigned> simulated);
// Stops the simulated boards' clocks and what the library still runs for them.
void stop();

// The simulated board at a board index; null for a board that is not simulated.
std::shared_ptr<mfb::sim::SimBoard> simulated_board(unsigned index);

// Puts the LabVIEW runtime stand-in (sim/labview_runtime.h) where the library finds it, with no
// events recorded yet.
void install_labview_runtime();

// What the help says of --sim-boards, and what to try when no board is found.
std::string simulated_boards_help();
std::string no_board_hint();

} // namespace mfbctl::backend
