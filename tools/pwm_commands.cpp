// PWM commands: set a PWM up with a timing unit and its low and high durations, enable and
// disable it, show its set-up and status, read the module's inputs and switch its output.
//
// The steps of one `mfbctl pwm` command (each at most once) run in the order given on one board:
//     mfbctl pwm -p 1 init --unit us --low 3 --high 7 enable --start-level high status
#include "mfbctl.h"

#include <map>
#include <optional>

namespace mfbctl {
namespace {

// The options every step shares; they may stand anywhere on the command line.
struct Target {
    unsigned board = 1; // the first simulated board with a PWM module, at position 0
    unsigned module = 0;
    unsigned pwm = 0;
    std::uint8_t m() const { return static_cast<std::uint8_t>(module); }
    std::uint8_t p() const { return static_cast<std::uint8_t>(pwm); }
};
Target target;

const char* const kUnitNames[] = {"ns", "us", "ms", "s", "min"};
const std::map<std::string, unsigned> kUnits = {
    {"ns", 0}, {"us", 1}, {"ms", 2}, {"s", 3}, {"min", 4}};

std::string unit_name(unsigned unit) {
    return unit < std::size(kUnitNames) ? kUnitNames[unit] : fmt::format("unit {}", unit);
}

struct Timing {
    unsigned unit = 1;
    std::uint32_t low = 0, high = 0;
} timing;

struct Enable {
    unsigned start_level = 0, stop_mode = 0, stop_level = 0;
    bool gate = false, interrupt = false;
} settings;

std::optional<unsigned> input_number;
std::string output_state;

const CLI::Range kByte(0u, 255u);

void add_timing_options(CLI::App* cmd) {
    cmd->add_option("--unit", timing.unit, "timing unit: ns, us, ms, s or min")
        ->transform(CLI::CheckedTransformer(kUnits))
        ->capture_default_str();
    cmd->add_option("--low", timing.low, "low phase, in the timing unit")->required();
    cmd->add_option("--high", timing.high, "high phase, in the timing unit")->required();
}

void init() {
    OpenBoard b(target.board);
    std::uint32_t low = 0, high = 0;
    check("i_MFB_InitPWM",
          i_MFB_InitPWM(b.handle(), target.m(), target.p(), static_cast<std::uint8_t>(timing.unit),
                        timing.low, timing.high, &low, &high));
    const std::string u = unit_name(timing.unit);
    fmt::print("PWM {}: low {} {}, high {} {} (asked {} {} and {} {})\n", target.pwm, low, u, high,
               u, timing.low, u, timing.high, u);
}

void new_timing() {
    OpenBoard b(target.board);
    check("i_MFB_SetNewPWMTiming",
          i_MFB_SetNewPWMTiming(b.handle(), target.m(), target.p(),
                                static_cast<std::uint8_t>(timing.unit), timing.low, timing.high));
    const std::string u = unit_name(timing.unit);
    fmt::print("PWM {}: new timing low {} {}, high {} {}\n", target.pwm, timing.low, u, timing.high,
               u);
}

void enable() {
    OpenBoard b(target.board);
    check("i_MFB_EnablePWM", i_MFB_EnablePWM(b.handle(), target.m(), target.p(),
                                             static_cast<std::uint8_t>(settings.start_level),
                                             static_cast<std::uint8_t>(settings.stop_mode),
                                             static_cast<std::uint8_t>(settings.stop_level),
                                             settings.gate ? 1 : 0, settings.interrupt ? 1 : 0));
    fmt::print("PWM {} enabled\n", target.pwm);
}

void disable() {
    OpenBoard b(target.board);
    check("i_MFB_DisablePWM", i_MFB_DisablePWM(b.handle(), target.m(), target.p()));
    fmt::print("PWM {} disabled\n", target.pwm);
}

const char* level_name(std::uint8_t level) {
    return level == 0 ? "low" : level == 1 ? "high" : level == 2 ? "hold" : "?";
}

// The set-up as the module reads it back, and the two status bytes; the names are those of the
// simulated module's settings (sim/pwm_module.h).
void status() {
    OpenBoard b(target.board);
    std::uint8_t unit = 0, s[6] = {};
    std::uint32_t low = 0, high = 0;
    check("i_MFB_GetPWMInitialisation",
          i_MFB_GetPWMInitialisation(b.handle(), target.m(), target.p(), &unit, &low, &high, &s[0],
                                     &s[1], &s[2], &s[3], &s[4], &s[5]));
    std::uint8_t level = 0, gate = 0;
    check("i_MFB_GetPWMStatus",
          i_MFB_GetPWMStatus(b.handle(), target.m(), target.p(), &level, &gate));
    const std::string u = unit_name(unit);
    fmt::print("PWM {}\n", target.pwm);
    fmt::print("  timing       low {} {}, high {} {}\n", low, u, high, u);
    fmt::print("  start level  {}\n", level_name(s[0]));
    fmt::print("  stop         {}, then {}\n", s[1] ? "at the end of the period" : "at once",
               level_name(s[2]));
    fmt::print("  extern gate  {}\n", s[3] ? "used" : "not used");
    fmt::print("  interrupt    {}\n", s[4] ? "on" : "off");
    fmt::print("  enabled      {}\n", s[5] ? "yes" : "no");
    fmt::print("  PWM level    {}\n", level_name(level));
    fmt::print("  gate input   {}\n", level_name(gate));
}

void input() {
    OpenBoard b(target.board);
    std::uint8_t value = 0;
    if (input_number) {
        check("i_MFB_ReadPWM1DigitalInput",
              i_MFB_ReadPWM1DigitalInput(b.handle(), target.m(),
                                         static_cast<std::uint8_t>(*input_number), &value));
        fmt::print("input {}: {}\n", *input_number, level_name(value));
        return;
    }
    check("i_MFB_ReadPWMAllDigitalInputs",
          i_MFB_ReadPWMAllDigitalInputs(b.handle(), target.m(), &value));
    fmt::print("inputs: {:#04x} ({:03b}, input 2 to 0)\n", value, value);
}

// on and off take the output into manual setting first; auto gives it back to the module.
void output() {
    OpenBoard b(target.board);
    const std::uint8_t manual = output_state == "auto" ? 0 : 1;
    check("i_MFB_EnableDisablePWMDigitalOutputManualSetting",
          i_MFB_EnableDisablePWMDigitalOutputManualSetting(b.handle(), target.m(), manual));
    if (output_state == "on")
        check("i_MFB_SetPWMDigitalOutputOn", i_MFB_SetPWMDigitalOutputOn(b.handle(), target.m()));
    else if (output_state == "off")
        check("i_MFB_SetPWMDigitalOutputOff", i_MFB_SetPWMDigitalOutputOff(b.handle(), target.m()));
    fmt::print("output {}\n", output_state == "auto" ? "driven by the module" : output_state);
}

void add_pwm_commands(CLI::App& app) {
    auto* pwm = app.add_subcommand(
        "pwm", "PWM module: timing, enable and disable, set-up and status, digital inputs and "
               "output; the steps (each at most once) run in the order given");
    pwm->require_subcommand(1, 0);
    pwm->fallthrough(); // the shared options may follow any step
    pwm->add_option("-b,--board", target.board, "board index (default 1)")->check(kByte);
    pwm->add_option("-m,--module", target.module, "module position (default 0)")->check(kByte);
    pwm->add_option("-p,--pwm", target.pwm, "PWM number, 0 or 1 (default 0)")->check(kByte);

    auto* cmd = pwm->add_subcommand("init", "set the PWM up; shows the achieved durations");
    add_timing_options(cmd);
    cmd->callback(init);

    cmd = pwm->add_subcommand("timing", "give the PWM new durations");
    add_timing_options(cmd);
    cmd->callback(new_timing);

    const std::map<std::string, unsigned> levels = {{"low", 0}, {"high", 1}};
    cmd = pwm->add_subcommand("enable", "start the PWM");
    cmd->add_option("--start-level", settings.start_level, "level a period starts with")
        ->transform(CLI::CheckedTransformer(levels))
        ->capture_default_str();
    cmd->add_option("--stop-mode", settings.stop_mode, "when disable stops it")
        ->transform(
            CLI::CheckedTransformer(std::map<std::string, unsigned>{{"now", 0}, {"period-end", 1}}))
        ->capture_default_str();
    cmd->add_option("--stop-level", settings.stop_level, "level once stopped")
        ->transform(CLI::CheckedTransformer(
            std::map<std::string, unsigned>{{"low", 0}, {"high", 1}, {"hold", 2}}))
        ->capture_default_str();
    cmd->add_flag("--gate", settings.gate, "run only while the gate input is high");
    cmd->add_flag("--interrupt", settings.interrupt, "enable the PWM's interrupt");
    cmd->callback(enable);

    pwm->add_subcommand("disable", "stop the PWM")->callback(disable);
    pwm->add_subcommand("status", "show the set-up and the output and gate levels")
        ->callback(status);

    cmd = pwm->add_subcommand("input", "read the digital inputs");
    cmd->add_option("-i,--input", input_number, "one input, 0 to 2 (default: all)")->check(kByte);
    cmd->callback(input);

    cmd = pwm->add_subcommand("output", "switch the digital output, or give it to the module");
    cmd->add_option("STATE", output_state, "on, off or auto")
        ->required()
        ->check(CLI::IsMember({"on", "off", "auto"}));
    cmd->callback(output);
}

const RegisterCommands registered(add_pwm_commands);

} // namespace
} // namespace mfbctl
