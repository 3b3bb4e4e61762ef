// Interrupt commands: watch a board's interrupts as they arrive.
//
// `watch` installs an interrupt routine, prints every record until interrupted (Ctrl-C), a count
// or a time is reached, and resets the routine. In a shell session `watch-start` and `watch-stop`
// keep a routine installed while other commands set the modules up.
#include "mfbctl.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <map>
#include <thread>

namespace mfbctl {
namespace {

std::atomic<unsigned> g_seen{0};
std::atomic<bool> g_interrupted{false};

// Runs on the library's interrupt thread.
void MFB_CALL print_interrupt(std::uint32_t handle, std::uint32_t record_byte, std::uint32_t word1,
                              std::uint32_t word2, std::uint32_t count, std::uint32_t* values) {
    std::string line = fmt::format("interrupt {:>5}  board {:#x}  byte {:#04x}  word1 {:#010x}  "
                                   "word2 {:#010x}  values",
                                   g_seen.load() + 1, handle, record_byte, word1, word2);
    const std::uint32_t shown = count < 16 ? count : 16;
    for (std::uint32_t i = 0; i < shown; ++i)
        line += fmt::format(" {}", values[i]);
    if (shown == 0)
        line += " -";
    line += '\n';
    std::fputs(line.c_str(), stdout);
    std::fflush(stdout);
    ++g_seen;
}

// Boards with a routine installed by watch-start, and their open handles.
std::map<unsigned, MFB_BoardHandle>& started() {
    static std::map<unsigned, MFB_BoardHandle> boards;
    return boards;
}

void watch(unsigned board, unsigned count, double seconds) {
    OpenBoard open(board);
    g_seen = 0;
    g_interrupted = false;
    auto previous = std::signal(SIGINT, [](int) { g_interrupted = true; });
    check("i_MFB_SetBoardIntRoutine", i_MFB_SetBoardIntRoutine(open.handle(), print_interrupt));
    fmt::print("watching board {} (Ctrl-C ends)\n", board);
    std::fflush(stdout);
    const auto until = std::chrono::steady_clock::now() +
                       std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                           std::chrono::duration<double>(seconds));
    while (!g_interrupted.load() && (count == 0 || g_seen.load() < count) &&
           (seconds <= 0 || std::chrono::steady_clock::now() < until))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const int reset = i_MFB_ResetBoardIntRoutine(open.handle());
    std::signal(SIGINT, previous);
    fmt::print("{} interrupt{}\n", g_seen.load(), g_seen.load() == 1 ? "" : "s");
    check("i_MFB_ResetBoardIntRoutine", reset);
}

void watch_start(unsigned board) {
    if (started().count(board))
        throw std::runtime_error(fmt::format("board {} is already watched", board));
    MFB_BoardHandle handle = 0;
    check("i_MFB_OpenBoardViaIndex",
          i_MFB_OpenBoardViaIndex(static_cast<std::uint8_t>(board), &handle));
    if (int s = i_MFB_SetBoardIntRoutine(handle, print_interrupt); s != 0) {
        i_MFB_CloseBoard(handle);
        check("i_MFB_SetBoardIntRoutine", s);
    }
    started()[board] = handle;
    fmt::print("watching board {}\n", board);
}

void watch_stop(unsigned board) {
    auto it = started().find(board);
    if (it == started().end())
        throw std::runtime_error(fmt::format("board {} is not watched", board));
    const MFB_BoardHandle handle = it->second;
    started().erase(it);
    const int reset = i_MFB_ResetBoardIntRoutine(handle);
    i_MFB_CloseBoard(handle);
    check("i_MFB_ResetBoardIntRoutine", reset);
    fmt::print("stopped watching board {}\n", board);
}

void add_interrupt_commands(CLI::App& app) {
    static unsigned board = 0, count = 0;
    static double seconds = 0;
    auto* w = app.add_subcommand("watch", "print each interrupt of a board as it arrives");
    w->add_option("BOARD", board, "board index (default 0)")->capture_default_str();
    w->add_option("-n,--count", count, "stop after this many interrupts (0: no limit)");
    w->add_option("-t,--seconds", seconds, "stop after this many seconds (0: no limit)");
    w->callback([] { watch(board, count, seconds); });

    static unsigned start_board = 0, stop_board = 0;
    auto* start = app.add_subcommand("watch-start", "install a routine that prints the "
                                                    "interrupts of a board, and go on");
    start->add_option("BOARD", start_board, "board index (default 0)")->capture_default_str();
    start->callback([] { watch_start(start_board); });
    auto* stop = app.add_subcommand("watch-stop", "reset the routine of watch-start");
    stop->add_option("BOARD", stop_board, "board index (default 0)")->capture_default_str();
    stop->callback([] { watch_stop(stop_board); });
}
const RegisterCommands registered(add_interrupt_commands);

} // namespace
} // namespace mfbctl
