// Pulse encoder module: set up, enable, disable, read the status, read and write the 32-bit value
// of one encoder of a module. No argument is checked against a range: module and encoder numbers,
// setting bytes and values are the driver's to refuse. Each function looks the handle up and
// makes one exchange; its status is the driver's 16-bit status negated (-1 unknown handle, -100
// failed exchange). The one check of the library's own: enabling with interrupts needs the
// board's interrupt routine installed, since the records would otherwise reach nobody.
#include "board/frame.h"
#include "board/status.h"
#include "mfb.h"

#include <cstdint>

namespace mfb {
namespace {

namespace encoder_code {
constexpr std::uint32_t kInit = 0x90005400;
constexpr std::uint32_t kEnable = 0x90005404;
constexpr std::uint32_t kDisable = 0x90005408;
constexpr std::uint32_t kReadStatus = 0x9000540C;
constexpr std::uint32_t kReadValue = 0x90005410;
constexpr std::uint32_t kWriteValue = 0x90005414;
} // namespace encoder_code

constexpr std::int16_t kNeedsInterruptRoutine = -7;

template <std::size_t N> Frame<N> encoder_frame(std::uint8_t module, std::uint8_t encoder) {
    Frame<N> f;
    f.template u8<0>(module).template u8<1>(encoder);
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
    Frame<12> f = encoder_frame<12>(b_ModulNbr, b_PulseEncoderNbr);
    f.u8<2>(b_Setting1).u8<3>(b_Setting2).u32<4>(dw_SettingValue);
    return negated_exchange<8>(dw_BoardHandle, encoder_code::kInit, f);
}

int16_t MFB_CALL i_MFB_EnablePulseEncoder(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                          uint8_t b_PulseEncoderNbr, uint8_t b_EnableSetting,
                                          uint8_t b_InterruptFlag) {
    const BoardSlot* slot = find_slot(dw_BoardHandle);
    if (!slot)
        return -1;
    if (b_InterruptFlag != 0 && !slot->routine_installed())
        return kNeedsInterruptRoutine;
    Frame<8> f = encoder_frame<8>(b_ModulNbr, b_PulseEncoderNbr);
    f.u8<2>(b_EnableSetting).u8<3>(b_InterruptFlag);
    return negated_exchange<4>(dw_BoardHandle, encoder_code::kEnable, f);
}

int16_t MFB_CALL i_MFB_DisablePulseEncoder(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                           uint8_t b_PulseEncoderNbr) {
    Frame<8> f = encoder_frame<8>(b_ModulNbr, b_PulseEncoderNbr);
    return negated_exchange<4>(dw_BoardHandle, encoder_code::kDisable, f);
}

// The reads write their value before the status is looked at.
int16_t MFB_CALL i_MFB_ReadPulseEncoderStatus(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                              uint8_t b_PulseEncoderNbr, uint8_t* pb_Status) {
    Frame<8> f = encoder_frame<8>(b_ModulNbr, b_PulseEncoderNbr);
    return negated_exchange<4>(dw_BoardHandle, encoder_code::kReadStatus, f,
                               [&] { *pb_Status = f.get_u8<2>(); });
}

int16_t MFB_CALL i_MFB_ReadPulseEncoderValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                             uint8_t b_PulseEncoderNbr, uint32_t* pdw_Value) {
    Frame<12> f = encoder_frame<12>(b_ModulNbr, b_PulseEncoderNbr);
    return negated_exchange<8>(dw_BoardHandle, encoder_code::kReadValue, f,
                               [&] { *pdw_Value = f.get_u32<4>(); });
}

int16_t MFB_CALL i_MFB_WritePulseEncoderValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                              uint8_t b_PulseEncoderNbr, uint32_t dw_Value) {
    Frame<12> f = encoder_frame<12>(b_ModulNbr, b_PulseEncoderNbr);
    f.u32<4>(dw_Value);
    return negated_exchange<8>(dw_BoardHandle, encoder_code::kWriteValue, f);
}

} // extern "C"
