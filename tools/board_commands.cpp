// Board access commands: list the boards, show one board's information record and the function
// at each of its module positions.
#include "mfbctl.h"

namespace mfbctl {
namespace {

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

void info(unsigned index, const Output& out) {
    require_board(index);
    const Information info = read_information(index);
    std::string text =
        fmt::format("board             {}\nidentifier        {}", index, info.identifier);
    for (int w = 0; w < 5; ++w)
        text +=
            fmt::format("\nword {}            {:#010x} ({})", w + 1, info.words[w], info.words[w]);
    text += fmt::format("\ninformation byte  {:#04x} ({})", info.byte, info.byte);
    emit(out, information_record(index, info), text);
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

    add_board_command(app, "info", "show the information record of one board", kBoards, info);
    add_board_command(app, "modules", "show the function at each module position of a board",
                      kBoards, show_modules);
}

const RegisterCommands registered(100, add_board_commands);

} // namespace
} // namespace mfbctl
