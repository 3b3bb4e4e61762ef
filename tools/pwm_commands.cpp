// PWM commands: set a PWM up with its low and high phases, enable and disable it, show its set-up
// and status, read the module's inputs and switch its output.
//
//     mfbctl pwm -b 1 -p 1 init --low 3us --high 7us enable --start high status
//
// The phases are times with a unit (ns, us, ms, s, min; ms without one); the library gets them in
// the finer of the two units written.
#include "mfbctl.h"

namespace mfbctl {
namespace pwm_commands {

// The phases each timing unit takes (the library's limits): 150 ns up, else 1 up to what fits 32
// bits in steps of 100 ns.
struct UnitRange {
    TimeUnit unit;
    std::uint32_t code, lo, hi;
};
constexpr UnitRange kUnits[] = {{TimeUnit::ns, 0, 150, 0xFFFFFFFF},
                                {TimeUnit::us, 1, 1, 429'496'729},
                                {TimeUnit::ms, 2, 1, 429'496},
                                {TimeUnit::s, 3, 1, 429},
                                {TimeUnit::min, 4, 1, 7}};

const UnitRange& unit_range(TimeUnit u) {
    for (const UnitRange& r : kUnits)
        if (r.unit == u)
            return r;
    return kUnits[0];
}

struct Timing {
    Time low, high;
    // The unit both phases go in, and their counts in it.
    TimeUnit unit() const { return std::min(low.unit, high.unit); }
    std::uint32_t code() const { return unit_range(unit()).code; }
    std::uint32_t low_count() const { return static_cast<std::uint32_t>(low.count(unit())); }
    std::uint32_t high_count() const { return static_cast<std::uint32_t>(high.count(unit())); }
};

void check_timing(const Timing& t) {
    const UnitRange& r = unit_range(t.unit());
    const auto check_phase = [&](const Time& phase, const char* name) {
        const std::uint64_t n = phase.count(r.unit);
        if (n < r.lo || n > r.hi)
            throw UsageError(fmt::format(
                "{}: {} is out of range for a PWM phase in {} ({} to {} {})", name,
                format_time(phase.ns), unit_name(r.unit), r.lo, r.hi, unit_name(r.unit)));
    };
    check_phase(t.low, "--low");
    check_phase(t.high, "--high");
}

void add_timing_options(CLI::App* cmd, Timing& t) {
    add_time(cmd, "--low", t.low, "low phase (ms without a unit)")->required();
    add_time(cmd, "--high", t.high, "high phase (ms without a unit)")->required();
}

struct Enable {
    unsigned start_level = 0, stop_mode = 0, stop_level = 0;
    bool gate = false, interrupt = false;
};

std::string where(const ModuleAccess& m, unsigned pwm) {
    return fmt::format("{} PWM {}", m.where(), pwm);
}

Record pwm_record(const ModuleAccess& m) {
    return std::move(Record().key("board", m.board()).key("module", m.module()));
}

void init(ModuleAccess& m, const Output& out, unsigned pwm, const Timing& t) {
    std::uint32_t low = 0, high = 0;
    m.check("i_MFB_InitPWM", i_MFB_InitPWM(m.h(), m.module(), u8(pwm), u8(t.code()), t.low_count(),
                                           t.high_count(), &low, &high));
    const std::uint64_t per = unit_ns(t.unit());
    emit(out, pwm_record(m).key("pwm", pwm).value("low_ns", low * per).value("high_ns", high * per),
         fmt::format("{}: low {}, high {} (asked {} and {})", where(m, pwm), format_time(low * per),
                     format_time(high * per), format_time(t.low.ns), format_time(t.high.ns)));
}

void new_timing(ModuleAccess& m, const Output& out, unsigned pwm, const Timing& t) {
    m.check("i_MFB_SetNewPWMTiming", i_MFB_SetNewPWMTiming(m.h(), m.module(), u8(pwm), u8(t.code()),
                                                           t.low_count(), t.high_count()));
    say(out, fmt::format("{}: new timing low {}, high {}", where(m, pwm), format_time(t.low.ns),
                         format_time(t.high.ns)));
}

const char* level_name(std::uint8_t level) {
    return level == 0 ? "low" : level == 1 ? "high" : level == 2 ? "hold" : "?";
}

// The set-up as the module reads it back, and the two status bytes; the names are those of the
// simulated module's settings (sim/pwm_module.h).
void status(ModuleAccess& m, const Output& out, unsigned pwm) {
    std::uint8_t unit = 0, s[6] = {};
    std::uint32_t low = 0, high = 0;
    m.check("i_MFB_GetPWMInitialisation",
            i_MFB_GetPWMInitialisation(m.h(), m.module(), u8(pwm), &unit, &low, &high, &s[0], &s[1],
                                       &s[2], &s[3], &s[4], &s[5]));
    std::uint8_t level = 0, gate = 0;
    m.check("i_MFB_GetPWMStatus", i_MFB_GetPWMStatus(m.h(), m.module(), u8(pwm), &level, &gate));
    const std::uint64_t per = unit < 5 ? unit_ns(kUnits[unit].unit) : 0;
    Record r = pwm_record(m).key("pwm", pwm);
    r.value("low_ns", low * per).value("high_ns", high * per).value("enabled", s[5] != 0);
    r.value("level", level).value("gate", gate);
    r.detail("settings", std::vector<unsigned>(s, s + 6)).detail("timing_unit", unit);
    emit(out, r,
         fmt::format("{}\n  timing       low {}, high {}\n  start level  {}\n  stop         {}, "
                     "then {}\n  extern gate  {}\n  interrupt    {}\n  enabled      {}\n"
                     "  PWM level    {}\n  gate input   {}",
                     where(m, pwm), format_time(low * per), format_time(high * per),
                     level_name(s[0]), s[1] ? "at the end of the period" : "at once",
                     level_name(s[2]), s[3] ? "used" : "not used", s[4] ? "on" : "off",
                     s[5] ? "yes" : "no", level_name(level), level_name(gate)));
}

void input(ModuleAccess& m, const Output& out, const std::optional<unsigned>& number) {
    std::uint8_t value = 0;
    if (number) {
        m.check("i_MFB_ReadPWM1DigitalInput",
                i_MFB_ReadPWM1DigitalInput(m.h(), m.module(), u8(*number), &value));
        emit(out, pwm_record(m).key("input", *number).value("value", value),
             fmt::format("{} input {}: {}", m.where(), *number, value));
        return;
    }
    m.check("i_MFB_ReadPWMAllDigitalInputs",
            i_MFB_ReadPWMAllDigitalInputs(m.h(), m.module(), &value));
    std::vector<unsigned> bits;
    std::string text = fmt::format("{} inputs 0-2:", m.where());
    for (unsigned b = 0; b < 3; ++b) {
        bits.push_back((value >> b) & 1);
        text += fmt::format(" {}", bits.back());
    }
    emit(out, pwm_record(m).value("inputs", bits).detail("byte", value), text);
}

// on and off take the output into manual setting first; auto gives it back to the module.
void output(ModuleAccess& m, const Output& out, unsigned state) {
    enum { kOff, kOn, kAuto };
    m.check("i_MFB_EnableDisablePWMDigitalOutputManualSetting",
            i_MFB_EnableDisablePWMDigitalOutputManualSetting(m.h(), m.module(),
                                                             state == kAuto ? 0 : 1));
    if (state == kOn)
        m.check("i_MFB_SetPWMDigitalOutputOn", i_MFB_SetPWMDigitalOutputOn(m.h(), m.module()));
    else if (state == kOff)
        m.check("i_MFB_SetPWMDigitalOutputOff", i_MFB_SetPWMDigitalOutputOff(m.h(), m.module()));
    say(out, fmt::format("{} output {}", m.where(),
                         state == kAuto ? "driven by the module"
                         : state == kOn ? "on"
                                        : "off"));
}

void add_pwm_commands(CLI::App& app) {
    auto g = ModuleGroup::add(app, "pwm",
                              "PWM module: timing, enable and disable, status, "
                              "digital inputs and output",
                              Function::Pwm);
    auto pwm = std::make_shared<unsigned>(0);
    add_number(g->app(), "-p,--pwm", *pwm, 0, 1, "PWM number", "PWM (default 0)");

    auto t = std::make_shared<Timing>();
    add_timing_options(g->step(
                           "init", "set the PWM up; shows the phases it achieved",
                           [pwm, t](ModuleAccess& m, const Output& out) { init(m, out, *pwm, *t); },
                           [t] { check_timing(*t); }),
                       *t);
    auto nt = std::make_shared<Timing>();
    add_timing_options(
        g->step(
            "timing", "give the PWM new phases (after init)",
            [pwm, nt](ModuleAccess& m, const Output& out) { new_timing(m, out, *pwm, *nt); },
            [nt] { check_timing(*nt); }),
        *nt);

    auto e = std::make_shared<Enable>();
    auto* cmd = g->step("enable", "start the PWM", [pwm, e](ModuleAccess& m, const Output& out) {
        m.check("i_MFB_EnablePWM",
                i_MFB_EnablePWM(m.h(), m.module(), u8(*pwm), u8(e->start_level), u8(e->stop_mode),
                                u8(e->stop_level), e->gate ? 1 : 0, e->interrupt ? 1 : 0));
        say(out, fmt::format("{} enabled", where(m, *pwm)));
    });
    add_choice(cmd, "--start", e->start_level, {{"low", 0}, {"high", 1}}, "start level",
               "level a period starts with: low (default) or high");
    add_choice(cmd, "--stop", e->stop_mode, {{"now", 0}, {"period-end", 1}}, "stop mode",
               "when disable stops it: now (default) or period-end");
    add_choice(cmd, "--stop-level", e->stop_level, {{"low", 0}, {"high", 1}, {"hold", 2}},
               "stop level", "level once stopped: low (default), high or hold");
    cmd->add_flag("--gate", e->gate, "run only while the gate input is high");
    cmd->add_flag("--interrupt", e->interrupt, "enable the PWM's interrupt");

    g->step("disable", "stop the PWM", [pwm](ModuleAccess& m, const Output& out) {
        m.check("i_MFB_DisablePWM", i_MFB_DisablePWM(m.h(), m.module(), u8(*pwm)));
        say(out, fmt::format("{} disabled", where(m, *pwm)));
    });
    g->read_step("status", "show the set-up and the output and gate levels",
                 [pwm](ModuleAccess& m, const Output& out) { status(m, out, *pwm); });

    auto number = std::make_shared<std::optional<unsigned>>();
    cmd = g->step("input", "read the digital inputs",
                  [number](ModuleAccess& m, const Output& out) { input(m, out, *number); });
    add_number(cmd, "-i,--input", *number, 0, 2, "input number", "one input (default: all three)");

    auto state = std::make_shared<unsigned>(0);
    cmd = g->step("output", "switch the digital output, or give it back to the module",
                  [state](ModuleAccess& m, const Output& out) { output(m, out, *state); });
    add_choice(cmd, "STATE", *state, {{"off", 0}, {"on", 1}, {"auto", 2}}, "output state",
               "on, off or auto")
        ->required();
}

const RegisterCommands registered(250, add_pwm_commands);

} // namespace pwm_commands
} // namespace mfbctl
