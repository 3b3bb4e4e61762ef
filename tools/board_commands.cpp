// Board access commands: list the boards and show one board's information record.
#include "mfbctl.h"

#include <cstdio>

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
          i_MFB_GetBoardInformation(static_cast<std::uint8_t>(index), info.identifier,
                                    sizeof info.identifier, &info.words[0], &info.words[2],
                                    &info.words[1], &info.words[3], &info.words[4], &info.byte));
    return info;
}

std::uint8_t count_boards() {
    std::uint8_t count = 0;
    check("i_MFB_GetNumberOfBoards", i_MFB_GetNumberOfBoards(&count));
    return count;
}

void list() {
    const std::uint8_t count = count_boards();
    fmt::print("{} board{}\n", count, count == 1 ? "" : "s");
    if (count == 0)
        return;
    fmt::print("{:<6} {:<20} {:<10} {:<10} {:<10} {:<10} {:<10} {}\n", "index", "identifier",
               "word 1", "word 2", "word 3", "word 4", "word 5", "byte");
    for (unsigned i = 0; i < count; ++i) {
        Information info = read_information(i);
        fmt::print("{:<6} {:<20} {:#010x} {:#010x} {:#010x} {:#010x} {:#010x} {:#04x}\n", i,
                   info.identifier, info.words[0], info.words[1], info.words[2], info.words[3],
                   info.words[4], info.byte);
    }
}

void info(unsigned index) {
    const std::uint8_t count = count_boards();
    if (index >= count)
        throw std::runtime_error(fmt::format("no board at index {}: {} board{} found", index, count,
                                             count == 1 ? "" : "s"));
    Information info = read_information(index);
    fmt::print("index             {}\n", index);
    fmt::print("identifier        {}\n", info.identifier);
    for (int w = 0; w < 5; ++w)
        fmt::print("word {}            {:#010x} ({})\n", w + 1, info.words[w], info.words[w]);
    fmt::print("information byte  {:#04x} ({})\n", info.byte, info.byte);
}

void add_board_commands(CLI::App& app) {
    app.add_subcommand("list", "list the boards with their identifiers and information words")
        ->callback(list);
    auto* cmd = app.add_subcommand("info", "show the information record of one board");
    static unsigned index = 0;
    cmd->add_option("INDEX", index, "board index")->required()->check(CLI::Range(0u, 255u));
    cmd->callback([] { info(index); });
}

const RegisterCommands registered(add_board_commands);

} // namespace

} // namespace mfbctl
