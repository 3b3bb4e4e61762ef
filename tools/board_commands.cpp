// Board access commands: list the boards, show one board's information record, identity and
// versions, and the function at each of its module positions.
#include "mfbctl.h"

#include "common/explain.h"
#include "common/version.h"

#include <algorithm>
#include <cstring>

namespace mfbctl {
namespace board_commands {

struct Information {
    char identifier[64] = {};
    std::uint32_t words[5] = {};
    std::uint8_t byte = 0;
};

Information read_information(unsigned index) {
    Information info;
    check("i_MFB_GetBoardInformation",
          i_MFB_GetBoardInformation(u8(index), info.identifier, sizeof info.identifier,
                                    &info.words[0], &info.words[2], &info.words[1], &info.words[3],
                                    &info.words[4], &info.byte));
    return info;
}

// The information words by the names of the explanation table: serial, firmware, PCI bus,
// device, interrupt line, positions (words 1 to 5 and the byte).
Record information_record(unsigned index, const Information& info) {
    Record r;
    r.key("board", index).value("identifier", info.identifier);
    const auto names = explain::board_information();
    for (std::size_t i = 0; i < names.size(); ++i)
        r.value(names[i].name, i < 5 ? info.words[i] : info.byte);
    return r;
}

std::string information_value(std::size_t i, const Information& info) {
    const std::uint32_t v = i < 5 ? info.words[i] : info.byte;
    return explain::board_information()[i].hex ? fmt::format("{:#x}", v) : std::to_string(v);
}

void list(const Output& out) {
    const unsigned count = board_count();
    if (count == 0) {
        say(out, "no boards found");
        return;
    }
    std::string header = fmt::format("{:<6} {:<20}", "board", "identifier");
    for (const auto& w : explain::board_information())
        header += fmt::format(" {:<{}}", w.label, std::max<std::size_t>(8, std::strlen(w.label)));
    say(out, header);
    for (unsigned i = 0; i < count; ++i) {
        const Information info = read_information(i);
        std::string line = fmt::format("{:<6} {:<20}", i, info.identifier);
        const auto names = explain::board_information();
        for (std::size_t w = 0; w < names.size(); ++w)
            line += fmt::format(" {:<{}}", information_value(w, info),
                                std::max<std::size_t>(8, std::strlen(names[w].label)));
        emit(out, information_record(i, info), line.substr(0, line.find_last_not_of(' ') + 1));
    }
}

// The module configuration word of a position: bits 7-0 the function, bits 15-8 the position
// (sim/board_identity.h).
std::string configuration_words(std::uint32_t word, const std::string& name) {
    return fmt::format("{:#010x} ({}, position {})", word,
                       name == "?" ? fmt::format("function {}", word & 0xFF) : name,
                       (word >> 8) & 0xFF);
}

void info(unsigned index, const Output& out) {
    OpenBoard board(index);
    const Information info = read_information(index);
    std::uint8_t type = 0;
    check("i_MFB_GetBoardHardwareType", i_MFB_GetBoardHardwareType(board.handle(), &type));
    std::uint32_t driver = 0;
    check("i_MFB_GetDeviceDriverVersion", i_MFB_GetDeviceDriverVersion(board.handle(), &driver));
    std::vector<std::uint32_t> config(4);
    std::vector<std::string> functions;
    for (unsigned m = 0; m < 4; ++m) {
        check("i_MFB_GetModuleConfiguration",
              i_MFB_GetModuleConfiguration(board.handle(), u8(m), &config[m]));
        functions.push_back(function_name(static_cast<Function>(config[m] & 0xFF)));
    }
    const std::uint32_t library = library_version_word();
    const std::string driver_text =
        fmt::format("{}.{}.{}", driver >> 16, (driver >> 8) & 0xFF, driver & 0xFF);

    Record r = information_record(index, info);
    r.value("hardware_type", type).value("driver_version", driver_text);
    r.value("library_version", decode_version_word(library)).value("modules", functions);
    r.detail("module_words", config)
        .detail("driver_version_word", driver)
        .detail("library_version_word", library);
    std::string text =
        fmt::format("board             {}\nidentifier        {}", index, info.identifier);
    const auto names = explain::board_information();
    for (std::size_t w = 0; w < names.size(); ++w)
        text += fmt::format("\n{:<17} {}", names[w].label, information_value(w, info));
    text += fmt::format("\nhardware type     {:#04x}", type);
    for (unsigned m = 0; m < 4; ++m)
        text +=
            fmt::format("\nmodule {}          {}", m, configuration_words(config[m], functions[m]));
    text += fmt::format("\nlibrary           {} ({:#010x})", decode_version_word(library), library);
    text += fmt::format("\ndriver            {} ({:#010x})", driver_text, driver);
    emit(out, r, text);
}

void show_modules(unsigned board, const Output& out) {
    require_board(board);
    for (unsigned m = 0; m < 4; ++m) {
        const auto f = module_function(board, m);
        const std::string name = f ? function_name(*f) : "unknown";
        emit(out, Record().key("board", board).key("module", m).value("function", name),
             fmt::format("board {} module {}: {}", board, m, name));
    }
}

void add_board_commands(CLI::App& app) {
    auto out = std::make_shared<Output>();
    auto* cmd = app.add_subcommand("list", "list the boards with their identifiers and "
                                           "information words");
    cmd->group(kBoards);
    add_output_options(cmd, *out);
    cmd->callback([out] { list(*out); });

    add_board_command(app, "info",
                      "show a board's information record, hardware type, module configuration "
                      "words and the library and driver versions",
                      kBoards, info);
    add_board_command(app, "modules", "show the function at each module position of a board",
                      kBoards, show_modules);
}

const RegisterCommands registered(100, add_board_commands);

} // namespace board_commands
} // namespace mfbctl
