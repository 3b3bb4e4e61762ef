// The library's version word, decoded.
#pragma once

#include <cstdint>
#include <string>

namespace mfbctl {

// "build 7376, August 2022": build number in bits 31-16, month (two BCD digits, 01 to 12) in bits
// 15-8, the year's last two digits (BCD) in bits 7-0.
std::string decode_version_word(std::uint32_t word);

// The library's version word.
std::uint32_t library_version_word();

} // namespace mfbctl
