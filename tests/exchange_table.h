// Table-driven checks of the exports that make at most one exchange, against the RecordingDriver:
// what a call returned, what reached the driver (nothing, or the exact bytes with the right
// buffers) and which of the caller's variables it wrote.
//
//     Refused        a check refuses: its status, nothing sent, nothing written
//     Sent           the checks pass: status 0, the one request byte for byte with its buffers,
//                    and what the call copied from the answer to the caller's variables
//     ExchangeFails  the exchange fails, refused by the driver and failed before it by
//                    DeviceIoControl: the status for that step, nothing written
#pragma once

#include "bus_fixture.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <ostream>
#include <vector>

namespace mfbtest {

inline constexpr std::uint32_t kUntouchedWord = 0xA5A5A5A5;
inline constexpr std::uint8_t kUntouchedByte = 0xA5;

// What a call wrote: the leading elements of each array of Outs; the rest keep the pattern.
struct Writes {
    std::vector<std::uint32_t> words = {};
    std::vector<std::uint32_t> words2 = {};
    Bytes bytes = {};
};

// The caller's variables of one call, preset to a pattern that no answer carries, so that any
// write shows.
struct Outs {
    std::array<std::uint32_t, 17> words; // single u32s, or a u32 array (one more than any fills)
    std::array<std::uint32_t, 3> words2; // a second u32 array
    std::array<std::uint8_t, 8> bytes;   // single bytes

    Outs() {
        words.fill(kUntouchedWord);
        words2.fill(kUntouchedWord);
        bytes.fill(kUntouchedByte);
    }
    explicit Outs(const Writes& w) : Outs() {
        place(w.words, words);
        place(w.words2, words2);
        place(w.bytes, bytes);
    }
    bool operator==(const Outs&) const = default;

  private:
    template <class T, std::size_t N>
    static void place(const std::vector<T>& from, std::array<T, N>& to) {
        if (from.size() > N) {
            ADD_FAILURE() << "Writes names " << from.size() << " elements of an array of " << N;
            return;
        }
        std::copy(from.begin(), from.end(), to.begin());
    }
};

// The elements that differ from the pattern, so that a failure shows what a call wrote.
inline std::ostream& operator<<(std::ostream& os, const Outs& o) {
    os << "{";
    const auto show = [&os](const char* name, const auto& elements, std::uint32_t untouched) {
        for (std::size_t i = 0; i < elements.size(); ++i)
            if (elements[i] != untouched)
                os << " " << name << "[" << i << "]=0x" << std::hex << +elements[i] << std::dec;
    };
    show("words", o.words, kUntouchedWord);
    show("words2", o.words2, kUntouchedWord);
    show("bytes", o.bytes, kUntouchedByte);
    return os << " }";
}

using Call = std::function<std::int16_t(MFB_BoardHandle, Outs&)>;

// The call with a handle that no slot holds.
inline Call stranger(Call c) {
    return [c](MFB_BoardHandle h, Outs& o) { return c(h + 1, o); };
}

// A call that a check refuses: its status, nothing sent, nothing written.
struct Refused {
    const char* what;
    Call call;
    std::int16_t status;
};

// A call that passes its checks: status 0, the one request it sends, what it copies.
struct Sent {
    const char* what;
    Call call;
    std::uint32_t code;
    Bytes request;         // the bytes sent, in_size of them
    std::uint32_t out = 0; // the output buffer's size; 0 for no output buffer
    Bytes answer = {};     // what the driver writes over the buffer (padded to `out` with 0);
                           // none: the driver leaves the request in place
    Writes writes = {};    // what the call wrote to the caller's variables
};

// A call whose exchange fails: its status for that step, nothing written.
struct ExchangeFails {
    const char* what;
    Call call;
    std::int16_t status;
};

// The one exchange that reached the driver: its code, the request bytes as sent and the buffers.
// An empty request means no input buffer at all, an out size of 0 no output buffer.
inline void expect_one_exchange(const RecordingDriver& d, std::uint32_t code, const Bytes& request,
                                std::uint32_t out) {
    const auto records = d.records();
    ASSERT_EQ(records.size(), 1u);
    const auto& r = records[0];
    EXPECT_EQ(r.code, code);
    EXPECT_EQ(r.request, request);
    EXPECT_EQ(r.in_null, request.empty());
    EXPECT_EQ(r.in_size, request.size());
    EXPECT_EQ(r.out_null, out == 0);
    EXPECT_EQ(r.out_size, out);
}

// A recording board, open as h; check() runs a case, check_all() a table of them.
class OpenRecorderTest : public BusTest {
  protected:
    void SetUp() override {
        BusTest::SetUp();
        d = open_recorder(h);
    }

    void check(const Refused& c) {
        SCOPED_TRACE(c.what);
        d->clear();
        Outs o;
        EXPECT_EQ(c.call(h, o), c.status);
        EXPECT_TRUE(d->records().empty()) << "sent although refused";
        EXPECT_EQ(o, Outs{}) << "wrote although refused";
    }

    void check(const Sent& c) {
        SCOPED_TRACE(c.what);
        d->clear();
        if (!c.answer.empty())
            d->script(answer(c.answer, c.out));
        Outs o;
        EXPECT_EQ(c.call(h, o), 0);
        expect_one_exchange(*d, c.code, c.request, c.out);
        EXPECT_EQ(o, Outs(c.writes));
    }

    // Both ways an exchange fails: the driver refuses it, or DeviceIoControl fails before the
    // driver sees it.
    void check(const ExchangeFails& c) {
        check_fails_with(c, failure());
        check_fails_with(c, std::nullopt);
    }

    // One way: the driver gives `answer`, or with none DeviceIoControl fails.
    void check_fails_with(const ExchangeFails& c, std::optional<RecordingDriver::Answer> answer) {
        SCOPED_TRACE(c.what);
        SCOPED_TRACE(answer ? "the driver's answer" : "DeviceIoControl failing");
        d->clear();
        if (answer)
            d->script(*answer);
        else
            mfb::vbus::fail(mfb::vbus::Fn::DeviceIoControl);
        Outs o;
        EXPECT_EQ(c.call(h, o), c.status);
        EXPECT_EQ(d->records().size(), answer ? 1u : 0u);
        EXPECT_EQ(o, Outs{}) << "wrote after a failed exchange";
        mfb::vbus::clear_faults();
    }

    template <class Cases> void check_all(const Cases& cases) {
        for (const auto& c : cases)
            check(c);
    }

    MFB_BoardHandle h = 0;
    std::shared_ptr<RecordingDriver> d;
};

// Little-endian bytes of a u32, for request tables.
inline Bytes le32(std::uint32_t v) {
    return {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)};
}

// Bytes joined, for request tables: cat({{1, 2}, le32(x), zeros(4)}).
inline Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

inline Bytes zeros(std::size_t n) {
    return Bytes(n, 0);
}

} // namespace mfbtest
