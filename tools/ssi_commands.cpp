// SSI commands: set an SSI module up for values or raw frames, read its encoders at once or by
// acquisition, read its digital inputs and switch its output.
//
//     mfbctl ssi -c 1 init --frame 25 --position 13 --turns 12 read
#include "mfbctl.h"

#include <chrono>
#include <thread>

namespace mfbctl {
namespace ssi_commands {

using Channel = std::optional<unsigned>; // one channel, or all three

struct Setup {
    unsigned frame = 25, position = 13, turns = 12, base = 30;
    std::uint32_t clock = 500'000;
    bool gray = false;
};

struct RawSetup {
    unsigned frame = 32, base = 30;
    std::uint32_t clock = 500'000;
};

std::string frequency(std::uint32_t hz) {
    if (hz >= 1'000'000 && hz % 1'000 == 0)
        return fmt::format("{:g} MHz", hz / 1e6);
    if (hz >= 1'000)
        return fmt::format("{:g} kHz", hz / 1e3);
    return fmt::format("{} Hz", hz);
}

// The SSI clock is divided from the clock base by at most 2^17: 229 Hz from 30 MHz, 252 Hz from
// 33 MHz, and at most 5 MHz from either.
void check_clock(unsigned base, std::uint32_t clock) {
    check_range(clock, base == 30 ? 229 : 252, 5'000'000,
                fmt::format("SSI clock in Hz with clock base {} MHz", base), "--clock");
}

void add_clock_options(CLI::App* cmd, unsigned& base, std::uint32_t& clock) {
    add_choice(cmd, "--clock-base", base, {{"30", 30}, {"33", 33}}, "clock base",
               "clock base in MHz, 30 (default) or 33");
    add_number(cmd, "--clock", clock, 229, 5'000'000, "SSI clock in Hz",
               "SSI clock in Hz, from 229 (base 30) or 252 (base 33) (default 500000)");
}

void check_setup(const Setup& s) {
    check_range(s.position, 1, s.frame, fmt::format("position bits of a {}-bit frame", s.frame),
                "--position");
    check_range(
        s.turns, 0, s.frame - s.position,
        fmt::format("turn bits beside {} position bits in a {}-bit frame", s.position, s.frame),
        "--turns");
    check_clock(s.base, s.clock);
}

Record ssi_record(const ModuleAccess& m) {
    return std::move(Record().key("board", m.board()).key("module", m.module()));
}

void init(ModuleAccess& m, const Output& out, const Setup& s) {
    m.check("i_MFB_InitSSI", i_MFB_InitSSI(m.h(), m.module(), u8(s.frame), u8(s.position),
                                           u8(s.turns), u8(s.base), s.clock, s.gray ? 1 : 0));
    say(out, fmt::format("{}: {}-bit frames, {} position bits, {} turn bits, {} code, SSI clock "
                         "{} from {} MHz",
                         m.where(), s.frame, s.position, s.turns, s.gray ? "Gray" : "binary",
                         frequency(s.clock), s.base));
}

void raw_init(ModuleAccess& m, const Output& out, const RawSetup& s) {
    m.check("i_MFB_InitSSIRawData",
            i_MFB_InitSSIRawData(m.h(), m.module(), u8(s.frame), u8(s.base), s.clock));
    say(out, fmt::format("{}: raw {}-bit frames, SSI clock {} from {} MHz", m.where(), s.frame,
                         frequency(s.clock), s.base));
}

void emit_value(const ModuleAccess& m, const Output& out, unsigned c, std::uint32_t position,
                std::uint32_t turns) {
    emit(
        out, ssi_record(m).key("channel", c).value("position", position).value("turns", turns),
        fmt::format("{} channel {}: position {:>10}  turns {:>10}", m.where(), c, position, turns));
}

void emit_frame(const ModuleAccess& m, const Output& out, unsigned c, const std::uint32_t* f) {
    emit(out,
         ssi_record(m).key("channel", c).value("words", std::vector<std::uint32_t>{f[0], f[1]}),
         fmt::format("{} channel {}: word 0 {:#010x}, word 1 {:#06x}", m.where(), c, f[0], f[1]));
}

void read(ModuleAccess& m, const Output& out, const Channel& channel) {
    if (channel) {
        std::uint32_t position = 0, turns = 0;
        m.check("i_MFB_Read1SSIValue",
                i_MFB_Read1SSIValue(m.h(), m.module(), u8(*channel), &position, &turns));
        emit_value(m, out, *channel, position, turns);
        return;
    }
    std::uint32_t positions[3] = {}, turns[3] = {};
    m.check("i_MFB_ReadAllSSIValue", i_MFB_ReadAllSSIValue(m.h(), m.module(), positions, turns));
    for (unsigned c = 0; c < 3; ++c)
        emit_value(m, out, c, positions[c], turns[c]);
}

void raw(ModuleAccess& m, const Output& out, const Channel& channel, unsigned words) {
    if (channel) {
        std::uint32_t frame[2] = {};
        m.check("i_MFB_Read1SSIRawDataValue",
                i_MFB_Read1SSIRawDataValue(m.h(), m.module(), u8(*channel), frame, 2));
        emit_frame(m, out, *channel, frame);
        return;
    }
    std::uint32_t all[16] = {};
    m.check("i_MFB_ReadAllSSIRawDataValue",
            i_MFB_ReadAllSSIRawDataValue(m.h(), m.module(), all, u8(words)));
    std::string text = fmt::format("{} raw words of all channels", m.where());
    for (unsigned i = 0; i < words; ++i)
        text += fmt::format("\n  word {:>2}: {:#010x}", i, all[i]);
    emit(out, ssi_record(m).value("words", std::vector<std::uint32_t>(all, all + words)), text);
}

// Start an acquisition, wait for it (polling every millisecond, at most the timeout) and fetch
// the channels.
void acquire(ModuleAccess& m, const Output& out, const Channel& channel, bool as_raw,
             const Time& timeout) {
    m.check("i_MFB_StartSSIAcquisition", i_MFB_StartSSIAcquisition(m.h(), m.module()));
    const auto started = std::chrono::steady_clock::now();
    const auto deadline = started + std::chrono::nanoseconds(timeout.ns);
    std::uint8_t status = 0;
    for (;;) {
        m.check("i_MFB_GetSSIAcquisitionStatus",
                i_MFB_GetSSIAcquisitionStatus(m.h(), m.module(), &status));
        if (status == 2) // the simulated module's "frames are in"; see sim/ssi_module.h
            break;
        if (std::chrono::steady_clock::now() >= deadline)
            throw std::runtime_error(
                fmt::format("{}: acquisition not finished after {} (status {})", m.where(),
                            format_time(timeout.ns), status));
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const std::chrono::duration<double, std::milli> took =
        std::chrono::steady_clock::now() - started;
    say(out, fmt::format("{}: acquired in {:.1f} ms", m.where(), took.count()));
    for (unsigned c = channel.value_or(0); c <= channel.value_or(2); ++c) {
        if (as_raw) {
            std::uint32_t frame[2] = {};
            m.check("i_MFB_GetSSIRawDataValue",
                    i_MFB_GetSSIRawDataValue(m.h(), m.module(), u8(c), frame, 2));
            emit_frame(m, out, c, frame);
        } else {
            std::uint32_t position = 0, turns = 0;
            m.check("i_MFB_GetSSIValue",
                    i_MFB_GetSSIValue(m.h(), m.module(), u8(c), &position, &turns));
            emit_value(m, out, c, position, turns);
        }
    }
}

void input(ModuleAccess& m, const Output& out, const std::optional<unsigned>& bit) {
    std::uint8_t value = 0;
    if (bit) {
        m.check("i_MFB_ReadSSI1DigitalInput",
                i_MFB_ReadSSI1DigitalInput(m.h(), m.module(), u8(*bit), &value));
        emit(out, ssi_record(m).key("input", *bit).value("value", value),
             fmt::format("{} input {}: {}", m.where(), *bit, value));
        return;
    }
    m.check("i_MFB_ReadSSIAllDigitalInput",
            i_MFB_ReadSSIAllDigitalInput(m.h(), m.module(), &value));
    std::vector<unsigned> bits;
    std::string text = fmt::format("{} inputs 0-7:", m.where());
    for (unsigned b = 0; b < 8; ++b) {
        bits.push_back((value >> b) & 1);
        text += fmt::format(" {}", bits.back());
    }
    emit(out, ssi_record(m).value("inputs", bits).detail("byte", value), text);
}

void add_ssi_commands(CLI::App& app) {
    auto g = ModuleGroup::add(app, "ssi",
                              "SSI module: encoder values and raw frames, digital "
                              "input and output",
                              Function::Ssi);
    auto channel = std::make_shared<Channel>();
    add_number(g->app(), "-c,--channel", *channel, 0, 2, "SSI channel",
               "one SSI channel (default: all three)");

    auto s = std::make_shared<Setup>();
    auto* cmd = g->step(
        "init", "set up for position and turns",
        [s](ModuleAccess& m, const Output& out) { init(m, out, *s); }, [s] { check_setup(*s); });
    add_number(cmd, "--frame", s->frame, 2, 32, "frame length",
               "frame length in bits (default 25)");
    add_number(cmd, "--position", s->position, 1, 32, "position bits",
               "position bits, up to the frame length (default 13)");
    add_number(cmd, "--turns", s->turns, 0, 31, "turn bits",
               "turn bits, up to the rest of the frame (default 12)");
    add_clock_options(cmd, s->base, s->clock);
    cmd->add_flag("--gray", s->gray, "the encoders send Gray code");

    auto rs = std::make_shared<RawSetup>();
    cmd = g->step(
        "raw-init", "set up for raw frames",
        [rs](ModuleAccess& m, const Output& out) { raw_init(m, out, *rs); },
        [rs] { check_clock(rs->base, rs->clock); });
    add_number(cmd, "--frame", rs->frame, 2, 48, "frame length",
               "frame length in bits (default 32)");
    add_clock_options(cmd, rs->base, rs->clock);

    g->read_step("read", "read position and turns now (after init)",
                 [channel](ModuleAccess& m, const Output& out) { read(m, out, *channel); });

    auto words = std::make_shared<unsigned>(16);
    cmd = g->step(
        "raw", "read raw frames now (after raw-init)",
        [channel, words](ModuleAccess& m, const Output& out) { raw(m, out, *channel, *words); });
    add_number(cmd, "-w,--words", *words, 0, 16, "word count",
               "words of all channels to read (default 16)");

    auto as_raw = std::make_shared<bool>(false);
    auto timeout = std::make_shared<Time>(Time{1'000'000'000, TimeUnit::ms});
    cmd = g->step("acquire", "start an acquisition, wait for it, fetch the channels",
                  [channel, as_raw, timeout](ModuleAccess& m, const Output& out) {
                      acquire(m, out, *channel, *as_raw, *timeout);
                  });
    cmd->add_flag("--raw", *as_raw, "fetch raw frames (after raw-init)");
    add_time(cmd, "--timeout", *timeout, "longest wait (default 1s)");

    auto bit = std::make_shared<std::optional<unsigned>>();
    cmd = g->step("input", "read the digital inputs",
                  [bit](ModuleAccess& m, const Output& out) { input(m, out, *bit); });
    add_number(cmd, "-i,--input", *bit, 0, 7, "input number", "one input (default: all eight)");

    auto on = std::make_shared<unsigned>(0);
    cmd = g->step("output", "switch the digital output", [on](ModuleAccess& m, const Output& out) {
        if (*on)
            m.check("i_MFB_SetSSIDigitalOutputOn", i_MFB_SetSSIDigitalOutputOn(m.h(), m.module()));
        else
            m.check("i_MFB_SetSSIDigitalOutputOff",
                    i_MFB_SetSSIDigitalOutputOff(m.h(), m.module()));
        say(out, fmt::format("{} output {}", m.where(), *on ? "on" : "off"));
    });
    add_choice(cmd, "STATE", *on, {{"on", 1}, {"off", 0}}, "output state", "on or off")->required();
}

const RegisterCommands registered(240, add_ssi_commands);

} // namespace ssi_commands
} // namespace mfbctl
