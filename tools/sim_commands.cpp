// Simulated-board commands: change the function a module position carries, as a bench user would
// fit another module into a position; and the layout that --sim-layout gives a single run.
#include "mfbctl.h"

#include "common/explain.h"

namespace mfbctl {
namespace sim_commands {

struct SetModule {
    unsigned board = 0;
    unsigned module = 0;
    Function function = Function::None;
    Output out;
};

void set_module(const SetModule& o) {
    if (!in_session())
        throw UsageError(fmt::format(
            "set-module changes the simulated boards of this run only, which ends at once: use "
            "it in `mfbctl shell`, where it holds for the session, or give the layout to the "
            "command that uses it (`--sim-layout {}:{}={}`)",
            o.board, o.module, function_name(o.function)));
    OpenBoard open(o.board);
    fit_module(o.board, o.module, o.function);
    say(o.out, fmt::format("board {} module {}: {} (power-on state)", o.board, o.module,
                           function_name(o.function)));
}

void add_sim_commands(CLI::App& app) {
    auto o = std::make_shared<SetModule>();
    auto* set = app.add_subcommand("set-module", "fit a function into a module position of a "
                                                 "simulated board (in a session)");
    set->group(kSimulation);
    add_board_option(set, o->board);
    add_number(set, "-m,--module", o->module, 0, 3, "module position", "module position")
        ->required();
    std::string names;
    for (const auto& f : explain::functions())
        names += (names.empty() ? "" : "|") + std::string(f.name);
    set->add_option_function<std::string>(
           "FUNCTION", [o](const std::string& t) { o->function = parse_function(t, "FUNCTION"); },
           "the function (or its family's command, as freq)")
        ->option_text(names)
        ->required();
    add_output_options(set, o->out);
    set->callback([o] { set_module(*o); });
}
const RegisterCommands registered(500, add_sim_commands);

} // namespace sim_commands

Function parse_function(std::string_view text, std::string_view name) {
    if (const explain::FunctionInfo* f = explain::find_function(text))
        return static_cast<Function>(f->code);
    std::string names;
    for (const auto& f : explain::functions())
        names += (names.empty() ? "" : ", ") + std::string(f.name);
    throw UsageError(fmt::format("{}: '{}' is not a module function ({})", name, text, names));
}

std::vector<FittedModule> parse_layout(std::string_view text) {
    std::vector<FittedModule> layout;
    const auto fail = [&](std::string_view item) {
        return UsageError(fmt::format("--sim-layout: '{}' is not BOARD:MODULE=FUNCTION (as "
                                      "1:3=etm; several separated by commas)",
                                      item));
    };
    while (!text.empty()) {
        const auto comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
        const auto colon = item.find(':'), eq = item.find('=');
        if (colon == std::string_view::npos || eq == std::string_view::npos || eq < colon)
            throw fail(item);
        layout.push_back(
            {static_cast<unsigned>(parse_number(item.substr(0, colon), 0, kMaxBoards - 1,
                                                "board index", "--sim-layout")),
             static_cast<unsigned>(parse_number(item.substr(colon + 1, eq - colon - 1), 0, 3,
                                                "module position", "--sim-layout")),
             parse_function(item.substr(eq + 1), "--sim-layout")});
    }
    return layout;
}

void fit_module(unsigned board, unsigned module, Function f) {
    auto sim = simulated_board(board);
    if (!sim)
        throw std::runtime_error(fmt::format("board {} is not a simulated board", board));
    sim->set_function(u8(module), f);
}

} // namespace mfbctl
