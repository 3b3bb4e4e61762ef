#include "group.h"

#include "options.h"
#include "sampler.h"

#include <fmt/format.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
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
    steps_.push_back({cmd, std::move(run), std::move(check), false, nullptr});
    return cmd;
}

CLI::App* ModuleGroup::read_step(const std::string& name, const std::string& help, Run run,
                                 Check check) {
    auto sampling = std::make_shared<Sampling>();
    CLI::App* cmd = step(name, help, std::move(run), [sampling, check] {
        if (sampling->hz && sampling->interval)
            throw UsageError("--rate and --interval both set the sampling rate: give one of them");
        if (check)
            check();
    });
    steps_.back().sampling = sampling;
    add_rate(cmd, "--rate", sampling->hz,
             "sample at this rate (Hz, kHz; default 10 Hz with -n or --for; without them until "
             "Ctrl-C)");
    add_time(cmd, "--interval", sampling->interval, "sample this often (instead of --rate)");
    add_number(cmd, "-n,--count", sampling->count, 1, 1'000'000'000, "number of samples",
               "take this many samples");
    add_time(cmd, "--for", sampling->for_time, "sample for this long (Ctrl-C ends sooner)");
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
    if (!in_session() && !parsed.empty() && parsed.back()->bench) {
        const auto reader = std::find_if(steps_.begin(), steps_.end(),
                                         [](const Step& s) { return s.sampling != nullptr; });
        throw UsageError(fmt::format(
            "{0} {1} moves the simulated inputs, which last for this run only: follow it with a "
            "step that reads (as in `{0} {1} ... {2}`), or run it in `mfbctl shell`",
            app_->get_name(), parsed.back()->app->get_name(),
            reader == steps_.end() ? "read" : reader->app->get_name()));
    }
    ModuleAccess m(board, module, function_);
    for (const Step* s : parsed) {
        if (s->sampling && s->sampling->requested())
            run_sampled(*s, m);
        else
            s->run(m, out);
        end_values_line();
    }
}

namespace {
std::atomic<bool> g_stop_sampling{false};
}

void ModuleGroup::run_sampled(const Step& s, ModuleAccess& m) const {
    const Sampling& o = *s.sampling;
    SamplePlan plan;
    plan.hz = o.hz ? *o.hz : o.interval ? 1e9 / static_cast<double>(o.interval->ns) : 10.0;
    plan.count = o.count;
    if (o.for_time)
        plan.for_ns = o.for_time->ns;
    plan.stop = [] { return g_stop_sampling.load(); };
    const SampleClock clock{command_clock_ns, [](std::uint64_t t) {
                                const std::uint64_t now = command_clock_ns();
                                if (t > now)
                                    std::this_thread::sleep_for(std::chrono::nanoseconds(t - now));
                            }};
    g_stop_sampling = false;
    auto previous = std::signal(SIGINT, [](int) { g_stop_sampling = true; });
    SampleResult r;
    try {
        r = sample(
            plan, clock,
            [&](std::uint64_t t) {
                out.at = static_cast<double>(t) / 1e9;
                s.run(m, out);
                end_values_line();
                std::fflush(stdout);
            },
            [&, warned = false](std::uint64_t k, std::uint64_t n) mutable {
                if (warned) // once; the count of all comes at the end
                    return;
                warned = true;
                std::fflush(stdout);
                std::fprintf(stderr,
                             "mfbctl: warning: a read ran past the time of sample %llu at %g Hz: "
                             "%llu sample%s missed\n",
                             static_cast<unsigned long long>(k), plan.hz,
                             static_cast<unsigned long long>(n), n == 1 ? "" : "s");
            });
    } catch (...) {
        out.at.reset();
        std::signal(SIGINT, previous);
        throw;
    }
    out.at.reset();
    std::signal(SIGINT, previous);
    if (r.missed > 0)
        std::fprintf(stderr, "mfbctl: warning: %llu of %llu sample times missed\n",
                     static_cast<unsigned long long>(r.missed),
                     static_cast<unsigned long long>(r.missed + r.taken));
}

} // namespace mfbctl
