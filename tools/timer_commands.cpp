// Timer commands: set a timer up, start and stop it, read and write its count and show its output
// and progress.
//
//     mfbctl timer -t 1 init --mode rate --reload 1000 enable sleep 5ms status
//
// On the simulated boards a timer starts from its power-on state in every run, so the steps of
// one run, or `timer run`, set it up, start it and watch it together.
#include "mfbctl.h"

#include "common/explain.h"

#include <chrono>
#include <thread>

namespace mfbctl {
namespace timer_commands {

struct Setup {
    unsigned mode = 0;
    std::uint32_t reload = 0;
    unsigned clock = 0;
    bool falling_edge = false;
    bool invert = false;
    bool gate_active_low = false;
};

const Choices kModes = {{"single", 0}, {"gated-single", 1}, {"rate", 2},
                        {"square", 3}, {"strobe", 4},       {"gated-strobe", 5}};
const char* const kModeWords[] = {"single count",   "gate-triggered single count",
                                  "rate generator", "square wave",
                                  "single strobe",  "gate-triggered strobe"};
const Choices kClocks = {{"internal", 0}, {"cascade", 1}, {"external", 2}};
const char* const kClockWords[] = {"internal 1 MHz", "cascade", "external"};

Record timer_record(const ModuleAccess& m, unsigned timer) {
    return std::move(
        Record().key("board", m.board()).key("module", m.module()).key("timer", timer));
}

std::string where(const ModuleAccess& m, unsigned timer) {
    return fmt::format("{} timer {}", m.where(), timer);
}

void add_setup_options(CLI::App* cmd, Setup& s) {
    add_choice(cmd, "--mode", s.mode, kModes, "timer mode",
               "single (default), gated-single, rate, square, strobe or gated-strobe (or 0-5)");
    add_number(cmd, "--reload", s.reload, 0, 0xFFFFFFFF, "reload value",
               "counts to load (0 for 2^32)")
        ->required();
    add_choice(cmd, "--clock", s.clock, kClocks, "timer clock",
               "internal (1 MHz, default), cascade (the timer below) or external (its input)");
    cmd->add_flag("--falling-edge", s.falling_edge, "count falling clock edges");
    cmd->add_flag("--invert", s.invert, "invert the output");
    cmd->add_flag("--gate-active-low", s.gate_active_low, "the gate enables while low");
}

// Timer 0 has no timer below it to take as its clock.
void check_setup(const Setup& s, unsigned timer) {
    if (s.clock == 1 && timer == 0)
        throw UsageError("--clock: timer 0 has no timer below it to cascade from (timers 1 and 2 "
                         "can)");
}

void init(ModuleAccess& m, const Output& out, unsigned timer, const Setup& s) {
    m.check("i_MFB_InitTimer",
            i_MFB_InitTimer(m.h(), m.module(), u8(timer), u8(s.mode), s.reload, u8(s.clock),
                            s.falling_edge ? 1 : 0, s.invert ? 1 : 0, s.gate_active_low ? 1 : 0));
    say(out, fmt::format("{}: {}, {} counts, {} clock", where(m, timer), kModeWords[s.mode],
                         s.reload, kClockWords[s.clock]));
}

void enable(ModuleAccess& m, const Output& out, unsigned timer, bool interrupt) {
    m.check("i_MFB_EnableTimer",
            i_MFB_EnableTimer(m.h(), m.module(), u8(timer), interrupt ? 1 : 0));
    say(out, fmt::format("{} enabled{}", where(m, timer), interrupt ? ", interrupt at zero" : ""));
}

// The extended progress byte as the simulated timer sets it (the explanation table).
std::string describe_ex(std::uint8_t ex) {
    const std::string words = flag_words(explain::flags("timer.progress_ex", ex));
    return words.empty() ? "idle" : words;
}

void show(ModuleAccess& m, const Output& out, unsigned timer) {
    std::uint32_t value = 0;
    std::uint8_t level = 0, progress = 0, ex = 0;
    const std::uint8_t t = u8(timer);
    m.check("i_MFB_ReadTimerValue", i_MFB_ReadTimerValue(m.h(), m.module(), t, &value));
    m.check("i_MFB_GetTimerOutputLevel", i_MFB_GetTimerOutputLevel(m.h(), m.module(), t, &level));
    m.check("i_MFB_GetTimerProgressStatus",
            i_MFB_GetTimerProgressStatus(m.h(), m.module(), t, &progress));
    m.check("i_MFB_GetTimerProgressStatusEx",
            i_MFB_GetTimerProgressStatusEx(m.h(), m.module(), t, &ex));
    Record r = timer_record(m, timer);
    r.value("count", value).value("output", level).value("counting", progress != 0);
    r.value("progress_ex", ex).detail("progress_ex_flags", explain::flags("timer.progress_ex", ex));
    emit(out, r,
         fmt::format("{}\n  count        {}\n  output       {}\n  progress     {}\n"
                     "  progress ex  {:#04x} ({})",
                     where(m, timer), value, level ? "high" : "low",
                     progress ? "counting" : "not counting", ex, describe_ex(ex)));
}

void read(ModuleAccess& m, const Output& out, unsigned timer, bool all) {
    if (all) {
        std::uint32_t values[3] = {};
        m.check("i_MFB_ReadAllTimerValue", i_MFB_ReadAllTimerValue(m.h(), m.module(), values));
        for (unsigned i = 0; i < 3; ++i)
            emit(out, timer_record(m, i).value("count", values[i]),
                 fmt::format("{}: {} counts", where(m, i), values[i]));
        return;
    }
    std::uint32_t v = 0;
    m.check("i_MFB_ReadTimerValue", i_MFB_ReadTimerValue(m.h(), m.module(), u8(timer), &v));
    emit(out, timer_record(m, timer).value("count", v),
         fmt::format("{}: {} counts", where(m, timer), v));
}

void add_timer_commands(CLI::App& app) {
    auto g = ModuleGroup::add(app, "timer", "the three timers of a timer module", Function::Timer);
    auto timer = std::make_shared<unsigned>(0);
    add_number(g->app(), "-t,--timer", *timer, 0, 2, "timer number", "timer (default 0)");

    auto s = std::make_shared<Setup>();
    add_setup_options(
        g->step(
            "init", "set a timer up (stops it)",
            [timer, s](ModuleAccess& m, const Output& out) { init(m, out, *timer, *s); },
            [timer, s] { check_setup(*s, *timer); }),
        *s);

    auto interrupt = std::make_shared<bool>(false);
    const auto need_routine = [group = g.get(), interrupt](const char* what) {
        if (*interrupt)
            require_routine(group->board, what);
    };
    g->step(
         "enable", "start a timer",
         [timer, interrupt](ModuleAccess& m, const Output& out) {
             enable(m, out, *timer, *interrupt);
         },
         [need_routine] { need_routine("timer enable --interrupt"); })
        ->add_flag("--interrupt", *interrupt,
                   "raise an interrupt whenever the count reaches zero (needs watch-start in a "
                   "session)");

    g->step("disable", "stop a timer", [timer](ModuleAccess& m, const Output& out) {
        m.check("i_MFB_DisableTimer", i_MFB_DisableTimer(m.h(), m.module(), u8(*timer)));
        say(out, fmt::format("{} disabled", where(m, *timer)));
    });

    auto all = std::make_shared<bool>(false);
    g->read_step("read", "read the count of a timer, or of all three",
                 [timer, all](ModuleAccess& m, const Output& out) { read(m, out, *timer, *all); })
        ->add_flag("--all", *all, "read all three timers at once");

    auto value = std::make_shared<std::uint32_t>(0);
    auto* write =
        g->step("write", "load a new count", [timer, value](ModuleAccess& m, const Output& out) {
            m.check("i_MFB_WriteTimerValue",
                    i_MFB_WriteTimerValue(m.h(), m.module(), u8(*timer), *value));
            say(out, fmt::format("{} loaded with {} counts", where(m, *timer), *value));
        });
    add_number(write, "COUNTS", *value, 0, 0xFFFFFFFF, "count", "counts to load (0 for 2^32)")
        ->required();

    g->step("status", "show a timer's count, output level and progress",
            [timer](ModuleAccess& m, const Output& out) { show(m, out, *timer); });

    auto run_for = std::make_shared<Time>(Time{10'000'000, TimeUnit::ms});
    auto* run = g->step(
        "run", "set a timer up, start it and show it after a while",
        [timer, s, interrupt, run_for](ModuleAccess& m, const Output& out) {
            init(m, out, *timer, *s);
            enable(m, out, *timer, *interrupt);
            std::this_thread::sleep_for(std::chrono::nanoseconds(run_for->ns));
            say(out, fmt::format("after {}:", format_time(run_for->ns)));
            show(m, out, *timer);
        },
        [timer, s, need_routine] {
            check_setup(*s, *timer);
            need_routine("timer run --interrupt");
        });
    add_setup_options(run, *s);
    run->add_flag("--interrupt", *interrupt,
                  "raise an interrupt whenever the count reaches zero (needs watch-start in a "
                  "session)");
    add_time(run, "--for", *run_for, "how long to let it run (default 10ms)");
}

const RegisterCommands registered(220, add_timer_commands);

} // namespace timer_commands
} // namespace mfbctl
