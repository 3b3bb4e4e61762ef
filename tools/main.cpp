// mfbctl: list, inspect and drive MFB boards from the shell.
//
// On Linux the tool runs on the virtual device bus with simulated boards (two by default), so it
// can be tried without the hardware.
#include "mfbctl.h"

#include "mfb_vbus.h"
#include "sim/sim_board.h"

#include <cstdio>
#include <memory>
#include <vector>

namespace mfbctl {

OpenBoard::OpenBoard(unsigned index) {
    if (index > 255)
        throw CLI::ValidationError("--board", fmt::format("board index {} is above 255", index));
    std::uint8_t count = 0;
    check("i_MFB_GetNumberOfBoards", i_MFB_GetNumberOfBoards(&count));
    if (index >= count)
        throw std::runtime_error(fmt::format("no board at index {}: {} board{} found", index, count,
                                             count == 1 ? "" : "s"));
    check("i_MFB_OpenBoardViaIndex",
          i_MFB_OpenBoardViaIndex(static_cast<std::uint8_t>(index), &handle_));
}

OpenBoard::~OpenBoard() {
    if (handle_ != 0)
        i_MFB_CloseBoard(handle_);
}

std::vector<CommandGroup>& command_groups() {
    static std::vector<CommandGroup> groups;
    return groups;
}

CLI::Option* add_board_option(CLI::App* cmd, unsigned& board) {
    return cmd->add_option("-b,--board", board, "board index (default 0)")->capture_default_str();
}

} // namespace mfbctl

int main(int argc, char** argv) {
    CLI::App app{"mfbctl: drive MFB counter and multifunction boards"};
    app.require_subcommand(1);
    unsigned simulated = 2;
    app.add_option("--sim-boards", simulated, "number of simulated boards on the bus")
        ->capture_default_str()
        ->check(CLI::Range(0u, 255u));

    for (mfbctl::CommandGroup group : mfbctl::command_groups())
        group(app);

    // The simulated boards must be on the bus before any command runs; CLI11 runs the commands'
    // callbacks during parsing, so they are attached in a pre-parse hook.
    std::vector<std::shared_ptr<mfb::sim::SimBoard>> boards;
    app.parse_complete_callback([&] {
        mfb::vbus::reset_process();
        for (unsigned i = 0; i < simulated; ++i) {
            boards.push_back(mfb::sim::make_board(i));
            mfb::vbus::attach(boards.back());
            boards.back()->start_ticker();
        }
    });

    int rc = 0;
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        rc = app.exit(e);
    } catch (const mfbctl::CallFailed& e) {
        std::fprintf(stderr, "mfbctl: %s\n", e.what());
        rc = 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "mfbctl: %s\n", e.what());
        rc = 1;
    }
    for (auto& b : boards)
        b->stop_ticker();
    mfb::vbus::reset_process(); // ends any interrupt thread still running before the boards go
    return rc;
}
