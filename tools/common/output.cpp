#include "output.h"

#include <fmt/format.h>

#include <cstdio>

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

void emit(const Output& out, const Record& r, const std::string& text) {
    const std::string line = out.format == Format::Json     ? r.json()
                             : out.format == Format::Values ? r.values()
                                                            : text;
    std::fputs((line + "\n").c_str(), stdout);
}

void say(const Output& out, const std::string& text) {
    if (out.format == Format::Text)
        std::fputs((text + "\n").c_str(), stdout);
}

} // namespace mfbctl
