// mfbctl: list, inspect and drive MFB boards from the shell.
//
// On Linux the tool runs on the virtual device bus with simulated boards (two by default), so it
// can be tried without the hardware.
#include "mfbctl.h"

#include "mfb_vbus.h"
#include "sim/sim_board.h"

#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

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

namespace {

std::vector<std::shared_ptr<mfb::sim::SimBoard>> g_boards;

void add_groups(CLI::App& app) {
    for (mfbctl::CommandGroup group : mfbctl::command_groups())
        group(app);
}

// Runs a parsed command; reports a failure on stderr and returns the exit status.
template <class Run> int report(CLI::App& app, Run run) {
    try {
        run();
        return 0;
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "mfbctl: %s\n", e.what());
        return 1;
    }
}

// Reads commands from the standard input, one per line, on the same boards: set-ups made by one
// line hold for the next. Blank lines and lines starting with # are skipped. The exit status is 1
// when any command failed.
int shell() {
    const bool interactive = isatty(0);
    int worst = 0;
    std::string line;
    for (;;) {
        if (interactive) {
            std::fputs("mfb> ", stdout);
            std::fflush(stdout);
        }
        if (!std::getline(std::cin, line))
            break;
        const auto first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos || line[first] == '#')
            continue;
        const std::string word = line.substr(first, line.find_first_of(" \t\r", first) - first);
        if (word == "exit" || word == "quit")
            break;
        CLI::App app{"mfbctl shell command", "mfbctl"};
        app.require_subcommand(1);
        add_groups(app);
        if (int rc = report(app, [&] { app.parse(line, false); }); rc != 0)
            worst = 1;
        std::fflush(stdout);
    }
    if (interactive)
        std::fputs("\n", stdout);
    return worst;
}

} // namespace

namespace mfbctl {

std::shared_ptr<mfb::sim::SimBoard> simulated_board(unsigned index) {
    if (index >= g_boards.size())
        throw std::runtime_error(fmt::format("no simulated board at index {}", index));
    return g_boards[index];
}

namespace {

void add_session_commands(CLI::App& app) {
    static unsigned ms = 0;
    auto* sleep = app.add_subcommand("sleep", "wait a number of milliseconds (in shell scripts)");
    sleep->add_option("MS", ms, "milliseconds")->required();
    sleep->callback([] { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); });
}
const RegisterCommands registered(add_session_commands);

} // namespace
} // namespace mfbctl

int main(int argc, char** argv) {
    CLI::App app{"mfbctl: drive MFB counter and multifunction boards"};
    app.require_subcommand(1);
    unsigned simulated = 2;
    app.add_option("--sim-boards", simulated, "number of simulated boards on the bus")
        ->capture_default_str()
        ->check(CLI::Range(0u, 255u));
    add_groups(app);
    bool run_shell = false;
    app.add_subcommand("shell", "read commands from the standard input, one per line, on the "
                                "same boards")
        ->callback([&] { run_shell = true; });

    // The simulated boards are put on the bus once the command line is parsed and before any
    // command runs; they run on the real clock, ticking from a thread of their own.
    app.parse_complete_callback([&] {
        mfb::vbus::reset_process();
        for (unsigned i = 0; i < simulated; ++i) {
            g_boards.push_back(mfb::sim::make_board(i));
            mfb::vbus::attach(g_boards.back());
            g_boards.back()->start_ticker();
        }
    });

    int rc = report(app, [&] { app.parse(argc, argv); });
    if (rc == 0 && run_shell)
        rc = shell();
    for (auto& b : g_boards)
        b->stop_ticker();
    mfb::vbus::reset_process(); // ends any interrupt thread still running before the boards go
    return rc;
}
