// The incremental counter module: set-up, self-test and clearing, input filters, counter values,
// latch registers, index and reference, status bytes, compare logic, external strobe and the
// digital channel.
//
// Every function is one counter exchange: find the board, (for the functions that only make sense
// with board interrupts) require the installed interrupt routine, fill the request, one exchange
// with the same buffer as request and answer, copy the answer fields, map the driver status word
// in the last four bytes. The set-up bytes, filter bytes, latch register numbers and status bytes
// go through unchanged; what they mean is the module firmware's.
//
// Buffers: byte 0 is the module number; bytes 4 to 7 of a 12- or 16-byte buffer are the 32-bit
// value field; the driver status word is always the last four bytes.
#include "board/status.h"
#include "mfb.h"

#include <cstdint>

namespace mfb {
namespace {

namespace counter = protocol::counter;

// 16-bit counters: the 32-bit counter word holds counter 0 in bits 0 to 15 and counter 1 in bits
// 16 to 31. Only bit 0 of the counter number selects, so even numbers mean 0 and odd ones 1.
unsigned half_shift(std::uint8_t counter) {
    return 16u * (counter & 1u);
}

// A request with the module number in byte 0 and nothing else.
template <protocol::Request R> Buffer<R> module_buffer(std::uint8_t module) {
    Buffer<R> f;
    f.template u8<0>(module);
    return f;
}

// A 12-byte request with the module number and the 32-bit value field; the answer is only the
// status (switches, set-ups and writes).
template <protocol::Request R>
std::int16_t send_value(std::uint32_t handle, Needs needs, std::uint8_t module,
                        std::uint32_t value) {
    Buffer<R> f = module_buffer<R>(module);
    f.template u32<4>(value);
    return counter_exchange(handle, needs, f);
}

// A 12-byte status read: the module number out, the low byte of the value field back.
template <protocol::Request R>
std::int16_t read_status_byte(std::uint32_t handle, Needs needs, std::uint8_t module,
                              std::uint8_t* status) {
    Buffer<R> f = module_buffer<R>(module);
    return counter_exchange(handle, needs, f, [&] { *status = f.template get_u8<4>(); });
}

// A 12-byte read of the whole value field.
template <protocol::Request R>
std::int16_t read_value(std::uint32_t handle, Buffer<R>& f, std::uint32_t* value) {
    return counter_exchange(handle, Needs::Nothing, f, [&] { *value = f.template get_u32<4>(); });
}

} // namespace
} // namespace mfb

using namespace mfb;

extern "C" {

// ---- set-up, self-test, clearing and filters ----------------------------------------------------

int16_t MFB_CALL i_MFB_InitCounter(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                   uint8_t b_Setting1, uint8_t b_Setting2, uint8_t b_Setting3,
                                   uint8_t b_Setting4, uint8_t b_Setting5) {
    auto f = module_buffer<counter::kInit>(b_ModulNbr);
    f.u8<1>(b_Setting1).u8<2>(b_Setting2).u8<3>(b_Setting3).u8<4>(b_Setting4).u8<5>(b_Setting5);
    return counter_exchange(dw_BoardHandle, Needs::Nothing, f);
}

// Board-wide: no request at all, an 8-byte answer with the result in byte 0.
int16_t MFB_CALL i_MFB_CounterAutoTest(MFB_BoardHandle dw_BoardHandle, uint8_t* pb_TestResult) {
    Buffer<counter::kAutoTest> f;
    return counter_exchange(dw_BoardHandle, Needs::Nothing, f,
                            [&] { *pb_TestResult = f.get_u8<0>(); });
}

int16_t MFB_CALL i_MFB_ClearCounterValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr) {
    auto f = module_buffer<counter::kClear>(b_ModulNbr);
    return counter_exchange(dw_BoardHandle, Needs::Nothing, f);
}

