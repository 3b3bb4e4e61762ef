#include "options.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <optional>
#include <limits>
#include <numeric>

namespace mfbctl {
namespace {

std::string lower(std::string_view s) {
    std::string r(s);
    std::transform(r.begin(), r.end(), r.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return r;
}

// "a" or "an" before a word, by its sound: "an edge", "an ETM mode", "a timer mode".
const char* article(std::string_view word) {
    if (word.empty())
        return "a";
    const char c = word[0];
    const bool acronym = word.size() > 1 && std::isupper(static_cast<unsigned char>(word[1]));
    if (acronym)
        return std::string_view("AEFHILMNORSX").find(c) != std::string_view::npos ? "an" : "a";
    return std::string_view("aeiouAEIOU").find(c) != std::string_view::npos ? "an" : "a";
}

std::string range_words(std::int64_t lo, std::int64_t hi) {
    return hi == lo + 1 ? fmt::format("{} or {}", lo, hi) : fmt::format("{} to {}", lo, hi);
}

struct UnitName {
    const char* name;
    TimeUnit unit;
};
constexpr UnitName kUnitNames[] = {{"ns", TimeUnit::ns},        {"us", TimeUnit::us},
                                   {"\xC2\xB5s", TimeUnit::us}, {"ms", TimeUnit::ms},
                                   {"s", TimeUnit::s},          {"min", TimeUnit::min}};

} // namespace

std::string display_name(const std::string& names) {
    std::string best;
    std::size_t start = 0;
    while (start <= names.size()) {
        std::size_t end = names.find(',', start);
        if (end == std::string::npos)
            end = names.size();
        const std::string part = names.substr(start, end - start);
        if (best.empty() || part.rfind("--", 0) == 0)
            best = part;
        start = end + 1;
    }
    return best;
}

void check_range(std::int64_t value, std::int64_t lo, std::int64_t hi, std::string_view what,
                 std::string_view name) {
    if (value < lo || value > hi)
        throw UsageError(fmt::format("{}: {} is out of range for the {} ({})", name, value, what,
                                     range_words(lo, hi)));
}

std::int64_t parse_number(std::string_view text, std::int64_t lo, std::int64_t hi,
                          std::string_view what, std::string_view name) {
    std::string_view digits = text;
    const bool negative = !digits.empty() && digits.front() == '-';
    if (negative)
        digits.remove_prefix(1);
    int base = 10;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
        base = 16, digits.remove_prefix(2);
    else if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'b' || digits[1] == 'B'))
        base = 2, digits.remove_prefix(2);
    std::uint64_t magnitude = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), magnitude, base);
    if (digits.empty() || end != digits.data() + digits.size() || ec == std::errc::invalid_argument)
        throw UsageError(fmt::format("{}: '{}' is not a number ({} is {})", name, text, what,
                                     range_words(lo, hi)));
    const std::uint64_t limit = negative ? std::uint64_t{1} << 63 : (std::uint64_t{1} << 63) - 1;
    if (ec == std::errc::result_out_of_range || magnitude > limit)
        throw UsageError(fmt::format("{}: {} is out of range for the {} ({})", name, text, what,
                                     range_words(lo, hi)));
    const std::int64_t value =
        negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
    check_range(value, lo, hi, what, name);
    return value;
}

unsigned parse_choice(std::string_view text, const Choices& choices, std::string_view what,
                      std::string_view name) {
    const std::string key = lower(text);
    std::string names;
    for (const auto& [n, v] : choices) {
        if (key == n || key == std::to_string(v))
            return v;
        names += (names.empty() ? "" : ", ") + n;
    }
    throw UsageError(
        fmt::format("{}: '{}' is not {} {} ({})", name, text, article(what), what, names));
}

std::uint64_t unit_ns(TimeUnit u) {
    switch (u) {
    case TimeUnit::ns:
        return 1;
    case TimeUnit::us:
        return 1'000;
    case TimeUnit::ms:
        return 1'000'000;
    case TimeUnit::s:
        return 1'000'000'000;
    case TimeUnit::min:
        return 60'000'000'000;
    }
    return 1;
}

const char* unit_name(TimeUnit u) {
    switch (u) {
    case TimeUnit::ns:
        return "ns";
    case TimeUnit::us:
        return "us";
    case TimeUnit::ms:
        return "ms";
    case TimeUnit::s:
        return "s";
    case TimeUnit::min:
        return "min";
    }
    return "?";
}

std::uint64_t Time::count(TimeUnit u) const {
    return ns / unit_ns(u);
}

