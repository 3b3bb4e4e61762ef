// What the tool needs of the terminal and the process's streams, behind one small seam that each
// platform fills (console_posix.cpp here; a Windows build brings its own): whether a stream is a
// terminal, lines with editing and history where the build has libedit, and the standard output
// caught in a pipe (StdoutPipe, output.h).
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
// Whether terminal_reader() edits lines ("libedit"), for the help to say; "" where it reads plain
// lines.
const char* line_editing();

// Asks a yes-or-no question on the terminal; true for an answer that starts with y.
bool confirm(const std::string& question);

} // namespace mfbctl
