#include "group.h"

#include "options.h"

#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace mfbctl {
namespace {

std::vector<std::pair<int, CommandGroup>>& groups() {
    static std::vector<std::pair<int, CommandGroup>> registered;
    return registered;
}

bool g_session = false;

// The module groups made while the command groups are added; each gets its last step when all are.
std::vector<std::shared_ptr<ModuleGroup>>& unfinished() {
    static std::vector<std::shared_ptr<ModuleGroup>> groups;
    return groups;
}

} // namespace

RegisterCommands::RegisterCommands(int rank, CommandGroup group) {
    groups().emplace_back(rank, group);
}

void add_command_groups(CLI::App& app) {
    auto sorted = groups();
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [rank, group] : sorted)
        group(app);
    for (const auto& g : unfinished())
        g->finish();
    unfinished().clear();
}

bool in_session() {
    return g_session;
}

void set_in_session(bool session) {
    g_session = session;
}

CLI::App* add_board_command(CLI::App& app, const std::string& name, const std::string& help,
                            const char* section,
                            std::function<void(unsigned board, const Output& out)> run) {
    struct Options {
        unsigned board = 0;
        Output out;
    };
    auto o = std::make_shared<Options>();
    CLI::App* cmd = app.add_subcommand(name, help);
    cmd->group(section);
    add_board_option(cmd, o->board);
    add_output_options(cmd, o->out);
    cmd->callback([o, run] { run(o->board, o->out); });
    return cmd;
}

std::shared_ptr<ModuleGroup> ModuleGroup::add(CLI::App& app, const std::string& name,
                                              const std::string& help, Function f) {
    auto g = std::make_shared<ModuleGroup>();
    g->function_ = f;
    g->app_ = app.add_subcommand(name, help);
    g->app_->group(f == Function::None ? kBoards : kModules);
    g->app_->require_subcommand(1, 0);
    g->app_->fallthrough(); // the group's options may follow any step
    add_board_option(g->app_, g->board);
    if (f != Function::None)
        add_module_option(g->app_, g->module);
    add_output_options(g->app_, g->out);
    g->app_->callback([g] { g->run(); }); // the command keeps its group
    unfinished().push_back(g);
    return g;
}

void ModuleGroup::finish() {
    auto wait = std::make_shared<Time>();
    auto* sleep = step("sleep", "wait before the next step", [wait](ModuleAccess&, const Output&) {
        std::this_thread::sleep_for(std::chrono::nanoseconds(wait->ns));
    });
    add_time(sleep, "TIME", *wait, "how long (ms without a unit)")->required();
}

CLI::App* ModuleGroup::step(const std::string& name, const std::string& help, Run run, Check check,
                            CLI::App* parent) {
    CLI::App* cmd = (parent ? parent : app_)->add_subcommand(name, help);
    cmd->group("Steps");
    steps_.push_back({cmd, std::move(run), std::move(check), false});
    return cmd;
}

CLI::App* ModuleGroup::bench_step(const std::string& name, const std::string& help, Run run,
                                  Check check) {
    CLI::App* cmd = step(name, help, std::move(run), std::move(check));
    steps_.back().bench = true;
    return cmd;
}

CLI::App* ModuleGroup::steps(const std::string& name, const std::string& help) {
    CLI::App* set = app_->add_subcommand(name, help);
    set->group("Steps");
    set->require_subcommand(1, 0);
    set->fallthrough();
    return set;
}

void ModuleGroup::collect(CLI::App* from, std::vector<const Step*>& parsed) const {
    for (CLI::App* sub : from->get_subcommands()) {
        auto it =
            std::find_if(steps_.begin(), steps_.end(), [&](const Step& s) { return s.app == sub; });
        if (it != steps_.end())
            parsed.push_back(&*it);
        else
            collect(sub, parsed); // a nested set of steps
    }
}

void ModuleGroup::run() const {
    std::vector<const Step*> parsed;
    collect(app_, parsed);
    for (const Step* s : parsed)
        if (s->check)
            s->check();
    if (!in_session() && !parsed.empty() && parsed.back()->bench)
        throw UsageError(fmt::format(
            "{0} {1} moves the simulated inputs, which last for this run only: follow it with a "
            "step that reads (as in `{0} {1} ... read`), or run it in `mfbctl shell`",
            app_->get_name(), parsed.back()->app->get_name()));
    ModuleAccess m(board, module, function_);
    for (const Step* s : parsed)
        s->run(m, out);
}

} // namespace mfbctl
