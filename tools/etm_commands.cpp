// ETM commands: set an ETM's time base, enable and disable it, read its measurement (value, total
// time, duty cycle, the durations) and its set-up; on a simulated board, set the signal at its
// input.
//
//     mfbctl etm init --base 100ns sim --period 10us --high 3us enable --mode continuous read
//
// The time base goes to the library in the unit it is written in (ns, us or ms; seconds and
// minutes in ms).
#include "mfbctl.h"

#include "sim/etm_module.h"

namespace mfbctl {
namespace etm_commands {

const Choices kStarts = {{"rising", 0}, {"falling", 1}};
const Choices kModes = {{"single", 0}, {"continuous", 1}};
const char* const kStates[] = {"not enabled", "no finished measurement yet", "finished",
                               "finished, earlier ones not read"};

struct Base {
    TimeUnit unit;
    std::uint32_t code;
};
constexpr Base kBases[] = {{TimeUnit::ns, 0}, {TimeUnit::us, 1}, {TimeUnit::ms, 2}};

Base base_of(const Time& t) {
    return kBases[std::min(static_cast<unsigned>(t.unit), 2u)];
}

void check_base(const Time& t) {
    const Base b = base_of(t);
    check_range(static_cast<std::int64_t>(t.count(b.unit)), 1, 0xFFFFFFFF,
                fmt::format("time base in {}", unit_name(b.unit)), "--base");
}

std::string where(const ModuleAccess& m, unsigned etm) {
    return fmt::format("{} ETM {}", m.where(), etm);
}

Record etm_record(const ModuleAccess& m, unsigned etm) {
    return std::move(Record().key("board", m.board()).key("module", m.module()).key("etm", etm));
}

struct Setup {
    std::uint8_t unit = 0;
    std::uint32_t base = 0;
    std::uint8_t s[6] = {};
    std::uint64_t tick_ns() const { return unit < 3 ? base * unit_ns(kBases[unit].unit) : 0; }
};

Setup setup_of(ModuleAccess& m, unsigned etm) {
    Setup s;
    m.check("i_MFB_GetETMInitialisation",
            i_MFB_GetETMInitialisation(m.h(), m.module(), u8(etm), &s.unit, &s.base, &s.s[0],
                                       &s.s[1], &s.s[2], &s.s[3], &s.s[4], &s.s[5]));
    return s;
}

// A tick count as hours, minutes, seconds, ms, us and ns. The library converts with the time
// base of ETM 0; for ETM 1 with a time base of its own the tool converts with that one.
std::vector<std::uint32_t> duration(ModuleAccess& m, unsigned etm, std::uint32_t ticks) {
    const Setup own = setup_of(m, etm);
    const Setup first = etm == 0 ? own : setup_of(m, 0);
    if (own.unit == first.unit && own.base == first.base) {
        std::uint32_t h = 0, ms = 0, us = 0, ns = 0;
        std::uint8_t min = 0, sec = 0;
        m.check("i_MFB_ConvertETMValue",
                i_MFB_ConvertETMValue(m.h(), m.module(), ticks, &h, &min, &sec, &ms, &us, &ns));
        return {h, min, sec, ms, us, ns};
    }
    std::uint64_t t = ticks * own.tick_ns();
    std::vector<std::uint32_t> parts(6);
    for (auto [i, per] : {std::pair{5, 1000}, {4, 1000}, {3, 1000}, {2, 60}, {1, 60}})
        parts[static_cast<std::size_t>(i)] = static_cast<std::uint32_t>(t % per), t /= per;
    parts[0] = static_cast<std::uint32_t>(t);
    return parts;
}

std::string duration_text(const std::vector<std::uint32_t>& d) {
    return fmt::format("{} h {} min {} s {} ms {} \xC2\xB5s {} ns", d[0], d[1], d[2], d[3], d[4],
                       d[5]);
}

void init(ModuleAccess& m, const Output& out, unsigned etm, const Time& base) {
    const Base b = base_of(base);
    std::uint32_t real = 0;
    m.check("i_MFB_InitETM", i_MFB_InitETM(m.h(), m.module(), u8(etm), u8(b.code),
                                           static_cast<std::uint32_t>(base.count(b.unit)), &real));
    say(out, fmt::format("{}: time base {} (asked {})", where(m, etm),
                         format_time(real * unit_ns(b.unit)), format_time(base.ns)));
}

void read(ModuleAccess& m, const Output& out, unsigned etm, const Time& wait) {
    const std::uint64_t ms = wait.count(TimeUnit::ms);
    std::uint8_t state = 0;
    std::uint32_t value = 0, total = 0;
    double duty = 0;
    m.check("i_MFB_ReadETMValue",
            i_MFB_ReadETMValue(
                m.h(), m.module(), u8(etm),
                ms == 0 ? 0xFFFFFFFF
                        : static_cast<std::uint32_t>(std::min<std::uint64_t>(ms, 0xFFFFFFFE)),
                &state, &value));
    // One request each: the same measurement as the value's.
    m.check("i_MFB_ReadETMTotalTime",
            i_MFB_ReadETMTotalTime(m.h(), m.module(), u8(etm), 0xFFFFFFFF, nullptr, &total));
    m.check("i_MFB_ReadETMDutyCycleValue",
            i_MFB_ReadETMDutyCycleValue(m.h(), m.module(), u8(etm), 0xFFFFFFFF, nullptr, &duty));
    const auto value_d = duration(m, etm, value), total_d = duration(m, etm, total);
    const std::uint64_t tick = setup_of(m, etm).tick_ns();
    Record r = etm_record(m, etm);
    r.value("state", state).value("value", value).value("total", total).value("duty_cycle", duty);
    r.value("value_ns", value * tick).value("total_ns", total * tick);
    r.detail("state_words", state < 4 ? kStates[state] : "?");
    r.detail("value_duration", value_d).detail("total_duration", total_d);
    emit(out, r,
         fmt::format("{}: {} (state {})\n  value       {} ticks  ({})\n  total time  {} ticks  "
                     "({})\n  duty cycle  {:.2f} %",
                     where(m, etm), state < 4 ? kStates[state] : "?", state, value,
                     duration_text(value_d), total, duration_text(total_d), duty));
}

void status(ModuleAccess& m, const Output& out, unsigned etm) {
    const Setup s = setup_of(m, etm);
    std::uint8_t progress = 0;
    m.check("i_MFB_GetETMProgressStatus",
            i_MFB_GetETMProgressStatus(m.h(), m.module(), u8(etm), &progress));
    static const char* const kProgress[] = {"not enabled", "waiting for the start edge",
                                            "measuring"};
    Record r = etm_record(m, etm);
    r.value("tick_ns", s.tick_ns()).value("enabled", s.s[5] != 0).value("progress", progress);
    r.detail("timing_unit", s.unit).detail("settings", std::vector<unsigned>(s.s, s.s + 6));
    emit(out, r,
         fmt::format("{}\n  time base  {}\n  start      {} edge\n  mode       {}\n  enabled    "
                     "{}\n  progress   {}",
                     where(m, etm), format_time(s.tick_ns()), s.s[0] ? "falling" : "rising",
                     s.s[1] ? "continuous" : "single", s.s[5] ? "yes" : "no",
                     progress < 3 ? kProgress[progress] : "?"));
}

struct Signal {
    Time period, high;
};

void simulate(ModuleAccess& m, const Output& out, unsigned etm, const Signal& sig) {
    with_simulated<mfb::sim::EtmModule>(
        m, [&](mfb::sim::EtmModule& e) { e.set_signal(u8(etm), sig.period.ns, sig.high.ns); });
    say(out, fmt::format("{}: simulated signal, period {}, high {}", where(m, etm),
                         format_time(sig.period.ns), format_time(sig.high.ns)));
}

void add_etm_commands(CLI::App& app) {
    auto g = ModuleGroup::add(app, "etm", "the two ETMs (time-interval measurement) of a module",
                              Function::Etm);
    auto etm = std::make_shared<unsigned>(0);
    add_number(g->app(), "--etm", *etm, 0, 1, "ETM number", "ETM (default 0)");

    auto base = std::make_shared<Time>();
    auto* cmd = g->step(
        "init", "set an ETM's time base (refused while it is enabled)",
        [etm, base](ModuleAccess& m, const Output& out) { init(m, out, *etm, *base); },
        [base] { check_base(*base); });
    add_time(cmd, "--base", *base, "one tick (ns, us or ms; ns in steps of 25)")->required();

    auto settings = std::make_shared<std::array<unsigned, 2>>();
    cmd = g->step("enable", "start measuring", [etm, settings](ModuleAccess& m, const Output& out) {
        m.check("i_MFB_EnableETM", i_MFB_EnableETM(m.h(), m.module(), u8(*etm), u8((*settings)[0]),
                                                   u8((*settings)[1]), 0, 0, 0));
        say(out, fmt::format("{} enabled: {} edge, {}", where(m, *etm),
                             (*settings)[0] ? "falling" : "rising",
                             (*settings)[1] ? "continuous" : "single"));
    });
    add_choice(cmd, "--start", (*settings)[0], kStarts, "start edge",
               "rising (default: measures the high phase) or falling (the low phase)");
    add_choice(cmd, "--mode", (*settings)[1], kModes, "ETM mode",
               "single (default: one measurement) or continuous");

    g->step("disable", "stop measuring", [etm](ModuleAccess& m, const Output& out) {
        m.check("i_MFB_DisableETM", i_MFB_DisableETM(m.h(), m.module(), u8(*etm)));
        say(out, fmt::format("{} disabled", where(m, *etm)));
    });

    auto wait = std::make_shared<Time>(Time{100'000'000, TimeUnit::ms});
    cmd = g->read_step(
        "read", "read the measurement: value, total time, duty cycle, durations",
        [etm, wait](ModuleAccess& m, const Output& out) { read(m, out, *etm, *wait); });
    add_time(cmd, "--wait", *wait,
             "wait up to this long for a finished measurement, in ms (default 100ms; 0: no wait)");

    g->step("status", "show an ETM's set-up and progress",
            [etm](ModuleAccess& m, const Output& out) { status(m, out, *etm); });

    auto sig = std::make_shared<Signal>();
    cmd = g->bench_step(
        "sim", "simulated board: the pulse train at an ETM's input",
        [etm, sig](ModuleAccess& m, const Output& out) { simulate(m, out, *etm, *sig); },
        [sig] {
            if (sig->period.ns != 0 && sig->high.ns >= sig->period.ns)
                throw UsageError("--high: the high phase must be shorter than the period");
        });
    add_time(cmd, "--period", sig->period, "period (0: no signal)")->required();
    add_time(cmd, "--high", sig->high, "high phase")->required();
}

const RegisterCommands registered(260, add_etm_commands);

} // namespace etm_commands
} // namespace mfbctl
