// Frequency measurement module: measures over a gate time that the module counts in ticks of its
// clock (30, 33 or 40 MHz; one tick lasts 4 / clock microseconds).
//
// The set-up converts the caller's gate time (ns, us or ms) into a whole number of ticks, tells
// the caller which gate time that really gives, and sends the tick count less 2. The bounds of
// the gate time keep the tick count between 2 and 65,536, so the value sent fits 16 bits. The
// arithmetic is binary64 with every step rounded, as written; 32-bit x86 builds compute it with
// SSE2, so the x87's wider intermediates cannot move a tick at a rounding boundary.
//
// Enable, read and disable pass their arguments to the driver. Every function has the counter
// family's status: -1 for an unknown handle or a failed exchange, else the driver status word in
// the last four bytes mapped as counter_status does. The read's values are written as soon as the
// exchange succeeded, whatever the status.
#include "board/status.h"
#include "mfb.h"

#include <cstdint>

namespace mfb {
namespace {

namespace frequency = protocol::frequency;

constexpr std::uint8_t kLastUnit = 2;

// Ticks per unit of gate time per MHz of clock, by time unit (ns, us, ms).
constexpr double kUnitFactor[] = {0.00025, 0.25, 250.0};

// The gate times each clock and unit accept, bounds included: from 2 ticks (but at least one
// unit) up to 65,536 ticks.
struct GateBounds {
    std::uint8_t clock_mhz;
    std::uint32_t shortest[3], longest[3];
};
constexpr GateBounds kClocks[] = {
    {30, {266, 1, 1}, {8'738'133, 8'738, 8}},
    {33, {242, 1, 1}, {7'943'757, 7'943, 7}},
    {40, {200, 1, 1}, {6'553'500, 6'553, 6}},
};

const GateBounds* clock_bounds(std::uint8_t clock_mhz) {
    for (const GateBounds& b : kClocks)
        if (b.clock_mhz == clock_mhz)
            return &b;
    return nullptr;
}

// Judged only once unit and clock have passed.
bool gate_outside(const GateBounds* b, std::uint8_t unit, std::uint32_t gate) {
    return b && unit <= kLastUnit && (gate < b->shortest[unit] || gate > b->longest[unit]);
}

// x rounded to the nearest whole number, a half going up: truncate, then add 1 where the
// fraction is at least one half.
std::uint32_t nearest(double x) {
    auto n = static_cast<std::uint32_t>(x);
    if (static_cast<double>(n) + 0.5 <= x)
        ++n;
    return n;
}

// One exchange, the frame as request and answer, with the counter family's status.
template <protocol::Request R, class Copy = NoCopy>
std::int16_t frequency_exchange(std::uint32_t handle, Buffer<R>& f, Copy copy = {}) {
    return counter_exchange(handle, Needs::Nothing, f, copy);
}

} // namespace
} // namespace mfb

using namespace mfb;

extern "C" {

int16_t MFB_CALL i_MFB_InitFrequencyMeasurement(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                                uint8_t b_ClockFrequency, uint8_t b_TimeUnit,
                                                uint32_t dw_GateTime, uint32_t* pdw_RealGateTime) {
    const GateBounds* bounds = clock_bounds(b_ClockFrequency);
    Checked c(dw_BoardHandle);
    c.check(b_TimeUnit > kLastUnit, -5) // before the clock, though it comes after it
        .check(!bounds, -6)
        .check(gate_outside(bounds, b_TimeUnit, dw_GateTime), -7);
    if (!c.ok())
        return c.status();

    const double k = static_cast<double>(b_ClockFrequency) * kUnitFactor[b_TimeUnit];
    const double v = static_cast<double>(dw_GateTime) * k;
    const std::uint32_t ticks = nearest(v);
    const double q = static_cast<double>(ticks) / k;
    *pdw_RealGateTime = nearest(q); // handed over before anything is sent

    // Bytes 1 to 3 and 9 to 15 carry nothing and go as 0.
    Buffer<frequency::kInit> f;
    f.u8<0>(b_ModulNbr).u32<4>(ticks - 2).u8<8>(b_ClockFrequency);
    return frequency_exchange(dw_BoardHandle, f);
}

int16_t MFB_CALL i_MFB_EnableFrequencyMeasurement(MFB_BoardHandle dw_BoardHandle,
                                                  uint8_t b_ModulNbr, uint8_t b_EnableSetting) {
    Buffer<frequency::kEnable> f;
    f.u8<0>(b_ModulNbr).u8<1>(b_EnableSetting);
    return frequency_exchange(dw_BoardHandle, f);
}

int16_t MFB_CALL i_MFB_ReadFrequencyMeasurement(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                                uint8_t* pb_Result1, uint8_t* pb_Result2,
                                                uint32_t* pdw_MeasuredValue) {
    Buffer<frequency::kRead> f;
    f.u8<0>(b_ModulNbr);
    return frequency_exchange(dw_BoardHandle, f, [&] {
        *pb_Result1 = f.get_u8<1>();
        *pb_Result2 = f.get_u8<2>();
        *pdw_MeasuredValue = f.get_u32<4>();
    });
}

int16_t MFB_CALL i_MFB_DisableFrequencyMeasurement(MFB_BoardHandle dw_BoardHandle,
                                                   uint8_t b_ModulNbr) {
    Buffer<frequency::kDisable> f;
    f.u8<0>(b_ModulNbr);
    return frequency_exchange(dw_BoardHandle, f);
}

} // extern "C"
