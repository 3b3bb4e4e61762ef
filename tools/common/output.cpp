#include "output.h"

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace mfbctl {

namespace {

std::chrono::steady_clock::time_point g_command_start = std::chrono::steady_clock::now();
bool g_values_line = false; // a line of bare values is open

// A CSV cell: quoted where it holds a comma, a quote or a line end.
std::string csv_cell(const std::string& s) {
    if (s.find_first_of(",\"\r\n") == std::string::npos)
        return s;
    std::string r = "\"";
    for (char c : s)
        r += c == '"' ? std::string("\"\"") : std::string(1, c);
    return r + "\"";
}

} // namespace

std::string flag_words(const std::vector<std::string>& names) {
    std::string text;
    for (std::string n : names) {
        std::replace(n.begin(), n.end(), '_', ' ');
        text += (text.empty() ? "" : ", ") + n;
    }
    return text;
}

void start_command_clock() {
    g_command_start = std::chrono::steady_clock::now();
}

std::uint64_t command_clock_ns() {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                          std::chrono::steady_clock::now() - g_command_start)
                                          .count());
}

void end_values_line() {
    if (g_values_line)
        std::fputs("\n", stdout);
    g_values_line = false;
}

void add_output_options(CLI::App* cmd, Output& out) {
    cmd->add_flag_callback(
        "--json", [&out] { out.format = Format::Json; },
        "print what is read as JSON, one object a line, with t: seconds since the command "
        "started");
    cmd->add_flag_callback(
        "--csv", [&out] { out.format = Format::Csv; },
        "print what is read as comma-separated values under a header line");
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
    return {s, s, {s}};
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

std::string Record::quoted(std::string_view v) {
    if (!v.empty() && v.find_first_of(" \t\"\\") == std::string_view::npos)
        return std::string(v);
    std::string r = "\"";
    for (char c : v)
        r += c == '"' || c == '\\' ? std::string{'\\', c} : std::string(1, c);
    return r + "\"";
}

std::string Record::csv_header() const {
    std::vector<std::string> names;
    for (const Field& f : fields_) {
        if (f.kind != Kind::Detail && !f.list)
            names.push_back(f.name);
        for (std::size_t i = 0; f.kind != Kind::Detail && f.list && i < f.cells.size(); ++i)
            names.push_back(fmt::format("{}_{}", f.name, i));
    }
    return fmt::format("{}", fmt::join(names, ","));
}

std::string Record::csv() const {
    std::vector<std::string> cells;
    for (const Field& f : fields_)
        for (std::size_t i = 0; f.kind != Kind::Detail && i < f.cells.size(); ++i)
            cells.push_back(csv_cell(f.cells[i]));
    return fmt::format("{}", fmt::join(cells, ","));
}

Record& Record::stamp(double t) {
    Rendered r = render(std::round(t * 1e6) / 1e6);
    fields_.insert(fields_.begin(), Field{"t", std::move(r.json), std::move(r.plain), Kind::Key,
                                          std::move(r.cells)});
    return *this;
}

std::string render(const Output& out, const Record& r, const std::string& text) {
    if (out.format == Format::Text)
        return text;
    if (out.format == Format::Values)
        return r.values();
    Record stamped = r;
    stamped.stamp(out.at ? *out.at : static_cast<double>(command_clock_ns()) / 1e9);
    if (out.format == Format::Json)
        return stamped.json();
    std::string line = stamped.csv();
    if (const std::string header = stamped.csv_header(); header != out.csv_header) {
        out.csv_header = header;
        line = header + "\n" + line;
    }
    return line;
}

void emit(const Output& out, const Record& r, const std::string& text) {
    const std::string line = render(out, r, text);
    if (out.format == Format::Values) {
        std::fputs(((g_values_line ? " " : "") + line).c_str(), stdout);
        g_values_line = true;
        return;
    }
    std::fputs((line + "\n").c_str(), stdout);
}

void say(const Output& out, const std::string& text) {
    if (out.format == Format::Text)
        std::fputs((text + "\n").c_str(), stdout);
}

} // namespace mfbctl
