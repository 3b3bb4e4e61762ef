// Pulse encoder commands: set an encoder's period and run mode, load its count, enable and
// disable it and read its count and status; on a simulated board, count the pulses at its output.
//
//     mfbctl pulse-encoder --encoder 2 init --period 100us write 50 enable sleep 10 read
//
// The period goes to the library in microseconds, or in milliseconds when it is written in
// seconds or minutes or does not fit 32 bits in microseconds.
#include "mfbctl.h"

#include "sim/pulse_encoder_module.h"

namespace mfbctl {
namespace pulse_encoder_commands {

struct Setup {
    Time period;
    bool continuous = false;
    // Setting byte 1: 0 microseconds, 1 milliseconds.
    bool in_ms() const {
        return period.unit >= TimeUnit::s ||
               (period.count(TimeUnit::us) > 0xFFFFFFFF && period.ns % unit_ns(TimeUnit::ms) == 0);
    }
    std::uint64_t count() const { return period.count(in_ms() ? TimeUnit::ms : TimeUnit::us); }
};

void check_setup(const Setup& s) {
    if (s.period.ns % unit_ns(TimeUnit::us) != 0)
        throw UsageError(fmt::format("--period: {} is not a whole number of microseconds",
                                     format_time(s.period.ns)));
    check_range(static_cast<std::int64_t>(s.count()), 1, 0xFFFFFFFF,
                fmt::format("pulse period in {}", s.in_ms() ? "ms" : "us"), "--period");
}

std::string where(const ModuleAccess& m, unsigned encoder) {
    return fmt::format("{} encoder {}", m.where(), encoder);
}

Record encoder_record(const ModuleAccess& m, unsigned encoder) {
    return std::move(
        Record().key("board", m.board()).key("module", m.module()).key("encoder", encoder));
}

void read(ModuleAccess& m, const Output& out, unsigned encoder) {
    std::uint32_t count = 0;
    std::uint8_t status = 0;
    m.check("i_MFB_ReadPulseEncoderValue",
            i_MFB_ReadPulseEncoderValue(m.h(), m.module(), u8(encoder), &count));
    m.check("i_MFB_ReadPulseEncoderStatus",
            i_MFB_ReadPulseEncoderStatus(m.h(), m.module(), u8(encoder), &status));
    const bool running = status & 1, zero = status & 2;
    emit(out,
         encoder_record(m, encoder)
             .value("count", count)
             .value("running", running)
             .value("reached_zero", zero)
             .detail("status", status),
         fmt::format("{}: {} pulses to come, {}{}", where(m, encoder), count,
                     running ? "running" : "stopped",
                     zero ? ", the count reached 0 since the last status read" : ""));
}

void output(ModuleAccess& m, const Output& out, unsigned encoder) {
    std::uint64_t pulses = 0;
    with_simulated<mfb::sim::PulseEncoderModule>(
        m, [&](mfb::sim::PulseEncoderModule& p) { pulses = p.pulses(u8(encoder)); });
    emit(out, encoder_record(m, encoder).value("pulses", pulses),
         fmt::format("{}: {} pulses at the simulated output since power-on", where(m, encoder),
                     pulses));
}

void add_pulse_encoder_commands(CLI::App& app) {
    auto g = ModuleGroup::add(app, "pulse-encoder", "the four pulse generators of a module",
                              Function::PulseEncoder);
    auto encoder = std::make_shared<unsigned>(0);
    add_number(g->app(), "--encoder", *encoder, 0, 3, "encoder number", "encoder (default 0)");

    auto s = std::make_shared<Setup>();
    auto* cmd = g->step(
        "init", "set an encoder's pulse period and run mode (refused while it runs)",
        [encoder, s](ModuleAccess& m, const Output& out) {
            m.check("i_MFB_InitPulseEncoder",
                    i_MFB_InitPulseEncoder(m.h(), m.module(), u8(*encoder), s->in_ms() ? 1 : 0,
                                           s->continuous ? 1 : 0,
                                           static_cast<std::uint32_t>(s->count())));
            say(out, fmt::format("{}: a pulse every {}, {}", where(m, *encoder),
                                 format_time(s->period.ns),
                                 s->continuous ? "continuous" : "single run"));
        },
        [s] { check_setup(*s); });
    add_time(cmd, "--period", s->period, "time between pulses (whole us)")->required();
    cmd->add_flag("--continuous", s->continuous, "at a count of 0, load the start value and go on");

    auto value = std::make_shared<std::uint32_t>(0);
    cmd =
        g->step("write", "load the count of pulses to come (and the start value)",
                [encoder, value](ModuleAccess& m, const Output& out) {
                    m.check("i_MFB_WritePulseEncoderValue",
                            i_MFB_WritePulseEncoderValue(m.h(), m.module(), u8(*encoder), *value));
                    say(out, fmt::format("{}: {} pulses loaded", where(m, *encoder), *value));
                });
    add_number(cmd, "COUNT", *value, 0, 0xFFFFFFFF, "pulse count", "pulses")->required();

    struct Enable {
        bool at_once = false, interrupt = false;
    };
    auto e = std::make_shared<Enable>();
    cmd = g->step(
        "enable", "start emitting",
        [encoder, e](ModuleAccess& m, const Output& out) {
            m.check("i_MFB_EnablePulseEncoder",
                    i_MFB_EnablePulseEncoder(m.h(), m.module(), u8(*encoder), e->at_once ? 1 : 0,
                                             e->interrupt ? 1 : 0));
            say(out, fmt::format("{} enabled{}", where(m, *encoder),
                                 e->interrupt ? ", interrupt at a count of 0" : ""));
        },
        [group = g.get(), e] {
            if (e->interrupt)
                require_routine(group->board, "pulse-encoder enable --interrupt");
        });
    cmd->add_flag("--at-once", e->at_once, "the first pulse at once, not a period later");
    cmd->add_flag("--interrupt", e->interrupt,
                  "an interrupt whenever the count reaches 0 (needs an interrupt routine, as "
                  "watch-start installs in a session)");

    g->step("disable", "stop emitting (the count holds)",
            [encoder](ModuleAccess& m, const Output& out) {
                m.check("i_MFB_DisablePulseEncoder",
                        i_MFB_DisablePulseEncoder(m.h(), m.module(), u8(*encoder)));
                say(out, fmt::format("{} disabled", where(m, *encoder)));
            });

    g->read_step("read", "read the count and status (the read clears the reached-0 flag)",
                 [encoder](ModuleAccess& m, const Output& out) { read(m, out, *encoder); });

    g->step("sim", "simulated board: the pulses at an encoder's output since power-on",
            [encoder](ModuleAccess& m, const Output& out) { output(m, out, *encoder); });
}

const RegisterCommands registered(280, add_pulse_encoder_commands);

} // namespace pulse_encoder_commands
} // namespace mfbctl