// Board-wide: no request, an 8-byte answer that carries only the status.
int16_t MFB_CALL i_MFB_ClearAllCounterValue(MFB_BoardHandle dw_BoardHandle) {
    Buffer<counter::kClearAll> f;
    return counter_exchange(dw_BoardHandle, Needs::Nothing, f);
}

int16_t MFB_CALL i_MFB_SetInputFilter(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                      uint8_t b_Filter1, uint8_t b_Filter2) {
    auto f = module_buffer<counter::kInputFilter>(b_ModulNbr);
    f.u8<1>(b_Filter1).u8<2>(b_Filter2);
    return counter_exchange(dw_BoardHandle, Needs::Nothing, f);
}

// The filter byte goes into byte 2; byte 1 stays unused.
int16_t MFB_CALL i_MFB_SetInputFilterEFG(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                         uint8_t b_Filter) {
    auto f = module_buffer<counter::kInputFilterEfg>(b_ModulNbr);
    f.u8<2>(b_Filter);
    return counter_exchange(dw_BoardHandle, Needs::Nothing, f);
}

// ---- counter values -----------------------------------------------------------------------------

// The 16-bit and 32-bit reads send the same request; the 16-bit one keeps one half of the answer.
int16_t MFB_CALL i_MFB_Read16BitCounterValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                             uint8_t b_SelectedCounter, uint32_t* pdw_Value) {
    auto f = module_buffer<counter::kReadValue>(b_ModulNbr);
    return counter_exchange(dw_BoardHandle, Needs::Nothing, f, [&] {
        *pdw_Value = (f.get_u32<4>() >> half_shift(b_SelectedCounter)) & 0xFFFFu;
    });
}

int16_t MFB_CALL i_MFB_Read32BitCounterValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                             uint32_t* pdw_Value) {
    auto f = module_buffer<counter::kReadValue>(b_ModulNbr);
    return read_value(dw_BoardHandle, f, pdw_Value);
}

// The value is shifted into the selected half; for counter 0 its upper bits go along unchanged, so
// the request equals that of a 32-bit write of the same value.
int16_t MFB_CALL i_MFB_Write16BitCounterValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                              uint8_t b_SelectedCounter, uint32_t dw_Value) {
    return send_value<counter::kWriteValue>(dw_BoardHandle, Needs::Nothing, b_ModulNbr,
                                            dw_Value << half_shift(b_SelectedCounter));
}

int16_t MFB_CALL i_MFB_Write32BitCounterValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                              uint32_t dw_Value) {
    return send_value<counter::kWriteValue>(dw_BoardHandle, Needs::Nothing, b_ModulNbr, dw_Value);
}

// ---- latch --------------------------------------------------------------------------------------

int16_t MFB_CALL i_MFB_LatchCounter(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                    uint8_t b_LatchValue) {
    return send_value<counter::kLatch>(dw_BoardHandle, Needs::Nothing, b_ModulNbr, b_LatchValue);
}

// The only 8-byte read with a register number: the status comes back in byte 2.
int16_t MFB_CALL i_MFB_ReadLatchRegisterStatus(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                               uint8_t b_LatchReg, uint8_t* pb_LatchStatus) {
    auto f = module_buffer<counter::kLatchStatus>(b_ModulNbr);
    f.u8<1>(b_LatchReg);
    return counter_exchange(dw_BoardHandle, Needs::Nothing, f,
                            [&] { *pb_LatchStatus = f.get_u8<2>(); });
}

int16_t MFB_CALL i_MFB_ReadLatchRegisterValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                              uint8_t b_LatchReg, uint32_t* pdw_LatchValue) {
    auto f = module_buffer<counter::kLatchValue>(b_ModulNbr);
    f.u8<1>(b_LatchReg);
    return read_value(dw_BoardHandle, f, pdw_LatchValue);
}

// Both latch-interrupt switches need the board's interrupt routine, the disabling one too.
int16_t MFB_CALL i_MFB_EnableLatchInterrupt(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr) {
    return send_value<counter::kLatchInterrupt>(dw_BoardHandle, Needs::Interrupts, b_ModulNbr, 1);
}

