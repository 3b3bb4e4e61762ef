// The parts of the console seam (console.h) that are the same on every platform, and StdoutPipe
// (output.h), on the descriptors of the C runtime.
#include "console.h"
#include "output.h"

#include <cstdio>
#include <iostream>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace mfbctl {
namespace console {

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
        if (!line.empty() && line.back() == '\r') // a line of a Windows text file
            line.pop_back();
        return line;
    }
};

} // namespace console

std::unique_ptr<LineReader> plain_reader() {
    return std::make_unique<console::PlainReader>();
}

bool confirm(const std::string& question) {
    const auto answer = terminal_reader()->read((question + " [y/N] ").c_str());
    return answer && !answer->empty() && (answer->front() == 'y' || answer->front() == 'Y');
}

StdoutPipe::StdoutPipe() {
    int fds[2];
    std::fflush(stdout);
    make_pipe(fds);
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
    if (ended_ || !wait_readable(read_, wait_ms))
        return "";
    char buffer[4096];
    const auto n = ::read(read_, buffer, sizeof buffer);
    if (n <= 0) {
        ended_ = true;
        return "";
    }
    return std::string(buffer, static_cast<std::size_t>(n));
}

void StdoutPipe::print(const std::string& text) const {
    for (std::size_t at = 0; at < text.size();) {
        const auto n = ::write(original_, text.data() + at, text.size() - at);
        if (n <= 0)
            break;
        at += static_cast<std::size_t>(n);
    }
}

} // namespace mfbctl
