// The exports that the hostile-driver target calls, one table entry each.
//
// An entry names the export and its ordinal; its arguments are drawn from the input by their C
// types, in parameter order:
//   - uint32_t as the first parameter: a board handle (real, stale, zero or random);
//   - other integers: raw values of their width, in range or not;
//   - const char*: a text of up to 63 characters;
//   - MFB_BoardIntRoutine: null, a routine that counts, or one that resets itself;
//   - any other pointer: an out-buffer of its own, exactly as large as the export may write (one
//     element unless the entry's Shape says otherwise), so that AddressSanitizer sees every
//     write past it; or null, where the export takes null for it. A const pointer (an in-value
//     the caller must give) points to a buffer of its own too, filled with 0xA5.
// Adding a family is adding its entries to the table in export_table.cpp.
#pragma once

#include "mfb.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <tuple>
#include <type_traits>
#include <utility>

namespace mfbfuzz {

class Session;

// The sizes of an export's pointer arguments, which of them may be null, the handle it writes
// when it opens a board, and an argument that counts pauses.
struct Shape {
    struct Buffer {
        int param = -1;        // parameter index of the pointer
        std::size_t count = 1; // elements, when count_param < 0
        int count_param = -1;  // else the element count is this integer argument's value
    };
    std::array<Buffer, 4> buffers{};
    std::size_t buffer_count = 0;
    std::array<int, 4> optionals{-1, -1, -1, -1}; // pointers that are null when the input says so
    int opens = -1;                               // parameter index of a handle written on success
    // A count of requests with pauses between them, kept small so that no input asks for billions
    // of them: a value above `bound` is taken modulo bound + 1, but for all ones ("no wait").
    int bounded = -1;
    std::uint32_t bound = 0;

    constexpr Shape array(int param, std::size_t count) const {
        Shape s = *this;
        s.buffers[s.buffer_count++] = {param, count, -1};
        return s;
    }
    constexpr Shape counted(int param, int count_param) const {
        Shape s = *this;
        s.buffers[s.buffer_count++] = {param, 0, count_param};
        return s;
    }
    constexpr Shape optional(int param) const {
        Shape s = *this;
        for (int& o : s.optionals)
            if (o < 0) {
                o = param;
                break;
            }
        return s;
    }
    constexpr bool is_optional(std::size_t param) const {
        for (int o : optionals)
            if (o == static_cast<int>(param))
                return true;
        return false;
    }
    constexpr Shape pauses(int param, std::uint32_t at_most) const {
        Shape s = *this;
        s.bounded = param;
        s.bound = at_most;
        return s;
    }
    constexpr Shape opening(int param) const {
        Shape s = *this;
        s.opens = param;
        return s;
    }
};

struct Export {
    std::uint16_t ordinal;
    const char* name;
    std::int16_t (*call)(Session&, const Shape&);
    Shape shape;
};

// The table, in no particular order: inputs name exports by ordinal.
extern const Export* const kExports;
extern const std::size_t kExportCount;

template <class F> struct Signature;
template <class... A> struct Signature<std::int16_t(MFB_CALL*)(A...)> {
    using Args = std::tuple<A...>;
};

// An integer argument's value, for the size of a buffer it counts; 0 for any other argument.
template <class Tuple> std::size_t integer_at(const Tuple& args, int index) {
    std::size_t v = 0;
    std::apply(
        [&](const auto&... a) {
            int i = 0;
            (
                [&](const auto& x) {
                    if constexpr (std::is_integral_v<std::decay_t<decltype(x)>>)
                        if (i == index)
                            v = static_cast<std::size_t>(x);
                    ++i;
                }(a),
                ...);
        },
        args);
    return v;
}

// Draws the arguments of Fn (values first, in parameter order, then the buffers, whose sizes may
// depend on the values), calls it and notes a handle that it opened.
template <auto Fn> std::int16_t call(Session& s, const Shape& shape);

} // namespace mfbfuzz