int16_t MFB_CALL i_MFB_DisableLatchInterrupt(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr) {
    return send_value<counter::kLatchInterrupt>(dw_BoardHandle, Needs::Interrupts, b_ModulNbr, 0);
}

// ---- index and reference ------------------------------------------------------------------------

// An index set up with interrupt (last set-up byte 1) needs the board's interrupt routine.
int16_t MFB_CALL i_MFB_InitIndex(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                 uint8_t b_Setting1, uint8_t b_Setting2, uint8_t b_Setting3,
                                 uint8_t b_IndexInterrupt) {
    const Needs needs = b_IndexInterrupt == 1 ? Needs::Interrupts : Needs::Nothing;
    auto f = module_buffer<counter::kInitIndex>(b_ModulNbr);
    f.u8<1>(b_Setting1).u8<2>(b_Setting2).u8<3>(b_Setting3).u8<4>(b_IndexInterrupt);
    return counter_exchange(dw_BoardHandle, needs, f);
}

int16_t MFB_CALL i_MFB_EnableIndex(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr) {
    return send_value<counter::kIndexSwitch>(dw_BoardHandle, Needs::Nothing, b_ModulNbr, 1);
}

int16_t MFB_CALL i_MFB_DisableIndex(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr) {
    return send_value<counter::kIndexSwitch>(dw_BoardHandle, Needs::Nothing, b_ModulNbr, 0);
}

int16_t MFB_CALL i_MFB_GetIndexStatus(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                      uint8_t* pb_IndexStatus) {
    return read_status_byte<counter::kIndexStatus>(dw_BoardHandle, Needs::Nothing, b_ModulNbr,
                                                   pb_IndexStatus);
}

int16_t MFB_CALL i_MFB_SetIndexAndReferenceSource(MFB_BoardHandle dw_BoardHandle,
                                                  uint8_t b_ModulNbr, uint8_t b_SourceSelection) {
    return send_value<counter::kIndexReferenceSource>(dw_BoardHandle, Needs::Nothing, b_ModulNbr,
                                                      b_SourceSelection);
}

int16_t MFB_CALL i_MFB_InitReference(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                     uint8_t b_ReferenceLevel) {
    return send_value<counter::kInitReference>(dw_BoardHandle, Needs::Nothing, b_ModulNbr,
                                               b_ReferenceLevel);
}

int16_t MFB_CALL i_MFB_GetReferenceStatus(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                          uint8_t* pb_ReferenceStatus) {
    return read_status_byte<counter::kReferenceStatus>(dw_BoardHandle, Needs::Nothing, b_ModulNbr,
                                                       pb_ReferenceStatus);
}

// ---- status bytes -------------------------------------------------------------------------------

int16_t MFB_CALL i_MFB_GetUASStatus(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                    uint8_t* pb_UASStatus) {
    return read_status_byte<counter::kUasStatus>(dw_BoardHandle, Needs::Nothing, b_ModulNbr,
                                                 pb_UASStatus);
}

int16_t MFB_CALL i_MFB_GetCBStatus(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                   uint8_t* pb_CBStatus) {
    return read_status_byte<counter::kCbStatus>(dw_BoardHandle, Needs::Nothing, b_ModulNbr,
                                                pb_CBStatus);
}

// The one status read of 8 bytes: a status byte per 16-bit counter, in bytes 1 and 2.
int16_t MFB_CALL i_MFB_Get16BitCBStatus(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                        uint8_t* pb_CBStatusCounter0,
                                        uint8_t* pb_CBStatusCounter1) {
    auto f = module_buffer<counter::kCb16Status>(b_ModulNbr);
    return counter_exchange(dw_BoardHandle, Needs::Nothing, f, [&] {
        *pb_CBStatusCounter0 = f.get_u8<1>();
        *pb_CBStatusCounter1 = f.get_u8<2>();
    });
}

