// Little-endian fields of an exchange buffer, as the simulated modules read requests and write
// answers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mfb::sim {

inline std::uint32_t le_u32(const std::uint8_t* b, std::size_t off) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i)
        v |= static_cast<std::uint32_t>(b[off + i]) << (8 * i);
    return v;
}

inline std::uint16_t le_u16(const std::uint8_t* b, std::size_t off) {
    return static_cast<std::uint16_t>(b[off] | (b[off + 1] << 8));
}

inline void put_le_u32(std::uint8_t* b, std::size_t off, std::uint32_t v) {
    for (std::size_t i = 0; i < 4; ++i)
        b[off + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

} // namespace mfb::sim
