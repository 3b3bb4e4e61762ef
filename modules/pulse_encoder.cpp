// Pulse encoder module: set up, enable, disable, read the status, read and write the 32-bit value
// of one encoder of a module. No argument is checked against a range: module and encoder numbers,
// setting bytes and values are the driver's to refuse. Each function looks the handle up and
// makes one exchange; its status is the driver's 16-bit status negated (-1 unknown handle, -100
// failed exchange). The one check of the library's own: enabling with interrupts needs the
// board's interrupt routine installed, since the records would otherwise reach nobody.
#include "board/status.h"
#include "mfb.h"

#include <cstdint>

namespace mfb {
namespace {

namespace encoder = protocol::pulse_encoder;

constexpr std::int16_t kNeedsInterruptRoutine = -7;

template <protocol::Request R> Buffer<R> encoder_buffer(std::uint8_t module, std::uint8_t number) {
    Buffer<R> f;
    f.template u8<0>(module).template u8<1>(number);
    return f;
}

} // namespace
} // namespace mfb

using namespace mfb;

extern "C" {

// The status field at 8 goes as 0, like every byte the request does not name.
int16_t MFB_CALL i_MFB_InitPulseEncoder(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                        uint8_t b_PulseEncoderNbr, uint8_t b_Setting1,
                                        uint8_t b_Setting2, uint32_t dw_SettingValue) {
    auto f = encoder_buffer<encoder::kInit>(b_ModulNbr, b_PulseEncoderNbr);
    f.u8<2>(b_Setting1).u8<3>(b_Setting2).u32<4>(dw_SettingValue);
    return negated_exchange(dw_BoardHandle, f);
}

int16_t MFB_CALL i_MFB_EnablePulseEncoder(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                          uint8_t b_PulseEncoderNbr, uint8_t b_EnableSetting,
                                          uint8_t b_InterruptFlag) {
    const BoardSlot* slot = find_slot(dw_BoardHandle);
    if (!slot)
        return -1;
    if (b_InterruptFlag != 0 && !slot->routine_installed())
        return kNeedsInterruptRoutine;
    auto f = encoder_buffer<encoder::kEnable>(b_ModulNbr, b_PulseEncoderNbr);
    f.u8<2>(b_EnableSetting).u8<3>(b_InterruptFlag);
    return negated_exchange(dw_BoardHandle, f);
}

int16_t MFB_CALL i_MFB_DisablePulseEncoder(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                           uint8_t b_PulseEncoderNbr) {
    auto f = encoder_buffer<encoder::kDisable>(b_ModulNbr, b_PulseEncoderNbr);
    return negated_exchange(dw_BoardHandle, f);
}

// The reads write their value before the status is looked at.
int16_t MFB_CALL i_MFB_ReadPulseEncoderStatus(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                              uint8_t b_PulseEncoderNbr, uint8_t* pb_Status) {
    auto f = encoder_buffer<encoder::kReadStatus>(b_ModulNbr, b_PulseEncoderNbr);
    return negated_exchange(dw_BoardHandle, f, [&] { *pb_Status = f.get_u8<2>(); });
}

int16_t MFB_CALL i_MFB_ReadPulseEncoderValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                             uint8_t b_PulseEncoderNbr, uint32_t* pdw_Value) {
    auto f = encoder_buffer<encoder::kReadValue>(b_ModulNbr, b_PulseEncoderNbr);
    return negated_exchange(dw_BoardHandle, f, [&] { *pdw_Value = f.get_u32<4>(); });
}

int16_t MFB_CALL i_MFB_WritePulseEncoderValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                              uint8_t b_PulseEncoderNbr, uint32_t dw_Value) {
    auto f = encoder_buffer<encoder::kWriteValue>(b_ModulNbr, b_PulseEncoderNbr);
    f.u32<4>(dw_Value);
    return negated_exchange(dw_BoardHandle, f);
}

} // extern "C"
