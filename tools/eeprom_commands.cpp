// EEPROM commands: read and write the 32-bit words of the EEPROM of the board's PCI interface
// chip, with the board's options anywhere on the line.
//
//     mfbctl eeprom -b 1 write 5 0x1234 read 5 -q
//
// A write prints two lines of its own on the standard output (the value and the answer length);
// the tool keeps them out of what it prints and reads the word back to confirm it.
#include "mfbctl.h"

#include <array>

namespace mfbctl {
namespace eeprom_commands {

std::uint32_t read_word(ModuleAccess& m, std::uint32_t address) {
    std::uint32_t v = 0;
    m.check("i_MFB_EepromAMCCRead", i_MFB_EepromAMCCRead(m.h(), address, &v));
    return v;
}

Record word_record(const ModuleAccess& m, std::uint32_t address, std::uint32_t value) {
    return std::move(
        Record().key("board", m.board()).key("address", address).value("value", value));
}

void read(ModuleAccess& m, const Output& out, std::uint32_t address) {
    const std::uint32_t v = read_word(m, address);
    emit(out, word_record(m, address, v),
         fmt::format("board {} EEPROM word {}: {:#010x} ({})", m.board(), address, v, v));
}

void write(ModuleAccess& m, const Output& out, std::uint32_t address, std::uint32_t value) {
    int status = 0;
    {
        StdoutPipe pipe;
        status = i_MFB_EepromAMCCWrite(m.h(), address, value);
        pipe.restore();
        while (!pipe.read().empty()) {
        }
    }
    m.check("i_MFB_EepromAMCCWrite", status);
    const std::uint32_t back = read_word(m, address);
    if (back != value)
        throw std::runtime_error(fmt::format("board {} EEPROM word {}: reads {:#010x} after "
                                             "{:#010x} was written",
                                             m.board(), address, back, value));
    emit(out, word_record(m, address, back),
         fmt::format("board {} EEPROM word {}: {:#010x} written and read back", m.board(), address,
                     value));
}

constexpr const char* kAddressHelp =
    "word address (a simulated board's EEPROM has words 0 to 255; a real board's its own number)";

void add_eeprom_commands(CLI::App& app) {
    auto g = ModuleGroup::add(app, "eeprom", "words of the EEPROM of the board's PCI interface",
                              Function::None);
    auto address = std::make_shared<std::uint32_t>(0);
    auto* cmd =
        g->read_step("read", "read an EEPROM word",
                     [address](ModuleAccess& m, const Output& out) { read(m, out, *address); });
    add_number(cmd, "ADDR", *address, 0, 0xFFFFFFFF, "EEPROM address", kAddressHelp)
        ->required()
        ->option_text("0-255 (simulated)");

    auto w = std::make_shared<std::array<std::uint32_t, 2>>();
    cmd = g->step("write", "write an EEPROM word and read it back",
                  [w](ModuleAccess& m, const Output& out) { write(m, out, (*w)[0], (*w)[1]); });
    add_number(cmd, "ADDR", (*w)[0], 0, 0xFFFFFFFF, "EEPROM address", kAddressHelp)
        ->required()
        ->option_text("0-255 (simulated)");
    add_number(cmd, "VALUE", (*w)[1], 0, 0xFFFFFFFF, "EEPROM word", "the 32-bit word")->required();
}

const RegisterCommands registered(120, add_eeprom_commands);

} // namespace eeprom_commands
} // namespace mfbctl
