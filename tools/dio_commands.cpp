// Board digital port commands: configure one of the board's four ports, read its inputs, switch
// its outputs and set the output memory.
//
//     mfbctl dio --port 1 configure memory on on 0x0f off 0x01 read
//
// A port must be configured before it is read or switched, and the library keeps that, with the
// output byte and the output memory, only while it is loaded: for one run, or for a session. On a
// simulated board `dio sim` drives the input lines or loops the port's outputs back to them.
#include "mfbctl.h"

namespace mfbctl {
namespace dio_commands {

struct Configure {
    bool enable_line = false, strobe_line = false;
};

std::string lines_text(unsigned byte) {
    std::string s;
    for (unsigned bit = 0; bit < 8; ++bit)
        s += fmt::format("{}{}", bit ? " " : "", (byte >> bit) & 1);
    return s;
}

void configure(ModuleAccess& m, const Output& out, unsigned port, const Configure& c) {
    m.check(
        "i_MFB_SetPortConfiguration",
        i_MFB_SetPortConfiguration(m.h(), u8(port), c.enable_line ? 1 : 0, c.strobe_line ? 1 : 0));
    say(out, fmt::format("{} port {}: configured{}{}", m.where(), port,
                         c.enable_line ? ", input line 5 enables the outputs" : "",
                         c.strobe_line ? ", input line 6 strobes the inputs" : ""));
}

void read(ModuleAccess& m, const Output& out, unsigned port) {
    std::uint8_t v = 0;
    m.check("i_MFB_ReadDigitalInputs", i_MFB_ReadDigitalInputs(m.h(), u8(port), &v));
    emit(out, Record().key("board", m.board()).key("port", port).value("inputs", v),
         fmt::format("{} port {} inputs: {:#04x} (lines 0-7: {})", m.where(), port, v,
                     lines_text(v)));
}

void switch_outputs(ModuleAccess& m, const Output& out, unsigned port, unsigned mask, bool on) {
    if (on)
        m.check("i_MFB_SetDigitalOutputsOn", i_MFB_SetDigitalOutputsOn(m.h(), u8(port), u8(mask)));
    else
        m.check("i_MFB_SetDigitalOutputsOff",
                i_MFB_SetDigitalOutputsOff(m.h(), u8(port), u8(mask)));
    say(out,
        fmt::format("{} port {}: outputs {:#04x} {}", m.where(), port, mask, on ? "on" : "off"));
}

struct Bench {
    std::optional<unsigned> drive, loopback;
};

void simulate(ModuleAccess& m, const Output& out, unsigned port, const Bench& b) {
    auto sim = simulated_board(m.board());
    if (!sim)
        throw std::runtime_error(fmt::format("{} is not a simulated board", m.where()));
    sim->with_io([&](mfb::sim::BoardIo& io) {
        if (b.drive)
            io.drive_inputs(u8(port), u8(*b.drive));
        if (b.loopback)
            io.set_loopback(u8(port), *b.loopback != 0);
    });
    if (b.drive)
        say(out, fmt::format("{} port {}: inputs driven {:#04x}", m.where(), port, *b.drive));
    if (b.loopback)
        say(out, fmt::format("{} port {}: loop-back {}", m.where(), port,
                             *b.loopback ? "on (the inputs read the outputs)" : "off"));
}

void add_dio_commands(CLI::App& app) {
    auto g = ModuleGroup::add(app, "dio", "the board's own digital ports 0 to 3", Function::None);
    auto port = std::make_shared<unsigned>(0);
    add_number(g->app(), "--port", *port, 0, 3, "port number", "port (default 0)");

    auto c = std::make_shared<Configure>();
    auto* cmd =
        g->step("configure", "configure a port (needed before it is read or switched)",
                [port, c](ModuleAccess& m, const Output& out) { configure(m, out, *port, *c); });
    cmd->add_flag("--enable-line", c->enable_line,
                  "input line 5 enables the outputs (and reads 0)");
    cmd->add_flag("--strobe-line", c->strobe_line,
                  "a rising edge on input line 6 samples the inputs (and it reads 0)");

    g->read_step("read", "read a port's input lines",
                 [port](ModuleAccess& m, const Output& out) { read(m, out, *port); });

    for (const bool on : {true, false}) {
        auto mask = std::make_shared<unsigned>(0);
        cmd = g->step(on ? "on" : "off",
                      on ? "switch output lines on (without output memory: the mask becomes the "
                           "whole output byte)"
                         : "switch output lines off (needs the output memory on)",
                      [port, mask, on](ModuleAccess& m, const Output& out) {
                          switch_outputs(m, out, *port, *mask, on);
                      });
        add_number(cmd, "MASK", *mask, 0, 0xFF, "line mask", "the lines, bit n for line n")
            ->required();
    }

    auto memory = std::make_shared<unsigned>(0);
    cmd = g->step("memory", "output memory: on keeps the other lines when switching",
                  [memory](ModuleAccess& m, const Output& out) {
                      m.check("i_MFB_SetDigitalOutputMemory",
                              i_MFB_SetDigitalOutputMemory(m.h(), u8(*memory)));
                      say(out,
                          fmt::format("{}: output memory {}", m.where(), *memory ? "on" : "off"));
                  });
    add_choice(cmd, "STATE", *memory, {{"off", 0}, {"on", 1}}, "output memory", "on or off")
        ->required();

    auto b = std::make_shared<Bench>();
    cmd = g->bench_step(
        "sim", "simulated board: drive a port's input lines or loop its outputs back",
        [port, b](ModuleAccess& m, const Output& out) { simulate(m, out, *port, *b); });
    add_number(cmd, "--drive", b->drive, 0, 0xFF, "input levels",
               "levels of the input lines, bit n for line n");
    add_choice(cmd, "--loopback", b->loopback, {{"off", 0}, {"on", 1}}, "loop-back",
               "on: the inputs read the port's own outputs");
}

const RegisterCommands registered(110, add_dio_commands);

} // namespace dio_commands
} // namespace mfbctl
