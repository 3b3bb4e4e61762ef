// SSI commands: set an SSI module up for values or raw frames, read its encoders at once or by
// acquisition, read its digital inputs and switch its output.
//
// The steps of one `mfbctl ssi` command (each at most once) run in the order given on one board,
// so a set-up and the reads that need it go together:
//     mfbctl ssi init --frame 25 --position 13 --turns 12 read -c 1
#include "mfbctl.h"

#include <chrono>
#include <optional>
#include <thread>

namespace mfbctl {
namespace {

// The options every step shares; they may stand anywhere on the command line.
struct Target {
    unsigned board = 0;
    unsigned module = 3; // board 0 of the simulated bus carries its SSI module at position 3
    std::uint8_t m() const { return static_cast<std::uint8_t>(module); }
};
Target target;

struct Setup {
    unsigned frame = 25, position = 13, turns = 12, base = 30;
    std::uint32_t clock = 500'000;
    bool gray = false;
} setup;

struct RawSetup {
    unsigned frame = 32, base = 30;
    std::uint32_t clock = 500'000;
} raw_setup;

std::optional<unsigned> channel; // one channel, or all three
unsigned words = 16;             // raw words to read from all channels
bool acquire_raw = false;
unsigned timeout_ms = 1'000;
std::optional<unsigned> input_bit;
std::string output_state;

std::string frequency(std::uint32_t hz) {
    if (hz >= 1'000'000 && hz % 1'000 == 0)
        return fmt::format("{:g} MHz", hz / 1e6);
    if (hz >= 1'000)
        return fmt::format("{:g} kHz", hz / 1e3);
    return fmt::format("{} Hz", hz);
}

// Byte arguments go to the library as given; what lies outside a byte is the tool's to refuse.
const CLI::Range kByte(0u, 255u);
std::uint8_t u8(unsigned v) {
    return static_cast<std::uint8_t>(v);
}

void init() {
    OpenBoard b(target.board);
    check("i_MFB_InitSSI",
          i_MFB_InitSSI(b.handle(), target.m(), u8(setup.frame), u8(setup.position),
                        u8(setup.turns), u8(setup.base), setup.clock, setup.gray ? 1 : 0));
    fmt::print("module {}: {}-bit frames, {} position bits, {} turn bits, {} code, SSI clock {} "
               "from {} MHz\n",
               target.module, setup.frame, setup.position, setup.turns,
               setup.gray ? "Gray" : "binary", frequency(setup.clock), setup.base);
}

void raw_init() {
    OpenBoard b(target.board);
    check("i_MFB_InitSSIRawData", i_MFB_InitSSIRawData(b.handle(), target.m(), u8(raw_setup.frame),
                                                       u8(raw_setup.base), raw_setup.clock));
    fmt::print("module {}: raw {}-bit frames, SSI clock {} from {} MHz\n", target.module,
               raw_setup.frame, frequency(raw_setup.clock), raw_setup.base);
}

void print_value(unsigned c, std::uint32_t position, std::uint32_t turns) {
    fmt::print("channel {}: position {:>10}  turns {:>10}\n", c, position, turns);
}

void read() {
    OpenBoard b(target.board);
    if (channel) {
        std::uint32_t position = 0, turns = 0;
        check("i_MFB_Read1SSIValue",
              i_MFB_Read1SSIValue(b.handle(), target.m(), u8(*channel), &position, &turns));
        print_value(*channel, position, turns);
        return;
    }
    std::uint32_t positions[3] = {}, turns[3] = {};
    check("i_MFB_ReadAllSSIValue", i_MFB_ReadAllSSIValue(b.handle(), target.m(), positions, turns));
    for (unsigned c = 0; c < 3; ++c)
        print_value(c, positions[c], turns[c]);
}

void raw() {
    OpenBoard b(target.board);
    if (channel) {
        std::uint32_t frame[2] = {};
        check("i_MFB_Read1SSIRawDataValue",
              i_MFB_Read1SSIRawDataValue(b.handle(), target.m(), u8(*channel), frame, 2));
        fmt::print("channel {}: {:#06x} {:#010x}\n", *channel, frame[1], frame[0]);
        return;
    }
    std::uint32_t all[16] = {};
    check("i_MFB_ReadAllSSIRawDataValue",
          i_MFB_ReadAllSSIRawDataValue(b.handle(), target.m(), all, u8(words)));
    for (unsigned i = 0; i < words; ++i)
        fmt::print("word {:>2}: {:#010x}\n", i, all[i]);
}

// Start an acquisition, wait for it (polling every millisecond, at most timeout_ms) and fetch the
// channels.
void acquire() {
    OpenBoard b(target.board);
    check("i_MFB_StartSSIAcquisition", i_MFB_StartSSIAcquisition(b.handle(), target.m()));
    const auto started = std::chrono::steady_clock::now();
    std::uint8_t status = 0;
    unsigned polls = 0;
    for (;;) {
        check("i_MFB_GetSSIAcquisitionStatus",
              i_MFB_GetSSIAcquisitionStatus(b.handle(), target.m(), &status));
        if (status == 2) // the simulated module's "frames are in"; see sim/ssi_module.h
            break;
        if (polls++ >= timeout_ms)
            throw std::runtime_error(fmt::format("acquisition not finished after {} ms (status {})",
                                                 timeout_ms, status));
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const std::chrono::duration<double, std::milli> took =
        std::chrono::steady_clock::now() - started;
    fmt::print("acquired in {:.1f} ms\n", took.count());
    for (unsigned c = channel.value_or(0); c <= channel.value_or(2); ++c) {
        if (acquire_raw) {
            std::uint32_t frame[2] = {};
            check("i_MFB_GetSSIRawDataValue",
                  i_MFB_GetSSIRawDataValue(b.handle(), target.m(), u8(c), frame, 2));
            fmt::print("channel {}: {:#06x} {:#010x}\n", c, frame[1], frame[0]);
        } else {
            std::uint32_t position = 0, turns = 0;
            check("i_MFB_GetSSIValue",
                  i_MFB_GetSSIValue(b.handle(), target.m(), u8(c), &position, &turns));
            print_value(c, position, turns);
        }
    }
}

void input() {
    OpenBoard b(target.board);
    std::uint8_t value = 0;
    if (input_bit) {
        check("i_MFB_ReadSSI1DigitalInput",
              i_MFB_ReadSSI1DigitalInput(b.handle(), target.m(), u8(*input_bit), &value));
        fmt::print("input {}: {}\n", *input_bit, value ? "high" : "low");
        return;
    }
    check("i_MFB_ReadSSIAllDigitalInput",
          i_MFB_ReadSSIAllDigitalInput(b.handle(), target.m(), &value));
    fmt::print("inputs: {:#04x} ({:08b}, input 7 to 0)\n", value, value);
}

void output() {
    OpenBoard b(target.board);
    if (output_state == "on")
        check("i_MFB_SetSSIDigitalOutputOn", i_MFB_SetSSIDigitalOutputOn(b.handle(), target.m()));
    else
        check("i_MFB_SetSSIDigitalOutputOff", i_MFB_SetSSIDigitalOutputOff(b.handle(), target.m()));
    fmt::print("output {}\n", output_state);
}

void add_ssi_commands(CLI::App& app) {
    auto* ssi = app.add_subcommand(
        "ssi", "SSI module: set-up, encoder values and raw frames, digital input and output; "
               "the steps (each at most once) run in the order given");
    ssi->require_subcommand(1, 0);
    ssi->fallthrough(); // the shared options may follow any step
    add_board_option(ssi, target.board);
    ssi->add_option("-m,--module", target.module, "module position (default 3)")->check(kByte);

    auto* cmd = ssi->add_subcommand("init", "set up for position and turns");
    cmd->add_option("--frame", setup.frame, "frame length in bits, 2 to 32")
        ->capture_default_str()
        ->check(kByte);
    cmd->add_option("--position", setup.position, "position bits")
        ->capture_default_str()
        ->check(kByte);
    cmd->add_option("--turns", setup.turns, "turn bits")->capture_default_str()->check(kByte);
    cmd->add_option("--clock-base", setup.base, "clock base in MHz, 30 or 33")
        ->capture_default_str()
        ->check(kByte);
    cmd->add_option("--clock", setup.clock, "SSI clock in Hz")->capture_default_str();
    cmd->add_flag("--gray", setup.gray, "the encoders send Gray code");
    cmd->callback(init);

    cmd = ssi->add_subcommand("raw-init", "set up for raw frames");
    cmd->add_option("--frame", raw_setup.frame, "frame length in bits, 2 to 48")
        ->capture_default_str()
        ->check(kByte);
    cmd->add_option("--clock-base", raw_setup.base, "clock base in MHz, 30 or 33")
        ->capture_default_str()
        ->check(kByte);
    cmd->add_option("--clock", raw_setup.clock, "SSI clock in Hz")->capture_default_str();
    cmd->callback(raw_init);

    cmd = ssi->add_subcommand("read", "read position and turns now (after init)");
    cmd->add_option("-c,--channel", channel, "SSI channel (default: all three)")->check(kByte);
    cmd->callback(read);

    cmd = ssi->add_subcommand("raw", "read raw frames now (after raw-init)");
    cmd->add_option("-c,--channel", channel, "SSI channel (default: all three)")->check(kByte);
    cmd->add_option("-w,--words", words, "words of all channels to read, 0 to 16")
        ->capture_default_str()
        ->check(kByte);
    cmd->callback(raw);

    cmd = ssi->add_subcommand("acquire", "start an acquisition, wait for it, fetch the channels");
    cmd->add_option("-c,--channel", channel, "SSI channel (default: all three)")->check(kByte);
    cmd->add_flag("--raw", acquire_raw, "fetch raw frames (after raw-init)");
    cmd->add_option("--timeout", timeout_ms, "longest wait in ms")->capture_default_str();
    cmd->callback(acquire);

    cmd = ssi->add_subcommand("input", "read the digital inputs");
    cmd->add_option("-i,--input", input_bit, "one input bit (default: the whole byte)")
        ->check(kByte);
    cmd->callback(input);

    cmd = ssi->add_subcommand("output", "switch the digital output");
    cmd->add_option("STATE", output_state, "on or off")
        ->required()
        ->check(CLI::IsMember({"on", "off"}));
    cmd->callback(output);
}

const RegisterCommands registered(add_ssi_commands);

} // namespace
} // namespace mfbctl
