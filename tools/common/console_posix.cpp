// The console seam (console.h) on POSIX systems.
#include "console.h"

#include <cstdlib>
#include <stdexcept>

#include <poll.h>
#include <unistd.h>

#ifdef MFBCTL_LIBEDIT
#include <editline/readline.h>
#endif

namespace mfbctl {
namespace {

#ifdef MFBCTL_LIBEDIT
class EditingReader : public LineReader {
  public:
    std::optional<std::string> read(const char* prompt) override {
        char* line = readline(prompt ? prompt : "");
        if (!line)
            return std::nullopt;
        std::string text(line);
        std::free(line);
        if (text.find_first_not_of(" \t") != std::string::npos)
            add_history(text.c_str());
        return text;
    }
};
#endif

} // namespace

bool stdin_is_terminal() {
    return isatty(0) != 0;
}

bool stderr_is_terminal() {
    return isatty(2) != 0;
}

std::unique_ptr<LineReader> terminal_reader() {
#ifdef MFBCTL_LIBEDIT
    if (stdin_is_terminal())
        return std::make_unique<EditingReader>();
#endif
    return plain_reader();
}

const char* line_editing() {
#ifdef MFBCTL_LIBEDIT
    return "libedit";
#else
    return "";
#endif
}

void make_pipe(int fds[2]) {
    if (::pipe(fds) != 0)
        throw std::runtime_error("cannot make a pipe for the library's output");
}

bool wait_readable(int fd, int wait_ms) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, wait_ms) > 0;
}

} // namespace mfbctl
