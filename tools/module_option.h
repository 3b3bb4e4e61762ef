// The -m/--module option of the module commands. Without it a command takes the first module
// position of its function on the chosen board, as the simulated board reports it.
#pragma once

#include "mfbctl.h"
#include "sim/sim_board.h"

#include <optional>

namespace mfbctl {

CLI::Option* add_module_option(CLI::App* cmd, std::optional<unsigned>& module);

// The module number to use: the one given, else the board's first position carrying `f`.
std::uint8_t module_or_first(unsigned board, const std::optional<unsigned>& module,
                             mfb::sim::Function f);

// A value of a u8 argument, range-checked by its option.
inline std::uint8_t u8(unsigned v) {
    return static_cast<std::uint8_t>(v);
}

} // namespace mfbctl
