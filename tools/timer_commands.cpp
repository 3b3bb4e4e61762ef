// Timer commands: set a timer up, start and stop it, read and write its count and show its output
// and progress. Each command opens the board for its own run; on the simulated boards a timer
// starts from its power-on state every time, so `timer run` sets up, starts and watches a timer
// in one go.
#include "module_option.h"

#include <chrono>
#include <map>
#include <thread>

namespace mfbctl {
namespace {

using mfb::sim::Function;

struct Target {
    unsigned board = 0;
    std::optional<unsigned> module;
    unsigned timer = 0;
};

struct Setup {
    unsigned mode = 0;
    std::uint32_t value = 0;
    unsigned clock = 0;
    bool falling_edge = false;
    bool invert = false;
    bool gate_active_low = false;
};

const std::map<std::string, unsigned> kClocks = {{"internal", 0}, {"cascade", 1}, {"external", 2}};
const char* const kModes[] = {"single count",   "gate-triggered single count",
                              "rate generator", "square wave",
                              "single strobe",  "gate-triggered strobe"};

// A board opened for one command, with the module and timer it addresses.
struct Timer {
    explicit Timer(const Target& t)
        : board(t.board), module(module_or_first(t.board, t.module, Function::Timer)),
          timer(u8(t.timer)) {}
    OpenBoard board;
    std::uint8_t module;
    std::uint8_t timer;
    MFB_BoardHandle h() const { return board.handle(); }
};

CLI::App* add_command(CLI::App* group, const char* name, const char* help, Target& t,
                      bool with_timer = true) {
    CLI::App* cmd = group->add_subcommand(name, help);
    add_board_option(cmd, t.board);
    add_module_option(cmd, t.module);
    if (with_timer)
        cmd->add_option("-t,--timer", t.timer, "timer 0 to 2")
            ->required()
            ->check(CLI::Range(0u, 255u));
    return cmd;
}

void add_setup_options(CLI::App* cmd, Setup& s) {
    cmd->add_option("--mode", s.mode,
                    "0 single count, 1 gate-triggered single count, 2 rate generator, "
                    "3 square wave, 4 single strobe, 5 gate-triggered strobe")
        ->capture_default_str()
        ->check(CLI::Range(0u, 255u));
    cmd->add_option("--value", s.value, "counts to load (0 for 2^32)")->required();
    cmd->add_option("--clock", s.clock,
                    "internal (1 MHz), cascade (the timer below) or external (its input)")
        ->transform(CLI::CheckedTransformer(kClocks, CLI::ignore_case));
    cmd->add_flag("--falling-edge", s.falling_edge, "count falling clock edges");
    cmd->add_flag("--invert", s.invert, "invert the output");
    cmd->add_flag("--gate-active-low", s.gate_active_low, "the gate enables while low");
}

void init(const Timer& t, const Setup& s) {
    check("i_MFB_InitTimer",
          i_MFB_InitTimer(t.h(), t.module, t.timer, u8(s.mode), s.value, u8(s.clock),
                          s.falling_edge ? 1 : 0, s.invert ? 1 : 0, s.gate_active_low ? 1 : 0));
    const char* clock = s.clock == 0 ? "internal 1 MHz" : s.clock == 1 ? "cascade" : "external";
    fmt::print("timer {} of module {}: {}, {} counts, {} clock\n", t.timer, t.module,
               s.mode < 6 ? kModes[s.mode] : "?", s.value, clock);
}

void enable(const Timer& t, bool interrupt) {
    check("i_MFB_EnableTimer", i_MFB_EnableTimer(t.h(), t.module, t.timer, interrupt ? 1 : 0));
    fmt::print("timer {} of module {} enabled{}\n", t.timer, t.module,
               interrupt ? ", interrupt at zero" : "");
}

std::string describe_ex(std::uint8_t ex) {
    std::string s;
    auto add = [&](const char* what) { s += s.empty() ? what : fmt::format(", {}", what); };
    if (ex & 0x01)
        add("counting");
    if (ex & 0x02)
        add("waiting for the gate");
    if (ex & 0x04)
        add("reached zero");
    return s.empty() ? "idle" : s;
}

void show(const Timer& t) {
    std::uint32_t value = 0;
    std::uint8_t level = 0, progress = 0, ex = 0;
    check("i_MFB_ReadTimerValue", i_MFB_ReadTimerValue(t.h(), t.module, t.timer, &value));
    check("i_MFB_GetTimerOutputLevel", i_MFB_GetTimerOutputLevel(t.h(), t.module, t.timer, &level));
    check("i_MFB_GetTimerProgressStatus",
          i_MFB_GetTimerProgressStatus(t.h(), t.module, t.timer, &progress));
    check("i_MFB_GetTimerProgressStatusEx",
          i_MFB_GetTimerProgressStatusEx(t.h(), t.module, t.timer, &ex));
    fmt::print("value        {} counts\n", value);
    fmt::print("output       {}\n", level ? "high" : "low");
    fmt::print("progress     {}\n", progress ? "counting" : "not counting");
    fmt::print("progress ex  {:#04x} ({})\n", ex, describe_ex(ex));
}

void add_timer_commands(CLI::App& app) {
    CLI::App* group = app.add_subcommand("timer", "drive the timers of a timer module");
    group->require_subcommand(1);

    static Target target;
    static Setup setup;
    static bool interrupt = false;
    static std::uint32_t value = 0;
    static bool all = false;
    static unsigned run_ms = 10;

    add_setup_options(add_command(group, "init", "set a timer up (stops it)", target)->callback([] {
        init(Timer(target), setup);
    }),
                      setup);

    add_command(group, "enable", "start a timer", target)
        ->callback([] { enable(Timer(target), interrupt); })
        ->add_flag("--interrupt", interrupt, "raise an interrupt whenever the count reaches zero");

    add_command(group, "disable", "stop a timer", target)->callback([] {
        Timer t(target);
        check("i_MFB_DisableTimer", i_MFB_DisableTimer(t.h(), t.module, t.timer));
        fmt::print("timer {} of module {} disabled\n", t.timer, t.module);
    });

    auto* read =
        add_command(group, "read", "read the count of one timer or of all three", target, false);
    read->add_option("-t,--timer", target.timer, "timer 0 to 2")->check(CLI::Range(0u, 255u));
    read->add_flag("--all", all, "read all three timers at once");
    read->callback([] {
        Timer t(target);
        if (all) {
            std::uint32_t values[3] = {};
            check("i_MFB_ReadAllTimerValue", i_MFB_ReadAllTimerValue(t.h(), t.module, values));
            for (int i = 0; i < 3; ++i)
                fmt::print("timer {}  {} counts\n", i, values[i]);
            return;
        }
        std::uint32_t v = 0;
        check("i_MFB_ReadTimerValue", i_MFB_ReadTimerValue(t.h(), t.module, t.timer, &v));
        fmt::print("{} counts\n", v);
    });

    auto* write = add_command(group, "write", "load a new count", target);
    write->add_option("VALUE", value, "counts to load (0 for 2^32)")->required();
    write->callback([] {
        Timer t(target);
        check("i_MFB_WriteTimerValue", i_MFB_WriteTimerValue(t.h(), t.module, t.timer, value));
        fmt::print("timer {} of module {} loaded with {} counts\n", t.timer, t.module, value);
    });

    add_command(group, "status", "show a timer's count, output level and progress", target)
        ->callback([] { show(Timer(target)); });

    auto* run =
        add_command(group, "run", "set a timer up, start it and show it after a while", target);
    add_setup_options(run, setup);
    run->add_flag("--interrupt", interrupt, "raise an interrupt whenever the count reaches zero");
    run->add_option("--for", run_ms, "milliseconds to let it run")
        ->capture_default_str()
        ->check(CLI::Range(0u, 60'000u));
    run->callback([] {
        Timer t(target);
        init(t, setup);
        enable(t, interrupt);
        std::this_thread::sleep_for(std::chrono::milliseconds(run_ms));
        fmt::print("after {} ms:\n", run_ms);
        show(t);
    });
}

const RegisterCommands registered(add_timer_commands);

} // namespace
} // namespace mfbctl