int16_t MFB_CALL i_MFB_GetUDStatus(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                   uint8_t* pb_UDStatus) {
    return read_status_byte<counter::kUdStatus>(dw_BoardHandle, Needs::Nothing, b_ModulNbr,
                                                pb_UDStatus);
}

int16_t MFB_CALL i_MFB_GetInterruptUDLatchedStatus(MFB_BoardHandle dw_BoardHandle,
                                                   uint8_t b_ModulNbr, uint8_t* pb_UDStatus) {
    return read_status_byte<counter::kUdLatchedStatus>(dw_BoardHandle, Needs::Interrupts,
                                                       b_ModulNbr, pb_UDStatus);
}

// ---- external strobe, compare logic and digital channel -----------------------------------------

int16_t MFB_CALL i_MFB_InitExternalStrobe(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                          uint8_t b_ExternalStrobe, uint8_t b_ExternalStrobeLevel) {
    auto f = module_buffer<counter::kExternalStrobe>(b_ModulNbr);
    f.u8<1>(b_ExternalStrobe).u8<2>(b_ExternalStrobeLevel);
    return counter_exchange(dw_BoardHandle, Needs::Nothing, f);
}

int16_t MFB_CALL i_MFB_InitCompareLogic(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                        uint32_t dw_CompareValue) {
    return send_value<counter::kInitCompare>(dw_BoardHandle, Needs::Nothing, b_ModulNbr,
                                             dw_CompareValue);
}

// Two 16-bit values at bytes 2-3 and 4-5; byte 1 stays unused.
int16_t MFB_CALL i_MFB_ModuloCompareCorrection(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                               uint16_t w_Correction1, uint16_t w_Correction2) {
    auto f = module_buffer<counter::kModuloCorrection>(b_ModulNbr);
    f.u16<2>(w_Correction1).u16<4>(w_Correction2);
    return counter_exchange(dw_BoardHandle, Needs::Nothing, f);
}

// Compare events raise interrupts, so enabling needs the board's interrupt routine; disabling
// does not.
int16_t MFB_CALL i_MFB_EnableCompareLogic(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr) {
    return send_value<counter::kCompareSwitch>(dw_BoardHandle, Needs::Interrupts, b_ModulNbr, 1);
}

int16_t MFB_CALL i_MFB_DisableCompareLogic(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr) {
    return send_value<counter::kCompareSwitch>(dw_BoardHandle, Needs::Nothing, b_ModulNbr, 0);
}

// The family's one 16-byte exchange: the modulo value in the value field, the option byte at 8,
// the status at 12.
int16_t MFB_CALL i_MFB_InitModuloCompareLogic(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                              uint32_t dw_ModuloValue, uint8_t b_ModuloOption) {
    auto f = module_buffer<counter::kInitModuloCompare>(b_ModulNbr);
    f.u32<4>(dw_ModuloValue).u8<8>(b_ModuloOption);
    return counter_exchange(dw_BoardHandle, Needs::Nothing, f);
}

int16_t MFB_CALL i_MFB_ReadCompareLatchRegister(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                                uint32_t* pdw_LatchValue) {
    auto f = module_buffer<counter::kCompareLatch>(b_ModulNbr);
    return read_value(dw_BoardHandle, f, pdw_LatchValue);
}

int16_t MFB_CALL i_MFB_ConfigDigitalChlUse(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                           uint8_t b_DigitalChlUse) {
    auto f = module_buffer<counter::kDigitalChannelUse>(b_ModulNbr);
    f.u8<1>(b_DigitalChlUse);
    return counter_exchange(dw_BoardHandle, Needs::Nothing, f);
}

int16_t MFB_CALL i_MFB_SetDigitalChlOn(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr) {
    return send_value<counter::kDigitalChannel>(dw_BoardHandle, Needs::Nothing, b_ModulNbr, 1);
}

int16_t MFB_CALL i_MFB_SetDigitalChlOff(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr) {
    return send_value<counter::kDigitalChannel>(dw_BoardHandle, Needs::Nothing, b_ModulNbr, 0);
}

} // extern "C"
