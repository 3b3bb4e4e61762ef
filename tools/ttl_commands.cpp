// TTL I/O commands: set the port directions, read lines and switch them, in one numbering: lines
// 0 to 25 (as the library's line functions number them) in ports 0 to 3, port 0 holding lines 0
// and 1, ports 1, 2 and 3 lines 2-9, 10-17 and 18-25 (as the direction flags and the reads of the
// board group them).
//
//     mfbctl ttl direction out in in in set 0=1 1=1 get
//
// A simulated module starts with every line an input in each run; `ttl sim` drives the levels
// its test bench puts on the input lines.
#include "mfbctl.h"

#include "sim/ttl_module.h"

#include <array>
#include <cstdio>

namespace mfbctl {
namespace ttl_commands {

constexpr unsigned kLines = 26;
constexpr unsigned kPorts = 4;

// A line's port and its bit in the port, as the reads address them.
unsigned port_of(unsigned line) {
    return line < 2 ? 0 : (line - 2) / 8 + 1;
}
unsigned bit_of(unsigned line) {
    return line < 2 ? line : (line - 2) % 8;
}
unsigned first_line(unsigned port) {
    return port == 0 ? 0 : 2 + 8 * (port - 1);
}
unsigned last_line(unsigned port) {
    return port == 0 ? 1 : first_line(port) + 7;
}

struct Level {
    unsigned line;
    bool high;
};

// "3=1", "3=high", "3=on"
Level parse_level(const std::string& text) {
    const auto eq = text.find('=');
    if (eq == std::string::npos)
        throw UsageError(fmt::format("LINE=VALUE: '{}' names no value (as in 3=1)", text));
    const unsigned line = static_cast<unsigned>(
        parse_number(text.substr(0, eq), 0, kLines - 1, "TTL line", "LINE=VALUE"));
    const bool high =
        parse_choice(text.substr(eq + 1),
                     {{"0", 0}, {"1", 1}, {"low", 0}, {"high", 1}, {"off", 0}, {"on", 1}},
                     "line level", "LINE=VALUE") != 0;
    return {line, high};
}

CLI::Option* add_levels(CLI::App* cmd, std::vector<Level>& levels, const std::string& help) {
    return cmd
        ->add_option_function<std::vector<std::string>>(
            "LINE=VALUE",
            [&levels](const std::vector<std::string>& items) {
                levels.clear();
                for (const std::string& item : items)
                    levels.push_back(parse_level(item));
            },
            help)
        ->option_text("LINE=VALUE ...")
        ->required();
}

bool read_line(ModuleAccess& m, unsigned line) {
    std::uint8_t v = 0;
    m.check(
        "i_MFB_ReadTTLIOChannelValue",
        i_MFB_ReadTTLIOChannelValue(m.h(), m.module(), u8(port_of(line)), u8(bit_of(line)), &v));
    return v != 0;
}

void get_all(ModuleAccess& m, const Output& out) {
    std::uint32_t v = 0;
    m.check("i_MFB_ReadTTLIOAllPortValue", i_MFB_ReadTTLIOAllPortValue(m.h(), m.module(), &v));
    std::vector<unsigned> lines;
    std::vector<unsigned> ports;
    std::string text = fmt::format("{} lines, lowest first", m.where());
    for (unsigned p = 0; p < kPorts; ++p) {
        const unsigned byte = (v >> (8 * p)) & 0xFF;
        ports.push_back(byte);
        text += fmt::format("\n  port {}  lines {:>2}-{:<2} ", p, first_line(p), last_line(p));
        for (unsigned line = first_line(p); line <= last_line(p); ++line) {
            lines.push_back((byte >> bit_of(line)) & 1);
            text += fmt::format(" {}", lines.back());
        }
    }
    emit(out,
         Record()
             .key("board", m.board())
             .key("module", m.module())
             .value("lines", lines)
             .detail("ports", ports),
         text);
}

void get(ModuleAccess& m, const Output& out, const std::vector<unsigned>& lines) {
    if (lines.empty()) {
        get_all(m, out);
        return;
    }
    std::vector<unsigned> values;
    std::string text;
    for (unsigned line : lines) {
        values.push_back(read_line(m, line) ? 1 : 0);
        text += fmt::format("{}{} line {}: {}", text.empty() ? "" : "\n", m.where(), line,
                            values.back());
    }
    emit(out,
         Record()
             .key("board", m.board())
             .key("module", m.module())
             .key("lines", lines)
             .value("values", values),
         text);
}

void set(ModuleAccess& m, const Output& out, const std::vector<Level>& levels) {
    for (const Level& l : levels) {
        if (l.high)
            m.check("i_MFB_SetTTLIOChlOn", i_MFB_SetTTLIOChlOn(m.h(), m.module(), u8(l.line)));
        else
            m.check("i_MFB_SetTTLIOChlOff", i_MFB_SetTTLIOChlOff(m.h(), m.module(), u8(l.line)));
        say(out, fmt::format("{} line {}: set {}", m.where(), l.line, l.high ? 1 : 0));
        // A line of an input port keeps the level driven on it; its output latch shows only once
        // the port is an output.
        if (read_line(m, l.line) != l.high) {
            std::fflush(stdout);
            std::fprintf(stderr,
                         "mfbctl: note: line %u reads %d: port %u is an input (make it an output "
                         "with `ttl direction`)\n",
                         l.line, l.high ? 0 : 1, port_of(l.line));
        }
    }
}

void direction(ModuleAccess& m, const Output& out, const std::array<unsigned, kPorts>& d) {
    m.check("i_MFB_InitTTLIODirection",
            i_MFB_InitTTLIODirection(m.h(), m.module(), u8(d[0]), u8(d[1]), u8(d[2]), u8(d[3])));
    std::string text = m.where() + " directions:";
    for (unsigned p = 0; p < kPorts; ++p)
        text += fmt::format(" port {} {}", p, d[p] ? "out" : "in");
    say(out, text);
}

void drive(ModuleAccess& m, const Output& out, const std::vector<Level>& levels) {
    with_simulated<mfb::sim::TtlModule>(m, [&](mfb::sim::TtlModule& t) {
        for (const Level& l : levels)
            t.set_input_line(u8(l.line), l.high);
    });
    for (const Level& l : levels)
        say(out, fmt::format("{} line {}: driven {}", m.where(), l.line, l.high ? 1 : 0));
}

void add_ttl_commands(CLI::App& app) {
    auto g = ModuleGroup::add(app, "ttl", "the lines of a TTL I/O module", Function::TtlIo);

    auto dirs = std::make_shared<std::array<unsigned, kPorts>>();
    auto* cmd = g->step("direction", "set the directions of ports 0 to 3",
                        [dirs](ModuleAccess& m, const Output& out) { direction(m, out, *dirs); });
    const Choices kDirections = {{"in", 0}, {"out", 1}};
    for (unsigned p = 0; p < kPorts; ++p)
        add_choice(cmd, fmt::format("PORT{}", p), (*dirs)[p], kDirections, "direction",
                   fmt::format("port {} (lines {}-{}): in or out", p, first_line(p), last_line(p)))
            ->required();

    auto lines = std::make_shared<std::vector<unsigned>>();
    cmd = g->read_step("get", "read lines (default: all of them, lowest first)",
                       [lines](ModuleAccess& m, const Output& out) { get(m, out, *lines); });
    cmd->add_option_function<std::vector<std::string>>(
           "LINE",
           [lines](const std::vector<std::string>& items) {
               lines->clear();
               for (const std::string& item : items)
                   lines->push_back(static_cast<unsigned>(
                       parse_number(item, 0, kLines - 1, "TTL line", "LINE")));
           },
           "lines to read")
        ->option_text("0-25 ...");

    auto levels = std::make_shared<std::vector<Level>>();
    cmd = g->step("set",
                  "switch lines: LINE=1 on, LINE=0 off (a line shows it once its port "
                  "is an output)",
                  [levels](ModuleAccess& m, const Output& out) { set(m, out, *levels); });
    add_levels(cmd, *levels, "line 0-25 and level 0 or 1 (as 3=1)");

    auto driven = std::make_shared<std::vector<Level>>();
    cmd = g->bench_step("sim", "simulated board: drive the levels of input lines",
                        [driven](ModuleAccess& m, const Output& out) { drive(m, out, *driven); });
    add_levels(cmd, *driven, "line 0-25 and level 0 or 1 (as 3=1)");
}

const RegisterCommands registered(230, add_ttl_commands);

} // namespace ttl_commands
} // namespace mfbctl
