// Exchange buffers: small fixed-size little-endian records that serve as the request and, where
// the driver answers, as the response of one exchange.
//
// Fields are written and read at fixed offsets with explicit byte order, never by casting a struct
// over the bytes; an offset that does not fit the buffer is a compile error. Every frame starts
// zeroed, so bytes that no field names go to the driver as 0.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mfb {

template <std::size_t N> struct Frame {
    static constexpr std::size_t size = N;
    std::uint8_t bytes[N] = {};

    template <std::size_t Off> Frame& u8(std::uint8_t v) {
        static_assert(Off + 1 <= N, "field outside the frame");
        bytes[Off] = v;
        return *this;
    }
    template <std::size_t Off> Frame& u16(std::uint16_t v) {
        static_assert(Off + 2 <= N, "field outside the frame");
        bytes[Off] = static_cast<std::uint8_t>(v);
        bytes[Off + 1] = static_cast<std::uint8_t>(v >> 8);
        return *this;
    }
    template <std::size_t Off> Frame& u32(std::uint32_t v) {
        static_assert(Off + 4 <= N, "field outside the frame");
        for (std::size_t i = 0; i < 4; ++i)
            bytes[Off + i] = static_cast<std::uint8_t>(v >> (8 * i));
        return *this;
    }
    template <std::size_t Off> std::uint8_t get_u8() const {
        static_assert(Off + 1 <= N, "field outside the frame");
        return bytes[Off];
    }
    template <std::size_t Off> std::uint16_t get_u16() const {
        static_assert(Off + 2 <= N, "field outside the frame");
        return static_cast<std::uint16_t>(bytes[Off] | (bytes[Off + 1] << 8));
    }
    template <std::size_t Off> std::uint32_t get_u32() const {
        static_assert(Off + 4 <= N, "field outside the frame");
        std::uint32_t v = 0;
        for (std::size_t i = 0; i < 4; ++i)
            v |= static_cast<std::uint32_t>(bytes[Off + i]) << (8 * i);
        return v;
    }
    // The 32-bit word at a run-time offset, for copies of a counted run of words.
    std::uint32_t word_at(std::size_t off) const {
        std::uint32_t v = 0;
        for (std::size_t i = 0; i < 4 && off + i < N; ++i)
            v |= static_cast<std::uint32_t>(bytes[off + i]) << (8 * i);
        return v;
    }
    // The driver status word in the last four bytes, where the families that have one keep it.
    std::uint32_t status_word() const { return get_u32<N - 4>(); }
};

} // namespace mfb
