// One request of each module family through the loaded DLL, checked byte for byte both ways: the
// requests as the board received them, and the statuses and values as the caller received them.
// The simulated boards carry, at positions 0 to 3, board 0: counter, timer, TTL I/O, SSI; board 1:
// PWM, counter, timer, TTL I/O.
#include "scenarios.h"

#include "sim/ssi_module.h"
#include "sim/ttl_module.h"

namespace wintest {
namespace {

using Values = std::vector<std::uint32_t>;

struct Sent {
    std::uint32_t code;
    Bytes request;         // none: no input buffer
    std::uint32_t out = 0; // the output buffer's size; 0 for none
};

struct FamilyRequest {
    struct {
        const char* family;
        std::uint8_t board;
        // Sets the inputs the answers show, calls the exports; gives the statuses, then the values.
        Values (*calls)(MFB_BoardHandle, mfb::sim::SimBoard&);
    } run;
    std::vector<Sent> sent;
    Values received;
};

Values counter(MFB_BoardHandle h, mfb::sim::SimBoard&) {
    std::uint32_t value = 0;
    const std::uint32_t write = MFB(i_MFB_Write32BitCounterValue)(h, 0, 0x89ABCDEF);
    return {write, std::uint32_t(MFB(i_MFB_Read32BitCounterValue)(h, 0, &value)), value};
}

// Module 1, timer 2: single count from 0x00C0FFEE on the 1 MHz clock, not yet enabled.
Values timer(MFB_BoardHandle h, mfb::sim::SimBoard&) {
    std::uint32_t value = 0;
    const std::uint32_t init = MFB(i_MFB_InitTimer)(h, 1, 2, 0, 0x00C0FFEE, 0, 0, 0, 0);
    return {init, std::uint32_t(MFB(i_MFB_ReadTimerValue)(h, 1, 2, &value)), value};
}

// Every line an input at power on: the lines read what the bench drives.
Values ttl(MFB_BoardHandle h, mfb::sim::SimBoard& b) {
    b.with_module<mfb::sim::TtlModule>(2, [](auto& m) { m.set_inputs(0xA5C30F01); });
    std::uint32_t value = 0;
    return {std::uint32_t(MFB(i_MFB_ReadTTLIOAllPortValue)(h, 2, &value)), value};
}

// Module 3: 25-bit frames, 13 position bits and 12 turn bits, binary, 500 kHz from 33 MHz; the
// encoder stands still at 0xABCDEF: position 0x0DEF, turns 0x55E.
Values ssi(MFB_BoardHandle h, mfb::sim::SimBoard& b) {
    b.with_module<mfb::sim::SsiModule>(3,
                                       [](auto& m) { m.set_rate(0, 0), m.set_count(0, 0xABCDEF); });
    std::uint32_t position = 0, turns = 0;
    const std::uint32_t init = MFB(i_MFB_InitSSI)(h, 3, 25, 13, 12, 33, 500'000, 0);
    const std::uint32_t read = MFB(i_MFB_Read1SSIValue)(h, 3, 0, &position, &turns);
    return {init, read, position, turns};
}

// Module 0, PWM 1: 250 us low, 750 us high.
Values pwm(MFB_BoardHandle h, mfb::sim::SimBoard&) {
    std::uint32_t low = 0, high = 0;
    return {std::uint32_t(MFB(i_MFB_InitPWM)(h, 0, 1, 1, 250, 750, &low, &high)), low, high};
}

const FamilyRequest kFamilies[] = {
    {{"counter", 0, counter},
     {{0x90002034, {0, 0, 0, 0, 0xEF, 0xCD, 0xAB, 0x89, 0, 0, 0, 0}, 12},
      {0x90002030, Bytes(12, 0), 12}},
     {0, 0, 0x89ABCDEF}},
    {{"timer", 0, timer},
     {{0x900020B0, {1, 2, 0, 0, 0, 0, 0, 0, 0xEE, 0xFF, 0xC0, 0x00}},
      {0x900020BC, {1, 2, 0, 0, 0, 0, 0, 0}, 8}},
     {0, 0, 0x00C0FFEE}},
    {{"ttl", 0, ttl}, {{0x900020A8, {2, 0, 0, 0, 0, 0, 0, 0}, 8}}, {0, 0xA5C30F01}},
    {{"ssi", 0, ssi},
     {{0x900020EC, {3, 25, 13, 12, 33, 0, 0, 0, 0x20, 0xA1, 0x07, 0x00, 0, 0, 0, 0}},
      {0x900020F4, {3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 12}},
     {0, 0, 0x0DEF, 0x55E}},
    {{"pwm", 1, pwm},
     {{0x90002158,
       {0, 1, 1, 0, 0xFA, 0, 0, 0, 0xEE, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
       24}},
     {0, 250, 750}},
};

} // namespace

void family_requests(Scenario& s) {
    for (const FamilyRequest& f : kFamilies) {
        s.context = f.run.family;
        OpenBoard b(s, f.run.board);
        CHECK_EQ(s, f.run.calls(b.handle(), b.sim()), f.received);
        const auto x = b.exchanges();
        if (CHECK_EQ(s, x.size(), f.sent.size()))
            for (std::size_t i = 0; i < x.size(); ++i)
                CHECK_REQUEST(s, x[i], f.sent[i].code, f.sent[i].request, f.sent[i].out);
    }
    s.context.clear();
}

} // namespace wintest
