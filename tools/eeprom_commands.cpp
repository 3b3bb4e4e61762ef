// EEPROM commands: read and write the 32-bit words of the EEPROM of the board's PCI interface
// chip.
//
//     mfbctl eeprom write 5 0x1234
//     mfbctl eeprom read 5 -q
//
// A write prints two lines of its own on the standard output (the value and the answer length);
// the tool shows them in text mode only, so that --json and -q stay one value a line, and reads
// the word back to confirm it.
#include "mfbctl.h"

namespace mfbctl {
namespace eeprom_commands {

struct Word {
    std::uint32_t address = 0, value = 0;
};

// The simulated board's EEPROM has words 0 to 255 (sim/board_io.h); it refuses the others.
void check_eeprom(unsigned board, const char* function, int status, std::uint32_t address) {
    if (status != 0 && simulated_board(board) && address >= mfb::sim::BoardIo::kEepromWords)
        throw CallFailed(function, status,
                         fmt::format("the simulated board's EEPROM has words 0 to {}",
                                     mfb::sim::BoardIo::kEepromWords - 1));
    check(function, status);
}

std::uint32_t read_word(const OpenBoard& b, std::uint32_t address) {
    std::uint32_t v = 0;
    check_eeprom(b.index(), "i_MFB_EepromAMCCRead", i_MFB_EepromAMCCRead(b.handle(), address, &v),
                 address);
    return v;
}

void read(unsigned board, const Output& out, const Word& w) {
    OpenBoard b(board);
    const std::uint32_t v = read_word(b, w.address);
    emit(out, Record().key("board", board).key("address", w.address).value("value", v),
         fmt::format("board {} EEPROM word {}: {:#010x} ({})", board, w.address, v, v));
}

void write(unsigned board, const Output& out, const Word& w) {
    OpenBoard b(board);
    std::string printed;
    {
        StdoutPipe pipe;
        const int status = i_MFB_EepromAMCCWrite(b.handle(), w.address, w.value);
        pipe.restore();
        for (std::string part; !(part = pipe.read()).empty();)
            printed += part;
        check_eeprom(board, "i_MFB_EepromAMCCWrite", status, w.address);
    }
    if (out.format == Format::Text)
        std::fputs(printed.c_str(), stdout);
    const std::uint32_t back = read_word(b, w.address);
    if (back != w.value)
        throw std::runtime_error(fmt::format("board {} EEPROM word {}: reads {:#010x} after "
                                             "{:#010x} was written",
                                             board, w.address, back, w.value));
    say(out, fmt::format("board {} EEPROM word {}: {:#010x} written and read back", board,
                         w.address, w.value));
}

void add_eeprom_commands(CLI::App& app) {
    auto* eeprom = app.add_subcommand("eeprom", "words of the EEPROM of the board's PCI interface");
    eeprom->group(kBoards);
    eeprom->require_subcommand(1, 1);

    auto w = std::make_shared<Word>();
    auto* cmd = add_board_command(*eeprom, "read", "read an EEPROM word", kBoards,
                                  [w](unsigned board, const Output& out) { read(board, out, *w); });
    add_number(cmd, "ADDR", w->address, 0, 0xFFFFFFFF, "EEPROM address", "word address")
        ->required();

    cmd = add_board_command(*eeprom, "write", "write an EEPROM word and read it back", kBoards,
                            [w](unsigned board, const Output& out) { write(board, out, *w); });
    add_number(cmd, "ADDR", w->address, 0, 0xFFFFFFFF, "EEPROM address", "word address")
        ->required();
    add_number(cmd, "VALUE", w->value, 0, 0xFFFFFFFF, "EEPROM word", "the 32-bit word")->required();
}

const RegisterCommands registered(120, add_eeprom_commands);

} // namespace eeprom_commands
} // namespace mfbctl