namespace {

// A decimal number as people write it, "1.5", "2e3", "1e-3": digits * 10^exponent, exactly.
struct Decimal {
    std::uint64_t digits = 0;
    int exponent = 0;
};

// Reads a decimal from the front of `text`; the rest (a unit) is left in `text`. nullopt when no
// digit comes first or the digits do not fit 64 bits.
std::optional<Decimal> read_decimal(std::string_view& text) {
    Decimal d;
    bool any = false;
    std::size_t i = 0;
    const auto digit = [&](bool fraction) {
        if (__builtin_mul_overflow(d.digits, 10u, &d.digits) ||
            __builtin_add_overflow(d.digits, static_cast<unsigned>(text[i] - '0'), &d.digits))
            return false;
        d.exponent -= fraction ? 1 : 0;
        any = true;
        return true;
    };
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
        if (!digit(false))
            return std::nullopt;
    if (i < text.size() && text[i] == '.')
        for (++i; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
            if (!digit(true))
                return std::nullopt;
    if (!any)
        return std::nullopt;
    if (i + 1 < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        const bool minus = text[j] == '-';
        j += text[j] == '-' || text[j] == '+';
        int e = 0;
        const std::size_t first = j;
        for (; j < text.size() && std::isdigit(static_cast<unsigned char>(text[j])) && e < 1000;
             ++j)
            e = e * 10 + (text[j] - '0');
        if (j > first) {
            d.exponent += minus ? -e : e;
            i = j;
        }
    }
    text.remove_prefix(i);
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    return d;
}

} // namespace

Time parse_time(std::string_view text, std::string_view name) {
    const auto fail = [&](std::string_view why) {
        return UsageError(fmt::format("{}: '{}' {} (a time is a number with a unit: ns, us, ms, s "
                                      "or min, as 10ms, 10 ms or 1e3ns; ms if none is given)",
                                      name, text, why));
    };
    if (!text.empty() && text.front() == '-')
        throw fail("is negative: times are 0 or more");
    std::string_view rest = text;
    const auto d = read_decimal(rest);
    if (!d)
        throw fail("is not a time");
    TimeUnit unit = TimeUnit::ms;
    if (!rest.empty()) {
        const auto* u = std::find_if(std::begin(kUnitNames), std::end(kUnitNames),
                                     [&](const UnitName& n) { return rest == n.name; });
        if (u == std::end(kUnitNames))
            throw fail("has no known unit");
        unit = u->unit;
    }
    // ns = digits * 10^exponent * per, exactly.
    std::uint64_t ns = d->digits;
    if (__builtin_mul_overflow(ns, unit_ns(unit), &ns))
        throw fail("is too long");
    for (int e = d->exponent; e > 0; --e)
        if (__builtin_mul_overflow(ns, 10u, &ns))
            throw fail("is too long");
    for (int e = d->exponent; e < 0; ++e) {
        if (ns % 10 != 0)
            throw fail("is finer than a nanosecond");
        ns /= 10;
    }
    while (unit != TimeUnit::ns && ns % unit_ns(unit) != 0)
        unit = static_cast<TimeUnit>(static_cast<int>(unit) - 1);
    return Time{ns, unit};
}

double parse_rate(std::string_view text, std::string_view name) {
    std::string_view rest = text;
    const auto d = read_decimal(rest);
    const std::string unit = lower(rest);
    const double scale = unit.empty() || unit == "hz" ? 1
                         : unit == "khz"              ? 1e3
                         : unit == "mhz"              ? 1e6
                                                      : 0;
    if (!d || scale == 0)
        throw UsageError(fmt::format("{}: '{}' is not a rate (a number of samples a second, with "
                                     "Hz or kHz if you like: 100, 2.5Hz, 1kHz)",
                                     name, text));
    const double hz = static_cast<double>(d->digits) * std::pow(10.0, d->exponent) * scale;
    if (!(hz > 0 && hz <= 1e6))
        throw UsageError(fmt::format("{}: {} is out of range for a sampling rate (above 0, up to "
                                     "1 MHz)",
                                     name, text));
    return hz;
}

std::string format_time(std::uint64_t ns) {
    for (TimeUnit u : {TimeUnit::s, TimeUnit::ms, TimeUnit::us}) {
        const std::uint64_t per = unit_ns(u);
        if (ns >= per && (ns % (per / 1000)) == 0) {
            std::string s = fmt::format("{}.{:03}", ns / per, ns % per / (per / 1000));
            s.erase(s.find_last_not_of('0') + 1);
            if (s.back() == '.')
                s.pop_back();
            return s + unit_name(u);
        }
    }
    return ns == 0 ? "0ms" : fmt::format("{}ns", ns);
}

CLI::Option* add_board_option(CLI::App* cmd, unsigned& board) {
    return add_number(cmd, "-b,--board", board, 0, kMaxBoards - 1, "board index",
                      "board index (default 0)");
}

CLI::Option* add_module_option(CLI::App* cmd, std::optional<unsigned>& module) {
    return add_number(cmd, "-m,--module", module, 0, 3, "module position",
                      "module position (default: the board's first of this function)");
}

} // namespace mfbctl
