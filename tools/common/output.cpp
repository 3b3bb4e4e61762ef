#include "output.h"

#include <fmt/format.h>

#include <cstdio>
#include <stdexcept>

#include <poll.h>
#include <unistd.h>

namespace mfbctl {

void add_output_options(CLI::App* cmd, Output& out) {
    cmd->add_flag_callback(
        "--json", [&out] { out.format = Format::Json; },
        "print what is read as JSON, one object a line");
    cmd->add_flag_callback(
        "-q,--quiet", [&out] { out.format = Format::Values; },
        "print only the values read, space-separated (nothing for changes)");
}

std::string json_string(std::string_view s) {
    std::string r = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\')
            r += {'\\', static_cast<char>(c)};
        else if (c < 0x20 || c >= 0x7F) // control bytes, and bytes of other codes as Latin-1
            r += fmt::format("\\u{:04x}", c);
        else
            r += static_cast<char>(c);
    }
    return r + "\"";
}

Record::Rendered Record::render(double v) {
    const std::string s = fmt::format("{}", v);
    return {s, s};
}

std::string Record::json() const {
    std::string r = "{";
    for (const Field& f : fields_)
        r += (r.size() > 1 ? "," : "") + json_string(f.name) + ":" + f.json;
    return r + "}";
}

std::string Record::values() const {
    std::string r;
    for (const Field& f : fields_)
        if (f.kind == Kind::Value)
            r += (r.empty() ? "" : " ") + f.plain;
    return r;
}

std::string render(const Output& out, const Record& r, const std::string& text) {
    return out.format == Format::Json ? r.json() : out.format == Format::Values ? r.values() : text;
}

void emit(const Output& out, const Record& r, const std::string& text) {
    std::fputs((render(out, r, text) + "\n").c_str(), stdout);
}

void say(const Output& out, const std::string& text) {
    if (out.format == Format::Text)
        std::fputs((text + "\n").c_str(), stdout);
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

} // namespace mfbctl
