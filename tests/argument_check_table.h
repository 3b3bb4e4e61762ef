// Table-driven checks for the families that check their arguments before one exchange: what a
// call returned, what reached the recording driver (nothing, or the exact bytes with the right
// buffers) and which of the caller's variables it wrote.
#pragma once

#include "bus_fixture.h"

#include <cstdint>
#include <functional>
#include <ostream>

namespace mfbtest::argcheck {

// The caller's out variables, preset to a pattern that the answers below never carry, so that a
// test sees whether a call wrote them.
struct Outs {
    static constexpr std::uint32_t kU32 = 0xA5A5A5A5;
    static constexpr std::uint8_t kU8 = 0xA5;
    std::uint32_t u32 = kU32;
    std::uint32_t array[3] = {kU32, kU32, kU32};
    std::uint8_t u8 = kU8;
    bool operator==(const Outs&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const Outs& o) {
    return os << std::hex << "{u32 " << o.u32 << ", array " << o.array[0] << " " << o.array[1]
              << " " << o.array[2] << ", u8 " << unsigned(o.u8) << "}" << std::dec;
}

using Call = std::function<std::int16_t(MFB_BoardHandle, Outs&)>;

// A call that a check refuses: its status, nothing sent, nothing written.
struct Refused {
    const char* what;
    Call call;
    std::int16_t status;
    bool unopened = false; // call with a handle that no slot holds
};

// A call that passes its checks: the one request it sends and what it copies from the answer.
struct Sent {
    const char* what;
    Call call;
    std::uint32_t code;
    Bytes request;         // the bytes sent, in_size of them
    std::uint32_t out = 0; // the output buffer's size; 0 for no output buffer
    Bytes answer = {};     // what the driver writes over the buffer
    Outs outs = {};        // the caller's variables afterwards
};

// A call whose exchange fails: its status for that step, nothing written.
struct ExchangeFails {
    const char* what;
    Call call;
    std::int16_t status;
};

inline void expect_refused(MFB_BoardHandle h, RecordingDriver& d, const Refused& c) {
    SCOPED_TRACE(c.what);
    d.clear();
    Outs outs;
    EXPECT_EQ(c.call(c.unopened ? h + 4 : h, outs), c.status);
    EXPECT_TRUE(d.records().empty()) << "nothing may reach the driver";
    EXPECT_EQ(outs, Outs{});
}

inline void expect_sent(MFB_BoardHandle h, RecordingDriver& d, const Sent& c) {
    SCOPED_TRACE(c.what);
    d.clear();
    if (!c.answer.empty())
        d.script(answer(c.answer, c.out));
    Outs outs;
    EXPECT_EQ(c.call(h, outs), 0);
    auto records = d.records();
    ASSERT_EQ(records.size(), 1u);
    const auto& r = records[0];
    EXPECT_EQ(r.code, c.code);
    EXPECT_EQ(r.request, c.request);
    EXPECT_FALSE(r.in_null);
    EXPECT_EQ(r.in_size, c.request.size());
    EXPECT_EQ(r.out_null, c.out == 0);
    EXPECT_EQ(r.out_size, c.out);
    EXPECT_EQ(outs, c.outs);
}

// Both ways an exchange fails: the driver refuses it, or DeviceIoControl fails before the driver
// sees it.
inline void expect_exchange_fails(MFB_BoardHandle h, RecordingDriver& d, const ExchangeFails& c) {
    SCOPED_TRACE(c.what);
    d.clear();
    d.script(failure());
    Outs outs;
    EXPECT_EQ(c.call(h, outs), c.status);
    EXPECT_EQ(d.records().size(), 1u);
    EXPECT_EQ(outs, Outs{});

    d.clear();
    mfb::vbus::fail(mfb::vbus::Fn::DeviceIoControl);
    EXPECT_EQ(c.call(h, outs), c.status);
    EXPECT_TRUE(d.records().empty());
    EXPECT_EQ(outs, Outs{});
}

// A recording board, opened: the board of the table tests. check_all runs a table.
class OpenRecorderTest : public BusTest {
  protected:
    void SetUp() override {
        BusTest::SetUp();
        driver = open_recorder(handle);
    }

    void check(const Refused& c) { expect_refused(handle, *driver, c); }
    void check(const Sent& c) { expect_sent(handle, *driver, c); }
    void check(const ExchangeFails& c) { expect_exchange_fails(handle, *driver, c); }
    template <class Case, std::size_t N> void check_all(const Case (&cases)[N]) {
        for (const Case& c : cases)
            check(c);
    }

    MFB_BoardHandle handle = 0;
    std::shared_ptr<RecordingDriver> driver;
};

} // namespace mfbtest::argcheck
