// The backend on Windows: the boards Windows has, which MFB.dll finds through SetupAPI and opens
// through their driver; or, once --sim-boards asked for them, simulated boards in this process,
// put behind MFB.dll by redirecting the DLL's imports that reach a board
// (sim/windows/behind_dll.h). The redirection stays for the rest of the process.
#include "backend.h"

#include "mfb.h"
#include "platform/win32.h"
#include "sim/labview_runtime.h"
#include "sim/windows/behind_dll.h"

#include <fmt/format.h>

#include <stdexcept>
#include <vector>

namespace mfbctl::backend {
namespace backend_windows {

// The name under which the LabVIEW runtime stand-in records the events that reach this program.
constexpr char kRuntimeName[] = "mfbctl.exe";

std::vector<std::shared_ptr<mfb::sim::SimBoard>> g_boards;
bool g_simulated = false; // MFB.dll's imports lead to the simulated boards

void put_boards_behind_library() {
    HMODULE library = GetModuleHandleA("MFB.dll");
    if (!library)
        throw std::runtime_error("MFB.dll is not loaded in this process");
    const auto missing = mfb::sim::windows::put_boards_behind(library);
    if (!missing.empty())
        throw std::runtime_error(fmt::format(
            "MFB.dll imports no {}: the simulated boards cannot be put behind it", missing[0]));
    g_simulated = true;
}

} // namespace backend_windows

void start(std::optional<unsigned> simulated) {
    stop();
    if (!simulated)
        return;
    if (!backend_windows::g_simulated)
        backend_windows::put_boards_behind_library();
    mfb::sim::windows::detach_all();
    for (unsigned i = 0; i < *simulated; ++i) {
        backend_windows::g_boards.push_back(mfb::sim::make_board(i));
        mfb::sim::windows::attach(backend_windows::g_boards.back());
        backend_windows::g_boards.back()->start_ticker();
    }
}

void stop() {
    for (auto& b : backend_windows::g_boards)
        b->stop_ticker();
    backend_windows::g_boards.clear();
}

std::shared_ptr<mfb::sim::SimBoard> simulated_board(unsigned index) {
    if (!backend_windows::g_simulated)
        return nullptr;
    return std::dynamic_pointer_cast<mfb::sim::SimBoard>(mfb::sim::windows::board(index));
}

// This program exports PostLVUserEvent (below), so it is itself the runtime the library is given.
void install_labview_runtime() {
    mfb::sim::labview::reset();
    SetLVRTModule(GetModuleHandleA(nullptr));
}

std::string simulated_boards_help() {
    return "put this many simulated boards behind MFB.dll in this process, in place of the boards "
           "Windows has (on a line of a session: start over with this many fresh boards)";
}

std::string no_board_hint() {
    if (backend_windows::g_simulated)
        return "this run has no simulated boards: --sim-boards 2 puts two behind MFB.dll";
    return "Windows lists no MFB board (is the board in its slot and its driver installed?); to "
           "try mfbctl on simulated boards: --sim-boards 2";
}

} // namespace mfbctl::backend

// The LabVIEW runtime's entry, as the stand-in records the events (sim/labview_runtime.h).
extern "C" __declspec(dllexport) std::int32_t MFB_CDECL
    PostLVUserEvent(std::uint32_t refnum, void* data) {
    return mfb::sim::labview::post(mfbctl::backend::backend_windows::kRuntimeName, refnum, data);
}
