// Simulated-board commands: change the function a module position carries, as a bench user would
// fit another module into a position.
#include "mfbctl.h"

#include <array>

namespace mfbctl {
namespace sim_commands {

constexpr std::array<Function, 9> kFunctions = {
    Function::None, Function::Counter, Function::Timer,     Function::TtlIo,       Function::Ssi,
    Function::Pwm,  Function::Etm,     Function::Frequency, Function::PulseEncoder};

std::shared_ptr<mfb::sim::SimBoard> sim_or_fail(unsigned board) {
    if (auto sim = simulated_board(board))
        return sim;
    throw std::runtime_error(fmt::format("board {} is not a simulated board", board));
}

struct SetModule {
    unsigned board = 0;
    unsigned module = 0;
    unsigned function = 0;
    Output out;
};

void set_module(const SetModule& o) {
    if (!in_session())
        throw UsageError("set-module changes the simulated boards of this run only, which ends "
                         "at once: use it in `mfbctl shell`, where it holds for the session");
    OpenBoard open(o.board);
    const Function f = kFunctions[o.function];
    sim_or_fail(o.board)->set_function(u8(o.module), f);
    say(o.out, fmt::format("board {} module {}: {} (power-on state)", o.board, o.module,
                           function_name(f)));
}

void add_sim_commands(CLI::App& app) {
    Choices functions;
    for (unsigned i = 0; i < kFunctions.size(); ++i)
        functions.emplace_back(function_name(kFunctions[i]), i);
    auto o = std::make_shared<SetModule>();
    auto* set = app.add_subcommand("set-module", "fit a function into a module position of a "
                                                 "simulated board (in a session)");
    set->group(kSimulation);
    add_board_option(set, o->board);
    add_number(set, "-m,--module", o->module, 0, 3, "module position", "module position")
        ->required();
    add_choice(set, "FUNCTION", o->function, functions, "module function", "the function")
        ->required();
    add_output_options(set, o->out);
    set->callback([o] { set_module(*o); });
}
const RegisterCommands registered(500, add_sim_commands);

} // namespace sim_commands
} // namespace mfbctl
