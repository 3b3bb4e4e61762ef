// What the tool needs of the terminal and the process's streams, behind one small seam that each
// platform fills (console_posix.cpp, console_windows.cpp; console.cpp what they share): whether a
// stream is a terminal, lines with editing and history where the build has libedit, and the
// standard output caught in a pipe (StdoutPipe, output.h).
#pragma once

#include <memory>
#include <optional>
#include <string>

namespace mfbctl {

bool stdin_is_terminal();
bool stderr_is_terminal();

// Reads the lines of a session: with line editing and history where the build has libedit and the
// input is a terminal, else plain lines. nullopt at the end of the input.
class LineReader {
  public:
    virtual ~LineReader() = default;
    virtual std::optional<std::string> read(const char* prompt) = 0;
};
std::unique_ptr<LineReader> terminal_reader();
// Plain lines from the standard input, without editing (a line end of \r\n read as \n).
std::unique_ptr<LineReader> plain_reader();
// Whether terminal_reader() edits lines ("libedit"), for the help to say; "" where it reads plain
// lines.
const char* line_editing();

// Asks a yes-or-no question on the terminal; true for an answer that starts with y.
bool confirm(const std::string& question);

// What StdoutPipe (output.h) needs of the platform: a pipe whose ends are descriptors of the C
// runtime (fds[0] to read), and waiting until a read of its read end would not block (true) or
// `wait_ms` have passed (false; -1 waits without end).
void make_pipe(int fds[2]);
bool wait_readable(int fd, int wait_ms);

} // namespace mfbctl
