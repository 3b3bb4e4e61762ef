// Simulated-board commands: which function each module position carries, and changing it, as a
// bench user would fit another module into a position.
#include "mfbctl.h"

#include <array>

namespace mfbctl {
namespace {

constexpr std::array<mfb::sim::Function, 6> kFunctions = {
    mfb::sim::Function::None,  mfb::sim::Function::Counter, mfb::sim::Function::Timer,
    mfb::sim::Function::TtlIo, mfb::sim::Function::Ssi,     mfb::sim::Function::Pwm};

void show_modules(unsigned board) {
    auto sim = simulated_board(board);
    for (std::uint8_t m = 0; m < 4; ++m)
        fmt::print("board {} module {}: {}\n", board, m, mfb::sim::name(sim->function(m)));
}

void set_module(unsigned board, unsigned module, const std::string& function) {
    for (mfb::sim::Function f : kFunctions) {
        if (function == mfb::sim::name(f)) {
            simulated_board(board)->set_function(static_cast<std::uint8_t>(module), f);
            fmt::print("board {} module {}: {} (power-on state)\n", board, module, function);
            return;
        }
    }
    throw std::runtime_error(
        fmt::format("no function \"{}\" (counter, timer, ttl, ssi, pwm, none)", function));
}

void add_sim_commands(CLI::App& app) {
    static unsigned board = 0;
    auto* modules = app.add_subcommand("modules", "show the function at each module position of "
                                                  "a simulated board");
    modules->add_option("BOARD", board, "board index (default 0)")->capture_default_str();
    modules->callback([] { show_modules(board); });

    static unsigned set_board = 0, set_position = 0;
    static std::string function;
    auto* set = app.add_subcommand("set-module", "put a function at a module position of a "
                                                 "simulated board (keeps for a shell session)");
    set->add_option("BOARD", set_board, "board index")->required();
    set->add_option("MODULE", set_position, "module position")
        ->required()
        ->check(CLI::Range(0u, 3u));
    set->add_option("FUNCTION", function, "counter, timer, ttl, ssi, pwm or none")->required();
    set->callback([] { set_module(set_board, set_position, function); });
}
const RegisterCommands registered(add_sim_commands);

} // namespace
} // namespace mfbctl
