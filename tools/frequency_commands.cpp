// Frequency measurement commands: set the gate time up, enable and disable the module, read the
// periods counted in the last gate and the frequency they give; on a simulated board, set the
// frequency at the input.
//
//     mfbctl freq init --clock 40 --gate 1ms sim --hz 25000 enable read
//
// The gate time goes to the library in nanoseconds, which every clock's whole range can be
// written in; the library rounds it to whole ticks of the clock and reports the gate achieved,
// which the reads of the same run or session divide the count by.
#include "mfbctl.h"

#include "sim/frequency_module.h"

#include <chrono>
#include <map>
#include <thread>

namespace mfbctl {
namespace frequency_commands {

// The gate times each clock takes, in ns, bounds included.
struct ClockRange {
    unsigned mhz;
    std::uint64_t lo, hi;
};
constexpr ClockRange kClocks[] = {{30, 266, 8'738'133}, {33, 242, 7'943'757}, {40, 200, 6'553'500}};

const ClockRange& clock_range(unsigned mhz) {
    for (const ClockRange& c : kClocks)
        if (c.mhz == mhz)
            return c;
    return kClocks[2];
}

struct Setup {
    unsigned clock = 40;
    Time gate;
};

void check_setup(const Setup& s) {
    const ClockRange& c = clock_range(s.clock);
    if (s.gate.ns < c.lo || s.gate.ns > c.hi)
        throw UsageError(fmt::format("--gate: {} is out of range for the gate time with a {} MHz "
                                     "clock ({} to {})",
                                     format_time(s.gate.ns), s.clock, format_time(c.lo),
                                     format_time(c.hi)));
}

// The gate achieved at each board and module set up in this run or session, in ns.
std::map<std::pair<unsigned, unsigned>, std::uint64_t>& gates() {
    static std::map<std::pair<unsigned, unsigned>, std::uint64_t> known;
    return known;
}

void init(ModuleAccess& m, const Output& out, const Setup& s) {
    std::uint32_t real = 0;
    m.check("i_MFB_InitFrequencyMeasurement",
            i_MFB_InitFrequencyMeasurement(m.h(), m.module(), u8(s.clock), 0,
                                           static_cast<std::uint32_t>(s.gate.ns), &real));
    gates()[{m.board(), m.module()}] = real;
    say(out, fmt::format("{}: gate {} (asked {}), {} MHz clock", m.where(), format_time(real),
                         format_time(s.gate.ns), s.clock));
}

void read(ModuleAccess& m, const Output& out, const Time& wait) {
    std::uint8_t enabled = 0, fresh = 0;
    std::uint32_t periods = 0;
    const auto until = std::chrono::steady_clock::now() + std::chrono::nanoseconds(wait.ns);
    for (;;) {
        m.check("i_MFB_ReadFrequencyMeasurement",
                i_MFB_ReadFrequencyMeasurement(m.h(), m.module(), &enabled, &fresh, &periods));
        if (fresh != 0 || std::chrono::steady_clock::now() >= until)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    Record r = Record().key("board", m.board()).key("module", m.module());
    r.value("periods", periods).value("new", fresh).value("enabled", enabled != 0);
    std::string text = fmt::format("{}: {} periods in the gate{}", m.where(), periods,
                                   fresh == 0   ? " (read before: no gate closed since)"
                                   : fresh == 1 ? ""
                                                : fmt::format(" ({} gates closed since the "
                                                              "last read)",
                                                              fresh));
    const auto gate = gates().find({m.board(), m.module()});
    if (gate != gates().end() && gate->second != 0) {
        const double hz = periods * 1e9 / static_cast<double>(gate->second);
        r.value("hz", hz).detail("gate_ns", gate->second);
        text += fmt::format(": {:.6g} Hz over {}", hz, format_time(gate->second));
    } else {
        text += " (the gate is known after init in the same run or session)";
    }
    emit(out, r, text + (enabled ? "" : "; the module is not enabled"));
}

void simulate(ModuleAccess& m, const Output& out, std::uint32_t hz) {
    with_simulated<mfb::sim::FrequencyModule>(
        m, [&](mfb::sim::FrequencyModule& f) { f.set_input_frequency(hz); });
    say(out, fmt::format("{}: simulated input at {} Hz", m.where(), hz));
}

void add_frequency_commands(CLI::App& app) {
    auto g = ModuleGroup::add(app, "freq", "frequency measurement module", Function::Frequency);

    auto s = std::make_shared<Setup>();
    auto* cmd = g->step(
        "init", "set the gate time up (refused while enabled)",
        [s](ModuleAccess& m, const Output& out) { init(m, out, *s); }, [s] { check_setup(*s); });
    add_choice(cmd, "--clock", s->clock, {{"30", 30}, {"33", 33}, {"40", 40}}, "clock in MHz",
               "30, 33 or 40 MHz (default 40)");
    add_time(
        cmd, "--gate", s->gate,
        "gate time: 266ns to 8738.133us (30 MHz), 242ns to 7943.757us (33), 200ns to 6553.5us (40)")
        ->required();

    auto continuous = std::make_shared<bool>(false);
    g->step("enable", "open the first gate", [continuous](ModuleAccess& m, const Output& out) {
         m.check("i_MFB_EnableFrequencyMeasurement",
                 i_MFB_EnableFrequencyMeasurement(m.h(), m.module(), *continuous ? 1 : 0));
         say(out, fmt::format("{} enabled: {}", m.where(),
                              *continuous ? "gates back to back" : "one gate"));
     })->add_flag("--continuous", *continuous, "gates back to back until disabled");

    g->step("disable", "stop measuring", [](ModuleAccess& m, const Output& out) {
        m.check("i_MFB_DisableFrequencyMeasurement",
                i_MFB_DisableFrequencyMeasurement(m.h(), m.module()));
        say(out, fmt::format("{} disabled", m.where()));
    });

    auto wait = std::make_shared<Time>(Time{100'000'000, TimeUnit::ms});
    cmd = g->read_step("read", "read the last gate's count and the frequency",
                       [wait](ModuleAccess& m, const Output& out) { read(m, out, *wait); });
    add_time(cmd, "--wait", *wait, "wait up to this long for a new result (default 100ms)");

    auto hz = std::make_shared<std::uint32_t>(0);
    cmd = g->bench_step("sim", "simulated board: the frequency at the input",
                        [hz](ModuleAccess& m, const Output& out) { simulate(m, out, *hz); });
    add_number(cmd, "--hz", *hz, 0, 0xFFFFFFFF, "input frequency", "in Hz (0: nothing connected)")
        ->required();
}

const RegisterCommands registered(270, add_frequency_commands);

} // namespace frequency_commands
} // namespace mfbctl
