// The console seam (console.h) and StdoutPipe (output.h) on POSIX systems.
#include "console.h"
#include "output.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <stdexcept>

#include <poll.h>
#include <unistd.h>

#ifdef MFBCTL_LIBEDIT
#include <editline/readline.h>
#endif

namespace mfbctl {
namespace {

class PlainReader : public LineReader {
  public:
    std::optional<std::string> read(const char* prompt) override {
        if (prompt) {
            std::fputs(prompt, stdout);
            std::fflush(stdout);
        }
        std::string line;
        if (!std::getline(std::cin, line))
            return std::nullopt;
        return line;
    }
};

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
    return std::make_unique<PlainReader>();
}

const char* line_editing() {
#ifdef MFBCTL_LIBEDIT
    return "libedit";
#else
    return "";
#endif
}

bool confirm(const std::string& question) {
    const auto answer = terminal_reader()->read((question + " [y/N] ").c_str());
    return answer && !answer->empty() && (answer->front() == 'y' || answer->front() == 'Y');
}

StdoutPipe::StdoutPipe() {
    int fds[2];
    std::fflush(stdout);
    if (::pipe(fds) != 0)
        throw std::runtime_error("cannot make a pipe for the library's output");
    read_ = fds[0], write_ = fds[1];
    original_ = ::dup(1);
    ::dup2(write_, 1);
}

StdoutPipe::~StdoutPipe() {
    restore();
    ::close(read_);
    ::close(original_);
}

// original_ stays open until the pipe is destroyed: a thread that shows what it reads may still
// be printing on it after the restore, and a closed descriptor number could be reused meanwhile.
void StdoutPipe::restore() {
    if (write_ < 0)
        return;
    std::fflush(stdout);
    ::dup2(original_, 1);
    ::close(write_);
    write_ = -1;
}

std::string StdoutPipe::read(int wait_ms) {
    pollfd p{read_, POLLIN, 0};
    if (ended_ || ::poll(&p, 1, wait_ms) <= 0)
        return "";
    char buffer[4096];
    const ssize_t n = ::read(read_, buffer, sizeof buffer);
    if (n <= 0) {
        ended_ = true;
        return "";
    }
    return std::string(buffer, static_cast<std::size_t>(n));
}

void StdoutPipe::print(const std::string& text) const {
    for (std::size_t at = 0; at < text.size();) {
        const ssize_t n = ::write(original_, text.data() + at, text.size() - at);
        if (n <= 0)
            break;
        at += static_cast<std::size_t>(n);
    }
}

} // namespace mfbctl
