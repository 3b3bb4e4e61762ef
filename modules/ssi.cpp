// SSI module: up to three absolute encoders on the Synchronous Serial Interface (channels 0 to 2),
// a byte of digital inputs and one digital output.
//
// The module is set up either for decoded values (position and turns, InitSSI) or for raw frames
// (InitSSIRawData); a value is read at once, or in two steps (start an acquisition, poll its
// status, fetch one channel). Every argument is checked here against fixed ranges; success means
// only that the exchange succeeded, the driver reports no status word. The library decodes
// nothing: value words, raw words and the input byte are copied as the driver answers them.
#include "board/status.h"
#include "mfb.h"

#include <cstddef>
#include <cstdint>

namespace mfb {
namespace {

namespace ssi = protocol::ssi;

// The all-channel raw answer has room for 16 words, from offset 4 to 67.
constexpr std::uint8_t kAllRawWords = 16;

// The SSI clock is divided from a clock of 30 or 33 MHz (the clock base) by a divider of at most
// 2^17, so the slowest clock is the base divided by 131,072, rounded up; the fastest the encoder
// interface takes is 5 MHz.
constexpr std::uint32_t kMaxSsiClock = 5'000'000;
constexpr std::uint32_t slowest_clock(std::uint32_t base_mhz) {
    return (base_mhz * 1'000'000 + 131'071) / 131'072;
}
static_assert(slowest_clock(30) == 229 && slowest_clock(33) == 252);

bool valid_clock_base(std::uint8_t base) {
    return base == 30 || base == 33;
}
// Judged only once the clock base has passed.
bool clock_outside(std::uint8_t base, std::uint32_t hz) {
    return hz < slowest_clock(base) || hz > kMaxSsiClock;
}

bool bad_channel(std::uint8_t channel) {
    return channel > 2;
}

// The single-channel value reads, immediate or after an acquisition: value 1 (the position) at
// offset 4, value 2 (the turns) at offset 8.
template <protocol::Request R>
std::int16_t read_value(std::uint32_t handle, std::uint8_t module, std::uint8_t channel,
                        std::uint32_t* value1, std::uint32_t* value2) {
    Buffer<R> f;
    f.template u8<0>(module).template u8<1>(channel);
    return Checked(handle)
        .check_module(module, -2)
        .check(bad_channel(channel), -3)
        .exchange(f, -4, [&] {
            *value1 = f.template get_u32<4>();
            *value2 = f.template get_u32<8>();
        });
}

// The single-channel raw reads: word 0 at offset 4; the caller's second word is always written,
// with the word at offset 8 when more than one word is asked for and with 0 otherwise.
template <protocol::Request R>
std::int16_t read_raw(std::uint32_t handle, std::uint8_t module, std::uint8_t channel,
                      std::uint32_t* words, std::uint8_t count) {
    Buffer<R> f;
    f.template u8<0>(module).template u8<1>(channel).template u8<12>(count);
    return Checked(handle)
        .check_module(module, -2)
        .check(bad_channel(channel), -3)
        .exchange(f, -4, [&] {
            words[0] = f.template get_u32<4>();
            words[1] = count > 1 ? f.template get_u32<8>() : 0;
        });
}

// The byte at offset 1 of the shared 2-byte answer (digital inputs, acquisition status).
template <protocol::Request R>
std::int16_t read_byte(std::uint32_t handle, std::uint8_t module, std::uint8_t& byte) {
    Buffer<R> f;
    f.template u8<0>(module);
    return Checked(handle).check_module(module, -2).exchange(f, -3, [&] {
        byte = f.template get_u8<1>();
    });
}

std::int16_t set_output(std::uint32_t handle, std::uint8_t module, std::uint8_t on) {
    Buffer<ssi::kSetDigitalOutput> f;
    f.u8<0>(module).u8<1>(on);
    return Checked(handle).check_module(module, -2).exchange(f, -3);
}

} // namespace
} // namespace mfb

using namespace mfb;

extern "C" {

int16_t MFB_CALL i_MFB_InitSSI(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                               uint8_t b_SSIProfile, uint8_t b_PositionTurnLength,
                               uint8_t b_TurnCptLength, uint8_t b_PCIInputClock,
                               uint32_t dw_SSIOutputClock, uint8_t b_SSICountingMode) {
    Buffer<ssi::kInit> f;
    f.u8<0>(b_ModulNbr)
        .u8<1>(b_SSIProfile)
        .u8<2>(b_PositionTurnLength)
        .u8<3>(b_TurnCptLength)
        .u8<4>(b_PCIInputClock)
        .u32<8>(dw_SSIOutputClock)
        .u8<12>(b_SSICountingMode);
    // Compared as int: the turn check runs only after the position bits lie within the frame.
    const int room_for_turns = int{b_SSIProfile} - int{b_PositionTurnLength};
    return Checked(dw_BoardHandle)
        .check_module(b_ModulNbr, -2)
        .check(b_SSIProfile < 2 || b_SSIProfile > 32, -3)
        .check(b_PositionTurnLength == 0 || b_PositionTurnLength > b_SSIProfile, -4)
        .check(int{b_TurnCptLength} > room_for_turns, -5)
        .check(!valid_clock_base(b_PCIInputClock), -6)
        .check(clock_outside(b_PCIInputClock, dw_SSIOutputClock), -7)
        .check(b_SSICountingMode > 1, -8)
        .exchange(f, -9);
}

int16_t MFB_CALL i_MFB_InitSSIRawData(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                      uint8_t b_SSIProfile, uint8_t b_PCIInputClock,
                                      uint32_t dw_SSIOutputClock) {
    Buffer<ssi::kInitRawData> f;
    f.u8<0>(b_ModulNbr).u8<1>(b_SSIProfile).u8<2>(b_PCIInputClock).u32<4>(dw_SSIOutputClock);
    // A failed exchange is -9 here too, the code of the value set-up.
    return Checked(dw_BoardHandle)
        .check_module(b_ModulNbr, -2)
        .check(b_SSIProfile < 2 || b_SSIProfile > 48, -3)
        .check(!valid_clock_base(b_PCIInputClock), -4)
        .check(clock_outside(b_PCIInputClock, dw_SSIOutputClock), -5)
        .exchange(f, -9);
}

int16_t MFB_CALL i_MFB_Read1SSIValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                     uint8_t b_SelectedSSI, uint32_t* pdw_Position,
                                     uint32_t* pdw_TurnCpt) {
    return read_value<ssi::kRead1Value>(dw_BoardHandle, b_ModulNbr, b_SelectedSSI, pdw_Position,
                                        pdw_TurnCpt);
}

int16_t MFB_CALL i_MFB_Read1SSIRawDataValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                            uint8_t b_SelectedSSI, uint32_t* pdw_RawData,
                                            uint8_t b_WordCount) {
    return read_raw<ssi::kRead1RawData>(dw_BoardHandle, b_ModulNbr, b_SelectedSSI, pdw_RawData,
                                        b_WordCount);
}

