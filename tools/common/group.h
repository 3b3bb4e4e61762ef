// How commands join mfbctl: command groups, help sections, sessions, and the step chains of the
// module families.
#pragma once

#include "board.h"
#include "options.h"
#include "output.h"

#include <CLI/CLI.hpp>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace mfbctl {

// The sections of the help, in the order the help shows them.
inline constexpr const char* kBoards = "Boards";
inline constexpr const char* kModules = "Modules";
inline constexpr const char* kInterrupts = "Interrupts";
inline constexpr const char* kFirmware = "Firmware";
inline constexpr const char* kSimulation = "Simulation";
inline constexpr const char* kSession = "Session";

// Each file of commands registers its group with a static RegisterCommands object; main adds the
// groups in rank order, which is the order of the help: boards 100 to 199, module families 200 to
// 299, interrupts 300s, firmware 400s, simulation 500s, session 600s. A group puts its commands
// into their section with CLI::App::group.
using CommandGroup = void (*)(CLI::App& app);
struct RegisterCommands {
    RegisterCommands(int rank, CommandGroup group);
};
void add_command_groups(CLI::App& app);

// Whether the commands run in a session (mfbctl shell), in which the simulated boards and what
// was done to them carry from one command to the next. A single run starts from fresh boards.
bool in_session();
void set_in_session(bool session);

// Whether watch-start installed a routine for a board in this session.
bool interrupts_watched(unsigned board);
// Fails with a UsageError that says how to see them, unless a routine takes the interrupts that
// `what` enables on the board (watch-start in a session).
void require_routine(unsigned board, const std::string& what);

// A command on one board: -b/--board, --json and -q/--quiet, and `run` with the board index.
CLI::App* add_board_command(CLI::App& app, const std::string& name, const std::string& help,
                            const char* section,
                            std::function<void(unsigned board, const Output& out)> run);

// A module family's commands: `mfbctl GROUP [-b N] [-m N] [--json|-q] STEP [options] [STEP ...]`.
// The steps (each at most once) run in the order given, on one board opened once. Every step's
// check runs before the first step does, so a bad combination of values stops the chain before
// anything reaches the board. Every group also has the step `sleep TIME`.
//
// A new family:
//     auto g = ModuleGroup::add(app, "timer", "drive the timers of a timer module",
//                               Function::Timer);
//     auto timer = std::make_shared<unsigned>(0);
//     add_number(g->app(), "-t,--timer", *timer, 0, 2, "timer number", "timer (default 0)");
//     g->step("read", "read a timer's count", [timer](ModuleAccess& m, const Output& out) {
//         std::uint32_t v = 0;
//         m.check("i_MFB_ReadTimerValue", i_MFB_ReadTimerValue(m.h(), m.module(), u8(*timer), &v));
//         emit(out, Record().key("board", m.board()).value("count", v), fmt::format(...));
//     });
// A group of the board's own parts (Function::None) has no -m and goes into the Boards section.
// Options that belong to the whole group (a unit number such as -t) go on g->app(); a step's own
// options on the CLI::App that step() returns.
class ModuleGroup {
  public:
    using Run = std::function<void(ModuleAccess& m, const Output& out)>;
    using Check = std::function<void()>;

    static std::shared_ptr<ModuleGroup> add(CLI::App& app, const std::string& name,
                                            const std::string& help, Function f);

    CLI::App* app() const { return app_; }
    // A step; with `parent` (from steps()) a step of a nested set, as `counter compare modulo`.
    CLI::App* step(const std::string& name, const std::string& help, Run run, Check check = {},
                   CLI::App* parent = nullptr);
    // A step that reads: besides once, it samples at a rate with --rate or --interval, a count
    // (-n) and a time (--for), each record stamped with its due time.
    CLI::App* read_step(const std::string& name, const std::string& help, Run run,
                        Check check = {});
    // A step that only moves the simulated test bench. As the last step of a single run it would
    // change nothing that anyone sees, so there it is refused with a hint.
    CLI::App* bench_step(const std::string& name, const std::string& help, Run run,
                         Check check = {});
    // A nested set of steps inside the group.
    CLI::App* steps(const std::string& name, const std::string& help);

    unsigned board = 0;
    std::optional<unsigned> module;
    Output out;

    // Adds the steps every group has, after the group's own (add_command_groups calls it).
    void finish();

  private:
    struct Sampling {
        std::optional<double> hz;
        std::optional<Time> interval, for_time;
        unsigned count = 0;
        bool requested() const { return hz || interval || for_time || count; }
    };
    struct Step {
        CLI::App* app;
        Run run;
        Check check;
        bool bench;
        std::shared_ptr<Sampling> sampling; // reading steps
    };
    void collect(CLI::App* from, std::vector<const Step*>& parsed) const;
    void run() const;
    void run_sampled(const Step& s, ModuleAccess& m) const;

    CLI::App* app_ = nullptr;
    Function function_ = Function::None;
    std::vector<Step> steps_;
};

} // namespace mfbctl
