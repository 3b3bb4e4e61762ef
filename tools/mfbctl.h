// mfbctl: the command-line tool of the library. Each group of commands lives in a file of its
// own and adds itself to the application in main.
#pragma once

#include "mfb.h"
#include "sim/sim_board.h"

#include <CLI/CLI.hpp>
#include <fmt/format.h>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace mfbctl {

// A library call that returned a nonzero status; main prints it and exits with 1.
struct CallFailed : std::runtime_error {
    CallFailed(const std::string& function, int status)
        : std::runtime_error(fmt::format("{} failed with status {}", function, status)),
          status(status) {}
    int status;
};

// Throws CallFailed unless the status is 0.
inline void check(const char* function, int status) {
    if (status != 0)
        throw CallFailed(function, status);
}

// Opens a board by index for the life of one command and closes it after.
class OpenBoard {
  public:
    explicit OpenBoard(unsigned index);
    ~OpenBoard();
    OpenBoard(const OpenBoard&) = delete;
    OpenBoard& operator=(const OpenBoard&) = delete;
    MFB_BoardHandle handle() const { return handle_; }

  private:
    MFB_BoardHandle handle_ = 0;
};

// The simulated board at a bus index (Linux); throws when there is none.
std::shared_ptr<mfb::sim::SimBoard> simulated_board(unsigned index);

// Adds the -b/--board option (default 0) to a command.
CLI::Option* add_board_option(CLI::App* cmd, unsigned& board);

// Command groups: each file of commands registers its group with a static RegisterCommands
// object, and main adds every registered group to the application.
using CommandGroup = void (*)(CLI::App& app);
std::vector<CommandGroup>& command_groups();
struct RegisterCommands {
    explicit RegisterCommands(CommandGroup group) { command_groups().push_back(group); }
};

} // namespace mfbctl
