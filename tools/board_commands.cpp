// Board access commands: list the boards, show one board's information record, identity and
// versions, and the function at each of its module positions.
#include "mfbctl.h"

#include "common/version.h"

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

Record information_record(unsigned index, const Information& info) {
    Record r;
    r.key("board", index).value("identifier", info.identifier);
    r.detail("words", std::vector<std::uint32_t>(std::begin(info.words), std::end(info.words)));
    r.detail("information_byte", info.byte);
    return r;
}

void list(const Output& out) {
    const unsigned count = board_count();
    if (count == 0) {
        say(out, "no boards found");
        return;
    }
    say(out, fmt::format("{:<6} {:<20} {:<10} {:<10} {:<10} {:<10} {:<10} {}", "board",
                         "identifier", "word 1", "word 2", "word 3", "word 4", "word 5", "byte"));
    for (unsigned i = 0; i < count; ++i) {
        const Information info = read_information(i);
        emit(out, information_record(i, info),
             fmt::format("{:<6} {:<20} {:#010x} {:#010x} {:#010x} {:#010x} {:#010x} {:#04x}", i,
                         info.identifier, info.words[0], info.words[1], info.words[2],
                         info.words[3], info.words[4], info.byte));
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
    for (int w = 0; w < 5; ++w)
        text +=
            fmt::format("\nword {}            {:#010x} ({})", w + 1, info.words[w], info.words[w]);
    text += fmt::format("\ninformation byte  {:#04x} ({})", info.byte, info.byte);
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
