// Exchange buffers: small fixed-size little-endian records that serve as the request and, where
// the driver answers, as the response of one exchange.
//
// Fields are written and read at fixed offsets, never by casting a struct over the bytes; an offset
// that does not fit the buffer is a compile error. Every frame starts zeroed, so bytes that no
// field names go to the driver as 0. Buffer<R> is the frame of one request of requests.h: its size
// is the request's, and it carries the request's code, buffers and status word along.
#pragma once

#include "protocol/wire.h"

#include <cstddef>
#include <cstdint>

namespace mfb::protocol {

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
        put_le16(bytes + Off, v);
        return *this;
    }
    template <std::size_t Off> Frame& u32(std::uint32_t v) {
        static_assert(Off + 4 <= N, "field outside the frame");
        put_le32(bytes + Off, v);
        return *this;
    }
    template <std::size_t Off> std::uint8_t get_u8() const {
        static_assert(Off + 1 <= N, "field outside the frame");
        return bytes[Off];
    }
    template <std::size_t Off> std::uint16_t get_u16() const {
        static_assert(Off + 2 <= N, "field outside the frame");
        return get_le16(bytes + Off);
    }
    template <std::size_t Off> std::uint32_t get_u32() const {
        static_assert(Off + 4 <= N, "field outside the frame");
        return get_le32(bytes + Off);
    }
    // The 32-bit word at a run-time offset, for copies of a counted run of words; a word that
    // does not lie within the frame reads as 0.
    std::uint32_t word_at(std::size_t off) const {
        return off + 4 <= N ? get_le32(bytes + off) : 0;
    }
};

template <Request R> struct Buffer : Frame<R.size> {
    static_assert(R.size > 0, "a request without a buffer has no frame");
    static constexpr Request request = R;

    // The driver status word of the answer (the request must have one).
    std::uint32_t status_word() const {
        static_assert(R.status != StatusAt::None, "the answer has no status word");
        return protocol::status_word(R, this->bytes);
    }
};

} // namespace mfb::protocol
