// What a command prints. A command that reads builds a Record of what it read and hands it to
// emit() with the text for people; --json turns the record into one JSON object on a line of its
// own, with `t`, the seconds since the command started; --csv into a line of comma-separated
// values under a header line; -q/--quiet into the bare values, space-separated on one line for
// what one step reads, as gpioget prints them (a value with spaces in quotes). A command that
// changes something tells it with say(), which prints nothing under --json, --csv or -q.
//
//     Record r;
//     r.key("board", 0).key("module", 1).key("timer", 2).value("count", 1234);
//     emit(out, r, fmt::format("board 0 module 1 timer 2: {} counts", 1234));
#pragma once

#include <CLI/CLI.hpp>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace mfbctl {

enum class Format { Text, Json, Csv, Values };
struct Output {
    Format format = Format::Text;
    // The time a sampled read was due, in seconds since the command started; else records carry
    // the time they are printed.
    mutable std::optional<double> at;
    mutable std::string csv_header; // the header last printed
};
// --json, --csv and -q/--quiet.
void add_output_options(CLI::App* cmd, Output& out);

// The clock of `t`: monotonic seconds since start_command_clock(), which runs before each command
// line (in a session, each line).
void start_command_clock();
std::uint64_t command_clock_ns();

// Ends the line of bare values that -q prints for one step (nothing when none is open).
void end_values_line();

std::string json_string(std::string_view s);

class Record {
  public:
    // What the record is about (board, module, timer, ...): JSON only.
    template <class V> Record& key(std::string_view name, const V& v) {
        return add(name, v, Kind::Key);
    }
    // The values read: JSON and the bare values, in the order added.
    template <class V> Record& value(std::string_view name, const V& v) {
        return add(name, v, Kind::Value);
    }
    // Further detail (raw words, decoded fields): JSON only.
    template <class V> Record& detail(std::string_view name, const V& v) {
        return add(name, v, Kind::Detail);
    }

    std::string json() const;
    std::string values() const;
    // The header and the line of --csv: keys and values, a list as one column per item.
    std::string csv_header() const;
    std::string csv() const;
    // Puts `t` first.
    Record& stamp(double t);

  private:
    enum class Kind { Key, Value, Detail };
    struct Field {
        std::string name, json, plain;
        Kind kind;
        std::vector<std::string> cells; // --csv: the value, or a list's items
        bool list = false;
    };
    struct Rendered {
        std::string json, plain;
        std::vector<std::string> cells;
        bool list = false;
    };
    static Rendered render(bool v) {
        return {v ? "true" : "false", v ? "1" : "0", {v ? "1" : "0"}};
    }
    static Rendered render(double v);
    static Rendered render(std::string_view v) {
        return {json_string(v), quoted(v), {std::string(v)}};
    }
    static std::string quoted(std::string_view v);
    static Rendered render(const std::string& v) { return render(std::string_view(v)); }
    static Rendered render(const char* v) { return render(std::string_view(v)); }
    template <class I, std::enable_if_t<std::is_integral_v<I> && !std::is_same_v<I, bool>, int> = 0>
    static Rendered render(I v) {
        // Bytes are numbers here, not characters.
        const std::string s = std::to_string(+v);
        return {s, s, {s}};
    }
    template <class I> static Rendered render(std::span<const I> items) {
        Rendered r{"[", "", {}, true};
        for (std::size_t i = 0; i < items.size(); ++i) {
            const Rendered one = render(items[i]);
            r.json += (i ? "," : "") + one.json;
            r.plain += (i ? " " : "") + one.plain;
            r.cells.push_back(one.cells.front());
        }
        r.json += "]";
        return r;
    }
    template <class I> static Rendered render(const std::vector<I>& items) {
        return render(std::span<const I>(items));
    }
    template <class V> Record& add(std::string_view name, const V& v, Kind kind) {
        Rendered r = render(v);
        fields_.push_back({std::string(name), std::move(r.json), std::move(r.plain), kind,
                           std::move(r.cells), r.list});
        return *this;
    }

    std::vector<Field> fields_;
};

// Flag names as text: "track_a", "reached_zero" -> "track a, reached zero".
std::string flag_words(const std::vector<std::string>& names);

// A record as emit() prints it, without the line end.
std::string render(const Output& out, const Record& r, const std::string& text);
// Prints a record: `text` (with a line end added), one JSON object, a CSV line (after the header
// where it differs from the last one printed), or the bare values.
void emit(const Output& out, const Record& r, const std::string& text);
// Prints what a command did, in text mode only.
void say(const Output& out, const std::string& text);

// The standard output sent into a pipe while a library call that prints on it runs, so that the
// tool decides what of it to show: construct, call, restore(), then read() until it gives "".
// Meanwhile the tool prints with print(); the pipe holds 64 KiB, so a call that prints more needs
// a thread reading as it runs. Each platform brings its own (console_posix.cpp).
class StdoutPipe {
  public:
    StdoutPipe();
    ~StdoutPipe();
    StdoutPipe(const StdoutPipe&) = delete;
    StdoutPipe& operator=(const StdoutPipe&) = delete;
    // Puts the standard output back; read() then ends once the pipe is empty.
    void restore();
    // What was printed and not yet read; waits up to `wait_ms` for it. "" at the end, or when
    // the wait ran out (ended() tells which).
    std::string read(int wait_ms = -1);
    bool ended() const { return ended_; }
    // Prints on the original standard output, also while the pipe holds the standard output.
    void print(const std::string& text) const;

  private:
    int original_ = -1, read_ = -1, write_ = -1;
    bool ended_ = false;
};

} // namespace mfbctl
