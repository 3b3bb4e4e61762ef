// The backend on Linux: the virtual device bus of the Linux substitute (mfb_vbus.h), on which the
// tool attaches its simulated boards.
#include "backend.h"

#include "mfb_vbus.h"
#include "sim/labview_runtime.h"

#include <vector>

namespace mfbctl::backend {
namespace backend_vbus {

std::vector<std::shared_ptr<mfb::sim::SimBoard>> g_boards;

} // namespace backend_vbus

void start(std::optional<unsigned> simulated) {
    stop();
    for (unsigned i = 0; i < simulated.value_or(2); ++i) {
        backend_vbus::g_boards.push_back(mfb::sim::make_board(i));
        mfb::vbus::attach(backend_vbus::g_boards.back());
        backend_vbus::g_boards.back()->start_ticker();
    }
}

void stop() {
    for (auto& b : backend_vbus::g_boards)
        b->stop_ticker();
    mfb::vbus::reset_process(); // ends any interrupt thread still running before the boards go
    backend_vbus::g_boards.clear();
}

std::shared_ptr<mfb::sim::SimBoard> simulated_board(unsigned index) {
    if (index >= mfb::vbus::board_count())
        return nullptr;
    return std::dynamic_pointer_cast<mfb::sim::SimBoard>(mfb::vbus::board(index));
}

void install_labview_runtime() {
    mfb::sim::labview::reset();
    mfb::sim::labview::install(mfb::sim::labview::kLvrt);
}

std::string simulated_boards_help() {
    return "number of simulated boards on the bus (default 2; on a line of a session: start over "
           "with this many fresh boards)";
}

std::string no_board_hint() {
    return "the virtual bus has no simulated boards: --sim-boards 2 attaches two";
}

} // namespace mfbctl::backend
