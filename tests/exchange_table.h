// Table-driven checks of the exports that make at most one exchange, against the RecordingDriver:
// what a call returned, what reached the driver and which of the caller's variables it wrote.
#pragma once

#include "bus_fixture.h"

#include <array>
#include <functional>
#include <initializer_list>
#include <optional>
#include <tuple>
#include <vector>

namespace mfbtest {

// What a call wrote: the leading elements of each array of Outs.
struct Writes {
    std::vector<std::uint32_t> words = {};
    std::vector<std::uint32_t> words2 = {};
    Bytes bytes = {};
};

// The caller's variables of one call, preset to a pattern no answer carries, so any write shows
// (also in the bytes of a failure message).
struct Outs {
    std::array<std::uint32_t, 17> words; // single u32s, or a u32 array (one more than any fills)
    std::array<std::uint32_t, 3> words2; // a second u32 array
    std::array<std::uint8_t, 8> bytes;   // single bytes

    explicit Outs(const Writes& w = {}) {
        const auto place = [](const auto& from, auto& to, auto pattern) {
            to.fill(pattern);
            for (std::size_t i = 0; i < from.size(); ++i)
                to.at(i) = from[i]; // throws where Writes names more elements than there are
        };
        place(w.words, words, 0xA5A5A5A5), place(w.words2, words2, 0xA5A5A5A5);
        place(w.bytes, bytes, 0xA5);
    }
    bool operator==(const Outs&) const = default;
};

using Call = std::function<std::int16_t(MFB_BoardHandle, Outs&)>;

// The Call of one export, with the handle h and the caller's variables o in scope:
// OUTS_CALL(ReadTimerValue(h, 0, 1, &o.words[0])).
#define OUTS_CALL(call) [](MFB_BoardHandle h, [[maybe_unused]] Outs& o) { return i_MFB_##call; }

// The Call of an export that writes none of the caller's variables, or one byte (bytes[0]) after
// its arguments.
template <class F, class... A> Call plain(F fn, A... args) {
    return [=](MFB_BoardHandle h, Outs&) { return fn(h, args...); };
}
template <class F, class... A> Call byte_out(F fn, A... args) {
    return [=](MFB_BoardHandle h, Outs& o) { return fn(h, args..., &o.bytes[0]); };
}

// The call with a handle that no slot holds.
inline Call stranger(Call c) {
    return [c](MFB_BoardHandle h, Outs& o) { return c(h + 1, o); };
}

// A call and the status it returns, when a check refuses it (nothing sent) or when its exchange
// fails (refused by the driver, or DeviceIoControl failing before it); either way nothing written.
template <int> struct Failing {
    const char* what;
    Call call;
    std::int16_t status;
};
using Refused = Failing<0>;
using ExchangeFails = Failing<1>;

// The call passes its checks: status 0, the one request it sends, what it copies.
struct Sent {
    const char* what;
    Call call;
    std::uint32_t code;
    Bytes request;         // the bytes sent, in_size of them
    std::uint32_t out = 0; // the output buffer's size; 0 for no output buffer
    Bytes answer = {};     // written over the buffer (padded with 0); none: the request stays
    Writes writes = {};    // what the call wrote to the caller's variables
};

// The one exchange that reached the driver: its code, the request bytes as sent and the buffers
// (an empty request: no input buffer; an out size of 0: no output buffer).
inline void expect_one_exchange(const RecordingDriver& d, std::uint32_t code, const Bytes& request,
                                std::uint32_t out) {
    const auto records = d.records();
    ASSERT_EQ(records.size(), 1u);
    const auto& r = records[0];
    EXPECT_EQ(r.code, code);
    EXPECT_EQ(r.request, request);
    EXPECT_EQ(std::tuple(r.in_null, r.in_size, r.out_null, r.out_size),
              std::tuple(request.empty(), std::uint32_t(request.size()), out == 0, out))
        << "input null and size, output null and size";
}

// A recording board, open as h; check() runs a case, check_all() a table of them.
class OpenRecorderTest : public BusTest {
  protected:
    void SetUp() override {
        BusTest::SetUp();
        d = open_recorder(h);
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

    void check(const Refused& c) {
        d->clear();
        expect_failed(c, 0);
    }

    void check(const ExchangeFails& c) {
        check_fails_with(c, failure());
        check_fails_with(c, std::nullopt);
    }

    // The driver gives `answer`, or with none DeviceIoControl fails before the driver sees it.
    void check_fails_with(const ExchangeFails& c, std::optional<RecordingDriver::Answer> answer) {
        SCOPED_TRACE(answer ? "the driver's answer" : "DeviceIoControl failing");
        d->clear();
        if (answer)
            d->script(*answer);
        else
            mfb::vbus::fail(mfb::vbus::Fn::DeviceIoControl);
        expect_failed(c, answer ? 1 : 0);
        mfb::vbus::clear_faults();
    }

    // The call's status, `sent` exchanges recorded, nothing written.
    template <int K> void expect_failed(const Failing<K>& c, std::size_t sent) {
        SCOPED_TRACE(c.what);
        Outs o;
        EXPECT_EQ(c.call(h, o), c.status);
        EXPECT_EQ(d->records().size(), sent) << "exchanges that reached the driver";
        EXPECT_EQ(o, Outs{}) << "wrote although the call failed";
    }

    template <class Cases> void check_all(const Cases& cases) {
        for (const auto& c : cases)
            check(c);
    }

    MFB_BoardHandle h = 0;
    std::shared_ptr<RecordingDriver> d;
};

// For request tables: little-endian bytes of a u32, bytes joined, n zeros.
inline Bytes le32(std::uint32_t v) {
    return {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)};
}
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
