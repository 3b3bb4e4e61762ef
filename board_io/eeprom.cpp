// Word access to the EEPROM of the board's PCI interface chip, through the board driver.
//
// Neither function looks the handle up: it goes to the driver as given, so a handle that is no
// open board fails as a failed exchange (-100). The driver answers a status byte in byte 0 of the
// buffer; the range of addresses and what a nonzero status says are the driver's and the chip's.
// A refused write returns the byte negated, a refused read +100. A successful write reports the
// value written and the answer length on the standard output.
#include "board/driver_channel.h"
#include "board/frame.h"
#include "mfb.h"

#include <cstdio>

namespace mfb {
namespace {

namespace eeprom_code {
constexpr std::uint32_t kWrite = 0x9001C000;
constexpr std::uint32_t kRead = 0x9001C004;
} // namespace eeprom_code

constexpr std::int16_t kExchangeFailed = -100;
constexpr std::int16_t kReadRefused = 100;

// The request of both: the address at offset 4, the value (0 for a read) at offset 8.
Frame<12> eeprom_request(std::uint32_t address, std::uint32_t value) {
    Frame<12> f;
    f.u32<4>(address).u32<8>(value);
    return f;
}

} // namespace
} // namespace mfb

using namespace mfb;

extern "C" {

int16_t MFB_CALL i_MFB_EepromAMCCWrite(MFB_BoardHandle dw_BoardHandle, uint32_t dw_Address,
                                       uint32_t dw_Value) {
    Frame<12> f = eeprom_request(dw_Address, dw_Value);
    std::uint32_t returned = 0;
    if (!io_control(dw_BoardHandle, eeprom_code::kWrite, f, Io::Same, &returned))
        return kExchangeFailed;
    if (const std::uint8_t status = f.get_u8<0>(); status != 0)
        return static_cast<std::int16_t>(-status);
    std::printf("dw_EepromValue : %d \n", static_cast<int>(static_cast<std::int32_t>(dw_Value)));
    std::printf("returnedLength : %d \n", static_cast<int>(returned));
    return 0;
}

int16_t MFB_CALL i_MFB_EepromAMCCRead(MFB_BoardHandle dw_BoardHandle, uint32_t dw_Address,
                                      uint32_t* pdw_Value) {
    Frame<12> f = eeprom_request(dw_Address, 0);
    if (!io_control(dw_BoardHandle, eeprom_code::kRead, f, Io::Same))
        return kExchangeFailed;
    if (f.get_u8<0>() != 0)
        return kReadRefused;
    *pdw_Value = f.get_u32<8>();
    return 0;
}

} // extern "C"
