// Table-driven checks of a family's exports against the RecordingDriver: what a call returns, what
// it sent (nothing, or the exact bytes with their sizes) and what it wrote into the caller's
// variables.
#pragma once

#include "bus_fixture.h"

#include <array>
#include <cstring>
#include <functional>

namespace mfbtest::cases {

// The caller's variables of one call, filled with a pattern no answer uses, so that any write
// shows.
struct Outs {
    std::array<std::uint32_t, 17> words; // an array of u32 (one more than any call may fill)
    std::array<std::uint32_t, 3> words2; // a second array of u32
    std::array<std::uint8_t, 8> bytes;   // single bytes
    Outs() {
        words.fill(0xA5A5A5A5);
        words2.fill(0xA5A5A5A5);
        bytes.fill(0xA5);
    }
    bool operator==(const Outs&) const = default;
};
inline constexpr std::uint32_t kUntouchedWord = 0xA5A5A5A5;
inline constexpr std::uint8_t kUntouchedByte = 0xA5;

using Call = std::function<std::int16_t(MFB_BoardHandle, Outs&)>;

// The call with a handle that no slot holds.
inline Call stranger(Call c) {
    return [c](MFB_BoardHandle h, Outs& o) { return c(h + 1, o); };
}

// A recording board, open as h.
class OpenRecorderTest : public BusTest {
  protected:
    void SetUp() override {
        BusTest::SetUp();
        d = open_recorder(h);
    }
    MFB_BoardHandle h = 0;
    std::shared_ptr<RecordingDriver> d;
};

// A call that must fail before anything reaches the driver.
struct Refusal {
    const char* what;
    Call call;
    std::int16_t status;
};

// A call that must succeed and send exactly this request. An out size of 0 means no output
// buffer at all.
struct Sent {
    const char* what;
    Call call;
    std::uint32_t code;
    Bytes request;
    std::uint32_t out_size;
};

// A call whose exchange fails, with the status it must give.
struct IoFailure {
    const char* what;
    Call call;
    std::int16_t status;
};

inline void expect_refusals(RecordingDriver& d, MFB_BoardHandle h,
                            const std::vector<Refusal>& cases) {
    for (const Refusal& c : cases) {
        SCOPED_TRACE(c.what);
        d.clear();
        Outs o;
        EXPECT_EQ(c.call(h, o), c.status);
        EXPECT_TRUE(d.records().empty()) << "sent although refused";
        EXPECT_TRUE(o == Outs{}) << "wrote although refused";
    }
}

inline void expect_sent(RecordingDriver& d, MFB_BoardHandle h, const std::vector<Sent>& cases) {
    for (const Sent& c : cases) {
        SCOPED_TRACE(c.what);
        d.clear();
        Outs o;
        EXPECT_EQ(c.call(h, o), 0);
        const auto records = d.records();
        ASSERT_EQ(records.size(), 1u);
        const auto& r = records[0];
        EXPECT_EQ(r.code, c.code);
        EXPECT_EQ(r.request, c.request);
        EXPECT_EQ(r.in_size, c.request.size());
        EXPECT_FALSE(r.in_null);
        EXPECT_EQ(r.out_size, c.out_size);
        EXPECT_EQ(r.out_null, c.out_size == 0);
    }
}

// Each call meets the given failed exchange (a scripted answer, or an injected failure of
// DeviceIoControl when `answer` is empty) and must leave the caller's variables alone.
inline void expect_io_failures(RecordingDriver& d, MFB_BoardHandle h,
                               const std::vector<IoFailure>& cases,
                               std::optional<RecordingDriver::Answer> answer) {
    for (const IoFailure& c : cases) {
        SCOPED_TRACE(c.what);
        d.clear();
        if (answer)
            d.script(*answer);
        else
            mfb::vbus::fail(mfb::vbus::Fn::DeviceIoControl);
        Outs o;
        EXPECT_EQ(c.call(h, o), c.status);
        EXPECT_TRUE(o == Outs{}) << "wrote after a failed exchange";
        EXPECT_EQ(d.records().size(), answer ? 1u : 0u);
        mfb::vbus::clear_faults();
    }
}

// Little-endian bytes of a u32, for request tables.
inline Bytes le32(std::uint32_t v) {
    return {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)};
}

// Bytes joined, for request tables: cat({1, 2}, le32(x), zeros(4)).
inline Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}
inline Bytes zeros(std::size_t n) {
    return Bytes(n, 0);
}

} // namespace mfbtest::cases