int16_t MFB_CALL i_MFB_ReadAllSSIValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                       uint32_t* pdw_PositionArray, uint32_t* pdw_TurnCptArray) {
    Buffer<ssi::kReadAllValues> f;
    f.u8<0>(b_ModulNbr);
    return Checked(dw_BoardHandle).check_module(b_ModulNbr, -2).exchange(f, -3, [&] {
        for (std::size_t i = 0; i < 3; ++i) {
            pdw_PositionArray[i] = f.word_at(4 + 4 * i);
            pdw_TurnCptArray[i] = f.word_at(16 + 4 * i);
        }
    });
}

int16_t MFB_CALL i_MFB_ReadAllSSIRawDataValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                              uint32_t* pdw_RawDataArray, uint8_t b_WordCount) {
    Buffer<ssi::kReadAllRawData> f;
    f.u8<0>(b_ModulNbr).u8<68>(b_WordCount);
    // The answer holds 16 words; a larger count would copy past it, so it is refused before
    // anything is sent.
    return Checked(dw_BoardHandle)
        .check_module(b_ModulNbr, -2)
        .check(b_WordCount > kAllRawWords, -4)
        .exchange(f, -3, [&] {
            for (std::size_t i = 0; i < b_WordCount; ++i)
                pdw_RawDataArray[i] = f.word_at(4 + 4 * i);
        });
}

int16_t MFB_CALL i_MFB_ReadSSI1DigitalInput(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                            uint8_t b_InputChannel, uint8_t* pb_ChannelStatus) {
    std::uint8_t inputs = 0;
    const std::int16_t status =
        read_byte<ssi::kReadDigitalInput>(dw_BoardHandle, b_ModulNbr, inputs);
    if (status != 0)
        return status;
    // The input byte has bits 0 to 7; any higher bit number reads 0, and is never a shift count.
    *pb_ChannelStatus =
        b_InputChannel < 8 ? static_cast<std::uint8_t>((inputs >> b_InputChannel) & 1u) : 0;
    return 0;
}

int16_t MFB_CALL i_MFB_ReadSSIAllDigitalInput(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                              uint8_t* pb_InputStatus) {
    return read_byte<ssi::kReadDigitalInput>(dw_BoardHandle, b_ModulNbr, *pb_InputStatus);
}

int16_t MFB_CALL i_MFB_SetSSIDigitalOutputOn(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr) {
    return set_output(dw_BoardHandle, b_ModulNbr, 1);
}

int16_t MFB_CALL i_MFB_SetSSIDigitalOutputOff(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr) {
    return set_output(dw_BoardHandle, b_ModulNbr, 0);
}

int16_t MFB_CALL i_MFB_StartSSIAcquisition(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr) {
    Buffer<ssi::kStartAcquisition> f;
    f.u8<0>(b_ModulNbr);
    return Checked(dw_BoardHandle).check_module(b_ModulNbr, -2).exchange(f, -3);
}

int16_t MFB_CALL i_MFB_GetSSIAcquisitionStatus(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                               uint8_t* pb_Status) {
    return read_byte<ssi::kAcquisitionStatus>(dw_BoardHandle, b_ModulNbr, *pb_Status);
}

int16_t MFB_CALL i_MFB_GetSSIValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                   uint8_t b_SelectedSSI, uint32_t* pdw_Position,
                                   uint32_t* pdw_TurnCpt) {
    return read_value<ssi::kGetValue>(dw_BoardHandle, b_ModulNbr, b_SelectedSSI, pdw_Position,
                                      pdw_TurnCpt);
}

int16_t MFB_CALL i_MFB_GetSSIRawDataValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                          uint8_t b_SelectedSSI, uint32_t* pdw_RawData,
                                          uint8_t b_WordCount) {
    return read_raw<ssi::kGetRawData>(dw_BoardHandle, b_ModulNbr, b_SelectedSSI, pdw_RawData,
                                      b_WordCount);
}

} // extern "C"
