// The library's version word, made from the build number and the build date as texts.
//
// Bits 31 to 16 hold the build number, bits 15 to 8 the build month as two BCD digits (0x01 for
// January to 0x12 for December), bits 7 to 0 the last two digits of the build year as two BCD
// digits. The date text has the compiler's __DATE__ shape, "Mmm dd yyyy" with the day padded by
// a blank ("Aug  4 2022"). The texts of this build are fixed below rather than taken from the
// compiler, so that two builds of the same source report the same word.
#pragma once

#include <cstdint>
#include <string_view>

namespace mfb {

constexpr std::string_view kBuildNumber = "7376";
constexpr std::string_view kBuildDate = "Aug  4 2022";

// 0x01 to 0x09, 0x10, 0x11, 0x12 for the English month abbreviation that opens the date text
// (case-sensitive); 0 for anything else.
constexpr std::uint8_t month_code(std::string_view date) {
    constexpr std::string_view kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    for (int m = 1; m <= 12; ++m)
        if (date.substr(0, 3) == kMonths[m - 1])
            return static_cast<std::uint8_t>(m / 10 * 16 + m % 10);
    return 0;
}

// The year's last two digits, characters 9 and 10 of the date text, each taken by its low four
// bits; a text too short to hold them gives 0 for what is missing.
constexpr std::uint8_t year_code(std::string_view date) {
    const auto digit = [&](std::size_t i) {
        return i < date.size() ? static_cast<unsigned>(date[i] - '0') & 0xFu : 0u;
    };
    return static_cast<std::uint8_t>(digit(9) * 16 + digit(10));
}

// The build number text read as a decimal number up to its first non-digit, in 16 bits.
constexpr std::uint16_t build_code(std::string_view build) {
    std::uint32_t n = 0;
    for (char c : build) {
        if (c < '0' || c > '9')
            break;
        n = n * 10 + static_cast<std::uint32_t>(c - '0');
    }
    return static_cast<std::uint16_t>(n);
}

constexpr std::uint32_t version_word(std::string_view build, std::string_view date) {
    return std::uint32_t{build_code(build)} << 16 | std::uint32_t{month_code(date)} << 8 |
           year_code(date);
}

static_assert(version_word(kBuildNumber, kBuildDate) == 0x1CD00822);

} // namespace mfb
