// Timer module: three timers (0 to 2) per module position. Every function checks its arguments
// against fixed ranges, in the order of its parameters, before anything reaches the driver, and
// then makes exactly one exchange. The codes of a failed exchange differ from function to
// function (-9, -5, -4 or -3); callers tell them apart by function, not by value.
#include "board/status.h"
#include "mfb.h"

namespace mfb {
namespace {

namespace timer = protocol::timer;

constexpr std::uint8_t kLastTimer = 2;
constexpr std::uint8_t kLastMode = 5;
constexpr std::uint8_t kLastSelector = 2;
constexpr std::uint8_t kCascadeSelector = 1; // the timer below as clock: timer 0 has none

// The checks that open almost every timer function: handle (-1), module (-2), timer (-3).
Checked timer_checked(std::uint32_t handle, std::uint8_t module, std::uint8_t timer) {
    Checked c(handle);
    c.check_module(module, -2).check(timer > kLastTimer, -3);
    return c;
}

// A 3-byte read of one byte about a timer: module and timer in, the answer at offset 2.
template <protocol::Request R>
std::int16_t read_timer_byte(std::uint32_t handle, std::uint8_t module, std::uint8_t timer,
                             std::uint8_t* out) {
    Buffer<R> f;
    f.template u8<0>(module).template u8<1>(timer);
    return timer_checked(handle, module, timer).exchange(f, -4, [&] {
        *out = f.template get_u8<2>();
    });
}

} // namespace
} // namespace mfb

using namespace mfb;

extern "C" {

int16_t MFB_CALL i_MFB_InitTimer(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                 uint8_t b_TimerNbr, uint8_t b_TimerMode, uint32_t dw_ReloadValue,
                                 uint8_t b_InputClockSelection, uint8_t b_InputClockLevel,
                                 uint8_t b_OutputLevel, uint8_t b_HardwareGateLevel) {
    Buffer<timer::kInit> f;
    f.u8<0>(b_ModulNbr)
        .u8<1>(b_TimerNbr)
        .u8<2>(b_TimerMode)
        .u8<3>(b_InputClockSelection)
        .u8<4>(b_InputClockLevel)
        .u8<5>(b_OutputLevel)
        .u8<6>(b_HardwareGateLevel)
        .u32<8>(dw_ReloadValue);
    return timer_checked(dw_BoardHandle, b_ModulNbr, b_TimerNbr)
        .check(b_TimerMode > kLastMode, -4)
        .check(b_InputClockSelection > kLastSelector ||
                   (b_InputClockSelection == kCascadeSelector && b_TimerNbr == 0),
               -5)
        .check(b_InputClockLevel > 1, -6)
        .check(b_OutputLevel > 1, -7)
        .check(b_HardwareGateLevel > 1, -8)
        .exchange(f, -9);
}

int16_t MFB_CALL i_MFB_EnableTimer(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                   uint8_t b_TimerNbr, uint8_t b_InterruptFlag) {
    Buffer<timer::kEnable> f;
    f.u8<0>(b_ModulNbr).u8<1>(b_TimerNbr).u8<2>(b_InterruptFlag);
    return timer_checked(dw_BoardHandle, b_ModulNbr, b_TimerNbr)
        .check(b_InterruptFlag > 1, -4)
        .exchange(f, -5);
}

int16_t MFB_CALL i_MFB_DisableTimer(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                    uint8_t b_TimerNbr) {
    Buffer<timer::kDisable> f;
    f.u8<0>(b_ModulNbr).u8<1>(b_TimerNbr);
    return timer_checked(dw_BoardHandle, b_ModulNbr, b_TimerNbr)
        .exchange(f, -5); // -5 though -4 is free
}

int16_t MFB_CALL i_MFB_ReadTimerValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                      uint8_t b_TimerNbr, uint32_t* pdw_TimerValue) {
    Buffer<timer::kReadValue> f;
    f.u8<0>(b_ModulNbr).u8<1>(b_TimerNbr);
    return timer_checked(dw_BoardHandle, b_ModulNbr, b_TimerNbr)
        .exchange(f, -5, // -5 though -4 is free
                  [&] { *pdw_TimerValue = f.get_u32<4>(); });
}

int16_t MFB_CALL i_MFB_ReadAllTimerValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                         uint32_t* pdw_TimerValueArray) {
    Buffer<timer::kReadAll> f;
    f.u8<0>(b_ModulNbr);
    return Checked(dw_BoardHandle).check_module(b_ModulNbr, -2).exchange(f, -3, [&] {
        pdw_TimerValueArray[0] = f.get_u32<4>();
        pdw_TimerValueArray[1] = f.get_u32<8>();
        pdw_TimerValueArray[2] = f.get_u32<12>();
    });
}

int16_t MFB_CALL i_MFB_GetTimerOutputLevel(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                           uint8_t b_TimerNbr, uint8_t* pb_OutputLevel) {
    return read_timer_byte<timer::kOutputLevel>(dw_BoardHandle, b_ModulNbr, b_TimerNbr,
                                                pb_OutputLevel);
}

int16_t MFB_CALL i_MFB_GetTimerProgressStatus(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                              uint8_t b_TimerNbr, uint8_t* pb_TimerStatus) {
    return read_timer_byte<timer::kProgressStatus>(dw_BoardHandle, b_ModulNbr, b_TimerNbr,
                                                   pb_TimerStatus);
}

int16_t MFB_CALL i_MFB_GetTimerProgressStatusEx(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                                uint8_t b_TimerNbr, uint8_t* pb_TimerStatus) {
    return read_timer_byte<timer::kProgressStatusEx>(dw_BoardHandle, b_ModulNbr, b_TimerNbr,
                                                     pb_TimerStatus);
}

int16_t MFB_CALL i_MFB_WriteTimerValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                       uint8_t b_TimerNbr, uint32_t dw_WriteValue) {
    Buffer<timer::kWriteValue> f;
    f.u8<0>(b_ModulNbr).u8<1>(b_TimerNbr).u32<4>(dw_WriteValue);
    return timer_checked(dw_BoardHandle, b_ModulNbr, b_TimerNbr).exchange(f, -4);
}

} // extern "C"
