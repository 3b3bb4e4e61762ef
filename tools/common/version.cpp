#include "version.h"

#include "mfb.h"

#include <fmt/format.h>

namespace mfbctl {
namespace {

// Two BCD digits, or -1 when they are not.
int bcd(unsigned byte) {
    const unsigned hi = byte >> 4, lo = byte & 0xF;
    return hi > 9 || lo > 9 ? -1 : static_cast<int>(hi * 10 + lo);
}

} // namespace

std::string decode_version_word(std::uint32_t word) {
    static const char* const kMonths[] = {"January",   "February", "March",    "April",
                                          "May",       "June",     "July",     "August",
                                          "September", "October",  "November", "December"};
    const int month = bcd((word >> 8) & 0xFF), year = bcd(word & 0xFF);
    const std::string month_text = month >= 1 && month <= 12
                                       ? kMonths[month - 1]
                                       : fmt::format("month {:#04x}", (word >> 8) & 0xFF);
    const std::string year_text =
        year >= 0 ? fmt::format("{}", 2000 + year) : fmt::format("year {:#04x}", word & 0xFF);
    return fmt::format("build {}, {} {}", word >> 16, month_text, year_text);
}

std::uint32_t library_version_word() {
    std::uint32_t word = 0;
    i_MFB_GetDLLVersion(&word); // always 0
    return word;
}

} // namespace mfbctl
