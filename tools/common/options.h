// The option vocabulary of mfbctl: checked numbers, named choices, times with units, and the
// board and module options every command shares. Each helper checks the value when the command
// line is parsed, before any command runs, and its error names the option and the range; the
// help shows the range.
//
// A new command uses them like this:
//     auto o = std::make_shared<Options>();      // lives as long as the command's callbacks
//     add_board_option(cmd, o->board);
//     add_module_option(cmd, o->module);
//     add_number(cmd, "-t,--timer", o->timer, 0, 2, "timer number", "timer (default 0)");
//     add_choice(cmd, "--clock", o->clock, kClocks, "clock", "internal, cascade or external");
//     add_time(cmd, "--for", o->run_for, "how long to let it run");
#pragma once

#include <CLI/CLI.hpp>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace mfbctl {

// A usage error found after parsing (values that only make sense together, commands that need a
// session): main prints it and exits with 2, like a parse error.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A whole number: decimal, or hexadecimal with 0x, or binary with 0b; a leading minus sign only
// where lo is below 0. Throws UsageError "<name>: ..." with the range when it is not in lo..hi.
std::int64_t parse_number(std::string_view text, std::int64_t lo, std::int64_t hi,
                          std::string_view what, std::string_view name);
// Throws UsageError unless lo <= value <= hi, naming the value and the range.
void check_range(std::int64_t value, std::int64_t lo, std::int64_t hi, std::string_view what,
                 std::string_view name);

// Times: a number with a unit, ns, us, ms, s or min; ms without one. Decimals are taken as far as
// they give whole nanoseconds. `unit` is the unit written, or a finer one where a decimal needs it
// ("1.5ms" is 1500 us), for the commands that hand a unit to the library.
enum class TimeUnit : std::uint8_t { ns, us, ms, s, min };
struct Time {
    std::uint64_t ns = 0;
    TimeUnit unit = TimeUnit::ms;
    std::uint64_t count(TimeUnit u) const; // ns in unit u, which must divide it
};
Time parse_time(std::string_view text, std::string_view name);
const char* unit_name(TimeUnit u);
std::uint64_t unit_ns(TimeUnit u);
// "1.5ms", "20us", "3s", "0ms": the coarsest unit that shows the time exactly with at most three
// decimals, written as parse_time reads it.
std::string format_time(std::uint64_t ns);

// A rate in Hz: a number, with Hz, kHz or MHz if given ("100", "2.5Hz", "1e3", "1kHz"); above 0,
// up to 1 MHz.
double parse_rate(std::string_view text, std::string_view name);
inline CLI::Option* add_rate(CLI::App* cmd, const std::string& names, std::optional<double>& target,
                             const std::string& help) {
    return cmd
        ->add_option_function<std::string>(
            names,
            [&target, name = names.substr(names.rfind(',') + 1)](const std::string& t) {
                target = parse_rate(t, name);
            },
            help)
        ->option_text("RATE");
}

// The option name as errors show it: the long name of "-t,--timer", or a positional's name.
std::string display_name(const std::string& names);

template <class T> struct OptionTarget {
    static void set(T& target, std::int64_t v) { target = static_cast<T>(v); }
};
template <class T> struct OptionTarget<std::optional<T>> {
    static void set(std::optional<T>& target, std::int64_t v) { target = static_cast<T>(v); }
};

// A whole-number option (or positional) checked against lo..hi; `what` names the value in errors
// ("timer number"), `help` is the help text. The target is a number type or an optional of one.
template <class T>
CLI::Option* add_number(CLI::App* cmd, const std::string& names, T& target, std::int64_t lo,
                        std::int64_t hi, std::string what, const std::string& help) {
    auto* opt = cmd->add_option_function<std::string>(
        names,
        [&target, lo, hi, what, name = display_name(names)](const std::string& text) {
            OptionTarget<T>::set(target, parse_number(text, lo, hi, what, name));
        },
        help);
    opt->option_text(std::to_string(lo) + "-" + std::to_string(hi));
    return opt;
}

// A choice among names; a value's number is accepted too. `choices` gives each name its value.
using Choices = std::vector<std::pair<std::string, unsigned>>;
unsigned parse_choice(std::string_view text, const Choices& choices, std::string_view what,
                      std::string_view name);
template <class T>
CLI::Option* add_choice(CLI::App* cmd, const std::string& names, T& target, Choices choices,
                        std::string what, const std::string& help) {
    std::string text;
    for (const auto& [n, v] : choices)
        text += (text.empty() ? "" : "|") + n;
    auto* opt = cmd->add_option_function<std::string>(
        names,
        [&target, choices, what, name = display_name(names)](const std::string& t) {
            OptionTarget<T>::set(target, parse_choice(t, choices, what, name));
        },
        help);
    opt->option_text(text);
    return opt;
}

// A time option (see parse_time); the target is a Time or an optional one.
template <class T>
CLI::Option* add_time(CLI::App* cmd, const std::string& names, T& target, const std::string& help) {
    return cmd
        ->add_option_function<std::string>(
            names,
            [&target, name = display_name(names)](const std::string& t) {
                target = parse_time(t, name);
            },
            help)
        ->option_text("TIME");
}

// -b/--board: a board index 0 to 29 (the library has 30 board slots), default 0.
constexpr unsigned kMaxBoards = 30;
CLI::Option* add_board_option(CLI::App* cmd, unsigned& board);
// -m/--module: a module position 0 to 3; without it, the board's first position that carries the
// command's function.
CLI::Option* add_module_option(CLI::App* cmd, std::optional<unsigned>& module);

// The values of a byte argument, range-checked by its option.
inline std::uint8_t u8(unsigned v) {
    return static_cast<std::uint8_t>(v);
}

} // namespace mfbctl
