// PWM module: two PWM outputs (0 and 1), each set up with a timing unit and two durations, three
// digital inputs and one digital output that can be switched by hand.
//
// Every argument is checked here against fixed ranges; a request that passes goes to the driver
// in one buffer that is both request and answer, whose last four bytes carry the driver's status
// word back. Only the BOOL value 1 counts as a successful exchange, and a status word s other than
// 0 becomes -(s + 100). Durations go to the driver as given, in the caller's timing unit: the
// library converts nothing, and passes set-up results, setting bytes and states on unchanged.
#include "board/status.h"
#include "mfb.h"

#include <cstdint>

namespace mfb {
namespace {

namespace pwm = protocol::pwm;

// The durations each timing unit accepts, bounds included. The PWM counts its phases in steps of
// 100 ns in 32 bits, so the longest duration of units 1 to 4 is the largest whole number of units
// whose length in such steps still fits; nanoseconds go down to 150.
struct Limits {
    std::uint32_t shortest, longest;
};
constexpr std::uint32_t kSteps = 0xFFFFFFFF; // 32-bit count of 100-ns steps
constexpr Limits kUnitLimits[] = {
    {150, 0xFFFFFFFF},         // 0: nanoseconds
    {1, kSteps / 10},          // 1: microseconds
    {1, kSteps / 10'000},      // 2: milliseconds
    {1, kSteps / 10'000'000},  // 3: seconds
    {1, kSteps / 600'000'000}, // 4: minutes
};
static_assert(kUnitLimits[1].longest == 429'496'729 && kUnitLimits[2].longest == 429'496 &&
              kUnitLimits[3].longest == 429 && kUnitLimits[4].longest == 7);
constexpr std::uint8_t kLastUnit = 4;

bool bad_unit(std::uint8_t unit) {
    return unit > kLastUnit;
}
// Judged only once the timing unit has passed.
bool duration_outside(std::uint8_t unit, std::uint32_t duration) {
    if (bad_unit(unit))
        return true;
    const Limits& l = kUnitLimits[unit];
    return duration < l.shortest || duration > l.longest;
}

bool bad_pwm(std::uint8_t pwm) {
    return pwm > 1;
}

// The checks of the two timing functions, in their order: -2 module, -3 PWM, -4 timing unit,
// -5 first duration, -6 second duration.
Checked timing_checks(std::uint32_t handle, std::uint8_t module, std::uint8_t pwm,
                      std::uint8_t unit, std::uint32_t first, std::uint32_t second) {
    Checked c(handle);
    c.check_module(module, -2)
        .check(bad_pwm(pwm), -3)
        .check(bad_unit(unit), -4)
        .check(duration_outside(unit, first), -5)
        .check(duration_outside(unit, second), -6);
    return c;
}

// The 8-byte requests that carry only the module number.
template <protocol::Request R>
std::int16_t module_request(std::uint32_t handle, std::uint8_t module, std::int16_t io_failed) {
    Buffer<R> f;
    f.template u8<0>(module);
    return Checked(handle).check_module(module, -2).pwm_exchange(f, io_failed);
}

} // namespace
} // namespace mfb

using namespace mfb;

extern "C" {

int16_t MFB_CALL i_MFB_InitPWM(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr, uint8_t b_PWM,
                               uint8_t b_TimingUnit, uint32_t dw_LowTiming, uint32_t dw_HighTiming,
                               uint32_t* pdw_RealLowTiming, uint32_t* pdw_RealHighTiming) {
    Buffer<pwm::kInit> f;
    f.u8<0>(b_ModulNbr).u8<1>(b_PWM).u8<2>(b_TimingUnit).u32<4>(dw_LowTiming).u32<8>(dw_HighTiming);
    return timing_checks(dw_BoardHandle, b_ModulNbr, b_PWM, b_TimingUnit, dw_LowTiming,
                         dw_HighTiming)
        .pwm_exchange(f, -7, [&] {
            *pdw_RealLowTiming = f.get_u32<12>();
            *pdw_RealHighTiming = f.get_u32<16>();
        });
}

int16_t MFB_CALL i_MFB_SetNewPWMTiming(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                       uint8_t b_PWM, uint8_t b_TimingUnit, uint32_t dw_LowTiming,
                                       uint32_t dw_HighTiming) {
    Buffer<pwm::kNewTiming> f; // the first twelve bytes as in the set-up
    f.u8<0>(b_ModulNbr).u8<1>(b_PWM).u8<2>(b_TimingUnit).u32<4>(dw_LowTiming).u32<8>(dw_HighTiming);
    return timing_checks(dw_BoardHandle, b_ModulNbr, b_PWM, b_TimingUnit, dw_LowTiming,
                         dw_HighTiming)
        .pwm_exchange(f, -7);
}

int16_t MFB_CALL i_MFB_EnablePWM(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr, uint8_t b_PWM,
                                 uint8_t b_StartLevel, uint8_t b_StopMode, uint8_t b_StopLevel,
                                 uint8_t b_ExternGate, uint8_t b_InterruptEnable) {
    Buffer<pwm::kEnable> f;
    f.u8<0>(b_ModulNbr)
        .u8<1>(b_PWM)
        .u8<2>(b_StartLevel)
        .u8<3>(b_StopMode)
        .u8<4>(b_StopLevel)
        .u8<5>(b_ExternGate)
        .u8<6>(b_InterruptEnable);
    return Checked(dw_BoardHandle)
        .check_module(b_ModulNbr, -2)
        .check(bad_pwm(b_PWM), -3)
        .check(b_StartLevel > 1, -4)
        .check(b_StopMode > 1, -5)
        .check(b_StopLevel > 2, -6)
        .check(b_ExternGate > 1, -7)
        .check(b_InterruptEnable > 1, -8)
        .pwm_exchange(f, -9);
}

int16_t MFB_CALL i_MFB_DisablePWM(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                  uint8_t b_PWM) {
    Buffer<pwm::kDisable> f;
    f.u8<0>(b_ModulNbr).u8<1>(b_PWM);
    return Checked(dw_BoardHandle)
        .check_module(b_ModulNbr, -2)
        .check(bad_pwm(b_PWM), -3)
        .pwm_exchange(f, -4);
}

int16_t MFB_CALL i_MFB_GetPWMInitialisation(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                            uint8_t b_PWM, uint8_t* pb_TimingUnit,
                                            uint32_t* pdw_LowTiming, uint32_t* pdw_HighTiming,
                                            uint8_t* pb_StartLevel, uint8_t* pb_StopMode,
                                            uint8_t* pb_StopLevel, uint8_t* pb_ExternGate,
                                            uint8_t* pb_InterruptEnable, uint8_t* pb_Enable) {
    Buffer<pwm::kGetInitialisation> f;
    f.u8<0>(b_ModulNbr).u8<1>(b_PWM);
    return Checked(dw_BoardHandle)
        .check_module(b_ModulNbr, -2)
        .check(bad_pwm(b_PWM), -3)
        .pwm_exchange(f, -4, [&] {
            *pb_TimingUnit = f.get_u8<2>();
            *pdw_LowTiming = f.get_u32<4>();
            *pdw_HighTiming = f.get_u32<8>();
            *pb_StartLevel = f.get_u8<12>();
            *pb_StopMode = f.get_u8<13>();
            *pb_StopLevel = f.get_u8<14>();
            *pb_ExternGate = f.get_u8<15>();
            *pb_InterruptEnable = f.get_u8<16>();
            *pb_Enable = f.get_u8<17>();
        });
}

int16_t MFB_CALL i_MFB_GetPWMStatus(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                    uint8_t b_PWM, uint8_t* pb_PWMOutputStatus,
                                    uint8_t* pb_ExternGateStatus) {
    Buffer<pwm::kStatus> f;
    f.u8<0>(b_ModulNbr).u8<1>(b_PWM);
    return Checked(dw_BoardHandle)
        .check_module(b_ModulNbr, -2)
        .check(bad_pwm(b_PWM), -3)
        .pwm_exchange(f, -4, [&] {
            *pb_PWMOutputStatus = f.get_u8<2>();
            *pb_ExternGateStatus = f.get_u8<3>();
        });
}

int16_t MFB_CALL i_MFB_ReadPWM1DigitalInput(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                            uint8_t b_InputChannel, uint8_t* pb_ChannelStatus) {
    Buffer<pwm::kReadInput> f;
    f.u8<0>(b_ModulNbr).u8<1>(b_InputChannel);
    return Checked(dw_BoardHandle)
        .check_module(b_ModulNbr, -2)
        .check(b_InputChannel > 2, -3)
        .pwm_exchange(f, -4, [&] { *pb_ChannelStatus = f.get_u8<2>(); });
}

int16_t MFB_CALL i_MFB_ReadPWMAllDigitalInputs(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                               uint8_t* pb_InputStatus) {
    Buffer<pwm::kReadAllInputs> f;
    f.u8<0>(b_ModulNbr);
    return Checked(dw_BoardHandle).check_module(b_ModulNbr, -2).pwm_exchange(f, -3, [&] {
        *pb_InputStatus = f.get_u8<1>();
    });
}

int16_t MFB_CALL i_MFB_EnableDisablePWMDigitalOutputManualSetting(MFB_BoardHandle dw_BoardHandle,
                                                                  uint8_t b_ModulNbr,
                                                                  uint8_t b_ManualSetting) {
    Buffer<pwm::kManualSetting> f;
    f.u8<0>(b_ModulNbr).u8<1>(b_ManualSetting);
    return Checked(dw_BoardHandle)
        .check_module(b_ModulNbr, -2)
        .check(b_ManualSetting > 1, -3)
        .pwm_exchange(f, -4);
}

// On and off send the same request; the ControlCode alone tells them apart.
int16_t MFB_CALL i_MFB_SetPWMDigitalOutputOn(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr) {
    return module_request<pwm::kOutputOn>(dw_BoardHandle, b_ModulNbr, -3);
}

int16_t MFB_CALL i_MFB_SetPWMDigitalOutputOff(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr) {
    return module_request<pwm::kOutputOff>(dw_BoardHandle, b_ModulNbr, -3);
}

} // extern "C"
