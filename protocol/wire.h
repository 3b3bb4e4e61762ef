// The wire format of the board driver's control channel, as both of its sides see it: the library,
// which sends every hardware operation as one DeviceIoControl exchange, and the simulated board,
// which answers them. Standard library only: the library depends on nothing else.
//
// Every multi-byte field of an exchange buffer, request or answer, is little-endian. Fields are
// read and written at their offsets with explicit byte order, never by casting a struct over the
// bytes; these are the one reader and writer of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace mfb::protocol {

constexpr std::uint16_t get_le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
constexpr std::uint32_t get_le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
constexpr void put_le16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
constexpr void put_le32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Which buffers an exchange passes. With both, one buffer serves: the driver writes its answer
// over the request. A buffer not passed is null with size 0.
enum class Io : std::uint8_t {
    None,        // neither: the ControlCode alone is the request
    RequestOnly, // the buffer as input, no answer
    Same,        // the buffer as input and as output, of equal size
    AnswerOnly,  // no input, the buffer as output
};

// Where an answer carries the driver's status word, for the requests that have one. How a status
// becomes a function's status is the library's (board/status.h), not the wire's.
enum class StatusAt : std::uint8_t {
    None,      // no status word: the exchange's own success is all there is
    Last32,    // u32 in the last four bytes
    Last16,    // u16 at the start of the last four bytes
    First16,   // u16 at offset 0, ahead of the request's fields
    FirstByte, // u8 at offset 0
};

// One request of the control channel: its ControlCode, the size of its buffer, which buffers pass
// and where the answer's status word lies.
struct Request {
    std::uint32_t code;
    std::uint32_t size; // 0 with Io::None
    Io io;
    StatusAt status = StatusAt::None;

    constexpr bool sends() const { return io == Io::RequestOnly || io == Io::Same; }
    constexpr bool answers() const { return io == Io::Same || io == Io::AnswerOnly; }
    constexpr std::size_t status_offset() const {
        return status == StatusAt::Last32 || status == StatusAt::Last16 ? size - 4 : 0;
    }
};

// The driver status word of an answer of r (0 for a request without one), and its writing.
constexpr std::uint32_t status_word(const Request& r, const std::uint8_t* answer) {
    const std::uint8_t* at = answer + r.status_offset();
    switch (r.status) {
    case StatusAt::Last32:
        return get_le32(at);
    case StatusAt::Last16:
    case StatusAt::First16:
        return get_le16(at);
    case StatusAt::FirstByte:
        return *at;
    case StatusAt::None:
        break;
    }
    return 0;
}
constexpr void put_status_word(const Request& r, std::uint8_t* answer, std::uint32_t s) {
    std::uint8_t* at = answer + r.status_offset();
    switch (r.status) {
    case StatusAt::Last32:
        put_le32(at, s);
        break;
    case StatusAt::Last16:
    case StatusAt::First16:
        put_le16(at, static_cast<std::uint16_t>(s));
        break;
    case StatusAt::FirstByte:
        *at = static_cast<std::uint8_t>(s);
        break;
    case StatusAt::None:
        break;
    }
}

// The request of a ControlCode among a family's; null when the family has none of that code.
constexpr const Request* find(std::span<const Request> requests, std::uint32_t code) {
    for (const Request& r : requests)
        if (r.code == code)
            return &r;
    return nullptr;
}

} // namespace mfb::protocol
