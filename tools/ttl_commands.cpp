// TTL I/O commands: set the line directions, read the lines and switch single lines on and off.
// Each command opens the board for its own run, and a simulated module starts from its power-on
// state (all lines inputs) every time; so the commands take the directions to set first, and
// `read` takes the levels the simulated test bench drives on the input lines.
#include "module_option.h"

#include "mfb_vbus.h"
#include "sim/ttl_module.h"

#include <vector>

namespace mfbctl {
namespace {

using mfb::sim::Function;

struct Options {
    unsigned board = 0;
    std::optional<unsigned> module;
    std::vector<unsigned> direction; // empty: leave as they are
    std::optional<unsigned> port, channel, line;
    std::optional<std::uint32_t> drive;
};

// A board opened for one command, with the module it addresses and the directions set.
struct Ttl {
    explicit Ttl(const Options& o)
        : board(o.board), module(module_or_first(o.board, o.module, Function::TtlIo)) {
        if (o.direction.empty())
            return;
        check("i_MFB_InitTTLIODirection",
              i_MFB_InitTTLIODirection(h(), module, u8(o.direction[0]), u8(o.direction[1]),
                                       u8(o.direction[2]), u8(o.direction[3])));
    }
    OpenBoard board;
    std::uint8_t module;
    MFB_BoardHandle h() const { return board.handle(); }
};

CLI::App* add_command(CLI::App* group, const char* name, const char* help, Options& o) {
    CLI::App* cmd = group->add_subcommand(name, help);
    add_board_option(cmd, o.board);
    add_module_option(cmd, o.module);
    cmd->add_option("-d,--direction", o.direction,
                    "four direction flags to set first, 1 output, 0 input: ports 0 and 1, "
                    "port 2, port 3, port 4")
        ->expected(4)
        ->check(CLI::Range(0u, 255u));
    return cmd;
}

void show_all(const Ttl& t) {
    std::uint32_t v = 0;
    check("i_MFB_ReadTTLIOAllPortValue", i_MFB_ReadTTLIOAllPortValue(t.h(), t.module, &v));
    static const char* const kLines[4] = {"lines 0-1", "lines 2-9", "lines 10-17", "lines 18-25"};
    fmt::print("all ports  {:#010x}\n", v);
    for (unsigned k = 0; k < 4; ++k)
        fmt::print("port {}     {:08b}  {}\n", k, (v >> (8 * k)) & 0xFF, kLines[k]);
}

void read(const Options& o) {
    Ttl t(o);
    if (o.drive) {
        auto sim = std::dynamic_pointer_cast<mfb::sim::SimBoard>(mfb::vbus::board(o.board));
        if (!sim || !sim->with_module<mfb::sim::TtlModule>(
                        t.module, [&](mfb::sim::TtlModule& m) { m.set_inputs(*o.drive); }))
            throw std::runtime_error("--drive needs a simulated TTL I/O module");
    }
    if (o.port && o.channel) {
        std::uint8_t v = 0;
        check("i_MFB_ReadTTLIOChannelValue",
              i_MFB_ReadTTLIOChannelValue(t.h(), t.module, u8(*o.port), u8(*o.channel), &v));
        fmt::print("port {} channel {}: {}\n", *o.port, *o.channel, v ? "high" : "low");
    } else if (o.port) {
        std::uint8_t v = 0;
        check("i_MFB_ReadTTLIOPortValue",
              i_MFB_ReadTTLIOPortValue(t.h(), t.module, u8(*o.port), &v));
        fmt::print("port {}: {:08b} ({:#04x})\n", *o.port, v, v);
    } else {
        show_all(t);
    }
}

void switch_line(const Options& o, bool on) {
    if (!o.line && !o.port)
        throw CLI::ValidationError("name the line with --line, or with --port and --channel");
    Ttl t(o);
    if (o.line) {
        check(on ? "i_MFB_SetTTLIOChlOn" : "i_MFB_SetTTLIOChlOff",
              on ? i_MFB_SetTTLIOChlOn(t.h(), t.module, u8(*o.line))
                 : i_MFB_SetTTLIOChlOff(t.h(), t.module, u8(*o.line)));
        fmt::print("line {} {}\n", *o.line, on ? "on" : "off");
    } else {
        const std::uint8_t port = u8(*o.port), channel = u8(*o.channel);
        check(on ? "i_MFB_SetTTLIOChannelOn" : "i_MFB_SetTTLIOChannelOff",
              on ? i_MFB_SetTTLIOChannelOn(t.h(), t.module, port, channel)
                 : i_MFB_SetTTLIOChannelOff(t.h(), t.module, port, channel));
        fmt::print("port {} channel {} {}\n", *o.port, *o.channel, on ? "on" : "off");
    }
    show_all(t);
}

// --line, or --port with --channel: the two ways the switches address a line.
void add_line_options(CLI::App* cmd, Options& o) {
    auto* line =
        cmd->add_option("-l,--line", o.line, "line number 0 to 25")->check(CLI::Range(0u, 255u));
    auto* port = cmd->add_option("-p,--port", o.port, "port 0 to 4")->check(CLI::Range(0u, 255u));
    auto* channel =
        cmd->add_option("-c,--channel", o.channel, "channel 0 to 7")->check(CLI::Range(0u, 255u));
    line->excludes(port)->excludes(channel);
    port->needs(channel);
    channel->needs(port);
}

void add_ttl_commands(CLI::App& app) {
    CLI::App* group = app.add_subcommand("ttl", "drive the lines of a TTL I/O module");
    group->require_subcommand(1);
    static Options options;

    auto* direction =
        group->add_subcommand("direction", "set the directions: four flags, 1 output, 0 input");
    add_board_option(direction, options.board);
    add_module_option(direction, options.module);
    direction->add_option("FLAGS", options.direction, "ports 0 and 1, port 2, port 3, port 4")
        ->expected(4)
        ->required()
        ->check(CLI::Range(0u, 255u));
    direction->callback([] {
        Ttl t(options);
        fmt::print("directions of module {} set: {} {} {} {}\n", t.module, options.direction[0],
                   options.direction[1], options.direction[2], options.direction[3]);
    });

    auto* read_cmd = add_command(group, "read", "read all ports, one port or one channel", options);
    read_cmd->add_option("-p,--port", options.port, "read port 0 to 3")
        ->check(CLI::Range(0u, 255u));
    read_cmd->add_option("-c,--channel", options.channel, "channel 0 to 7 of the port")
        ->check(CLI::Range(0u, 255u))
        ->needs("--port");
    read_cmd->add_option("--drive", options.drive,
                         "simulated board: levels driven on the input lines, as the all-ports "
                         "value (e.g. 0x81c30201)");
    read_cmd->callback([] { read(options); });

    auto* on = add_command(group, "set", "switch a line on, then show all ports", options);
    add_line_options(on, options);
    on->callback([] { switch_line(options, true); });

    auto* off = add_command(group, "clear", "switch a line off, then show all ports", options);
    add_line_options(off, options);
    off->callback([] { switch_line(options, false); });
}

const RegisterCommands registered(add_ttl_commands);

} // namespace
} // namespace mfbctl
