// ETM module: time-interval measurement. An ETM counts ticks of a time base that the application
// sets up; each measurement gives the measured interval (the ETM value) and the whole period (the
// total time) in ticks, and a measurement state.
//
// The statuses are the ETM style of board/status.h: unlike the other families the ETM functions do
// not look the board handle up, so an unknown handle shows as a failed exchange (-100); every
// request starts with a 16-bit driver status field (0 on the way in), and a status other than 0 in
// the answer is the function's result, unchanged, with nothing written to the caller then. Nothing
// is checked here either; module and ETM numbers, the time base and the setting bytes are the
// driver's to refuse. The out-pointers of the set-up, the progress status and the reads are
// optional (tested for null); those of the read set-up, the duty cycle and the conversion are
// required.
#include "board/status.h"
#include "mfb.h"

#include <cstdint>

namespace mfb {
namespace {

namespace etm = protocol::etm;

// The measurement states that end the wait of a read: the measurement has finished.
constexpr std::uint8_t kFinished = 2;
constexpr std::uint8_t kFinishedToo = 3;
// The read asks for the most recent measurement.
constexpr std::uint32_t kLatestMeasurement = 0xFFFFFFFF;
// A wait count that ends the wait after the first request, without a pause.
constexpr std::uint32_t kNoWait = 0xFFFFFFFF;

// A request addressed to one ETM: the status field at 0, module and ETM numbers at 2 and 3.
template <protocol::Request R> Buffer<R> etm_buffer(std::uint8_t module, std::uint8_t number) {
    Buffer<R> f;
    f.template u8<etm::kPositionByte>(module).template u8<3>(number);
    return f;
}

template <class T> void put_if(T* out, T value) {
    if (out)
        *out = value;
}

// The read with wait of the three read functions. Requests are repeated, 1 ms apart, until the
// driver reports a finished measurement or the wait count runs out; the last answer is handed
// over whether or not it finished. Wait count N makes at most N requests, each that does not end
// the wait followed by a pause; 0 makes up to two; kNoWait exactly one, without a pause.
std::int16_t read_with_wait(std::uint32_t handle, std::uint8_t module, std::uint8_t number,
                            std::uint32_t wait_count, std::uint8_t* state, std::uint32_t* value,
                            std::uint32_t* total) {
    const bool no_count = wait_count == 0;
    std::uint32_t remaining = wait_count;
    Buffer<etm::kRead> f;
    for (;;) {
        f = etm_buffer<etm::kRead>(module, number);
        f.u32<4>(kLatestMeasurement);
        if (!io_control(handle, f))
            return kEtmExchangeFailed;
        const std::uint8_t s = f.get_u8<8>();
        if (f.status_word() == 0 && (s == kFinished || s == kFinishedToo))
            break;
        if (remaining == kNoWait)
            break;
        Sleep(1);
        --remaining; // from 0 it wraps to kNoWait: a count of 0 makes one more request
        if (remaining == 0 && !no_count)
            break;
    }
    if (std::int16_t s = etm_status(f.status_word()); s != 0)
        return s;
    put_if(state, f.get_u8<8>());
    put_if(value, f.get_u32<12>());
    put_if(total, f.get_u32<16>());
    return 0;
}

} // namespace
} // namespace mfb

using namespace mfb;

extern "C" {

int16_t MFB_CALL i_MFB_InitETM(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr, uint8_t b_ETMNbr,
                               uint8_t b_TimingUnit, uint32_t dw_TimingBase,
                               uint32_t* pdw_RealTimingBase) {
    auto f = etm_buffer<etm::kInit>(b_ModulNbr, b_ETMNbr);
    f.u8<4>(b_TimingUnit).u32<8>(dw_TimingBase);
    return etm_exchange(dw_BoardHandle, f, [&] { put_if(pdw_RealTimingBase, f.get_u32<12>()); });
}

int16_t MFB_CALL i_MFB_EnableETM(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                 uint8_t b_ETMNbr, uint8_t b_Setting1, uint8_t b_Setting2,
                                 uint8_t b_Setting3, uint8_t b_Setting4, uint8_t b_Setting5) {
    auto f = etm_buffer<etm::kEnable>(b_ModulNbr, b_ETMNbr);
    f.u8<4>(b_Setting1).u8<5>(b_Setting2).u8<6>(b_Setting3).u8<7>(b_Setting4).u8<8>(b_Setting5);
    return etm_exchange(dw_BoardHandle, f);
}

int16_t MFB_CALL i_MFB_DisableETM(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                  uint8_t b_ETMNbr) {
    auto f = etm_buffer<etm::kDisable>(b_ModulNbr, b_ETMNbr);
    return etm_exchange(dw_BoardHandle, f);
}

int16_t MFB_CALL i_MFB_GetETMInitialisation(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                            uint8_t b_ETMNbr, uint8_t* pb_TimingUnit,
                                            uint32_t* pdw_TimingBase, uint8_t* pb_Setting1,
                                            uint8_t* pb_Setting2, uint8_t* pb_Setting3,
                                            uint8_t* pb_Setting4, uint8_t* pb_Setting5,
                                            uint8_t* pb_Setting6) {
    auto f = etm_buffer<etm::kGetInitialisation>(b_ModulNbr, b_ETMNbr);
    return etm_exchange(dw_BoardHandle, f, [&] {
        *pb_TimingUnit = f.get_u8<4>();
        *pdw_TimingBase = f.get_u32<8>();
        *pb_Setting1 = f.get_u8<12>();
        *pb_Setting2 = f.get_u8<13>();
        *pb_Setting3 = f.get_u8<14>();
        *pb_Setting4 = f.get_u8<15>();
        *pb_Setting5 = f.get_u8<16>();
        *pb_Setting6 = f.get_u8<17>();
    });
}

int16_t MFB_CALL i_MFB_GetETMProgressStatus(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                            uint8_t b_ETMNbr, uint8_t* pb_ProgressStatus) {
    auto f = etm_buffer<etm::kProgressStatus>(b_ModulNbr, b_ETMNbr);
    return etm_exchange(dw_BoardHandle, f, [&] { put_if(pb_ProgressStatus, f.get_u8<4>()); });
}

int16_t MFB_CALL i_MFB_ReadETMValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                    uint8_t b_ETMNbr, uint32_t dw_WaitCount,
                                    uint8_t* pb_MeasurementState, uint32_t* pdw_ETMValue) {
    return read_with_wait(dw_BoardHandle, b_ModulNbr, b_ETMNbr, dw_WaitCount, pb_MeasurementState,
                          pdw_ETMValue, nullptr);
}

int16_t MFB_CALL i_MFB_ReadETMTotalTime(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                        uint8_t b_ETMNbr, uint32_t dw_WaitCount,
                                        uint8_t* pb_MeasurementState, uint32_t* pdw_TotalTime) {
    return read_with_wait(dw_BoardHandle, b_ModulNbr, b_ETMNbr, dw_WaitCount, pb_MeasurementState,
                          nullptr, pdw_TotalTime);
}

// The duty cycle in percent: the quotient is rounded to double before the product with 100, so
// that 1 of 3 gives 33.33333333333333 (not ...336). 0.0 is written first, and stays on a failure
// or a total time of 0.
int16_t MFB_CALL i_MFB_ReadETMDutyCycleValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                             uint8_t b_ETMNbr, uint32_t dw_WaitCount,
                                             uint8_t* pb_MeasurementState,
                                             double* pd_DutyCycleValue) {
    *pd_DutyCycleValue = 0.0;
    std::uint32_t value = 0, total = 0;
    const std::int16_t status = read_with_wait(dw_BoardHandle, b_ModulNbr, b_ETMNbr, dw_WaitCount,
                                               pb_MeasurementState, &value, &total);
    if (status == 0 && total != 0) {
        const double quotient = static_cast<double>(value) / static_cast<double>(total);
        *pd_DutyCycleValue = quotient * 100.0;
    }
    return status;
}

// A tick count of an ETM of the module as a duration, with the time base of ETM 0, read afresh.
// All in unsigned 64-bit integers: ticks times time base is exact, and the unit's factor to
// nanoseconds is not multiplied in, so no product can wrap: the digits below the unit are 0.
int16_t MFB_CALL i_MFB_ConvertETMValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                       uint32_t dw_TickCount, uint32_t* pdw_Hour,
                                       uint8_t* pb_Minute, uint8_t* pb_Second,
                                       uint32_t* pdw_MilliSecond, uint32_t* pdw_MicroSecond,
                                       uint32_t* pdw_NanoSecond) {
    std::uint8_t unit = 0;
    std::uint32_t base = 0;
    std::uint8_t scratch = 0;
    if (std::int16_t s =
            i_MFB_GetETMInitialisation(dw_BoardHandle, b_ModulNbr, 0, &unit, &base, &scratch,
                                       &scratch, &scratch, &scratch, &scratch, &scratch);
        s != 0)
        return s;
    // The time base's unit: 1 microseconds, 2 milliseconds, anything else nanoseconds.
    const unsigned zero_digits = unit == 1 ? 1 : unit == 2 ? 2 : 0;
    std::uint64_t t = std::uint64_t{dw_TickCount} * base; // in the unit
    const auto thousandths = [&](unsigned digit) -> std::uint32_t {
        if (digit < zero_digits)
            return 0;
        const auto part = static_cast<std::uint32_t>(t % 1000);
        t /= 1000;
        return part;
    };
    *pdw_NanoSecond = thousandths(0);
    *pdw_MicroSecond = thousandths(1);
    *pdw_MilliSecond = thousandths(2);
    *pb_Second = static_cast<std::uint8_t>(t % 60);
    t /= 60;
    *pb_Minute = static_cast<std::uint8_t>(t % 60);
    t /= 60;
    // More hours than 32 bits hold (over 490,000 years) read as the most there are.
    *pdw_Hour = t > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(t);
    return 0;
}

} // extern "C"
