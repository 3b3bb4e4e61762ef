// Word access to the EEPROM of the board's PCI interface chip, through the board driver.
//
// Neither function looks the handle up: it goes to the driver as given, so a handle that is no
// open board fails as a failed exchange (-100). The driver answers a status byte in byte 0 of the
// buffer; the range of addresses and what a nonzero status says are the driver's and the chip's.
// A refused write returns the byte negated, a refused read +100. A successful write reports the
// value written and the answer length on the standard output.
#include "board/driver_channel.h"
#include "mfb.h"

#include <cstdio>

namespace mfb {
namespace {

namespace eeprom = protocol::eeprom;

constexpr std::int16_t kExchangeFailed = -100;
constexpr std::int16_t kReadRefused = 100;

// The request of both: the address at offset 4, the value (0 for a read) at offset 8.
template <protocol::Request R>
Buffer<R> eeprom_request(std::uint32_t address, std::uint32_t value) {
    Buffer<R> f;
    f.template u32<4>(address).template u32<8>(value);
    return f;
}

} // namespace
} // namespace mfb

using namespace mfb;

extern "C" {

int16_t MFB_CALL i_MFB_EepromAMCCWrite(MFB_BoardHandle dw_BoardHandle, uint32_t dw_Address,
                                       uint32_t dw_Value) {
    auto f = eeprom_request<eeprom::kWrite>(dw_Address, dw_Value);
    std::uint32_t returned = 0;
    if (!io_control(dw_BoardHandle, f, &returned))
        return kExchangeFailed;
    if (const auto status = static_cast<std::uint8_t>(f.status_word()); status != 0)
        return static_cast<std::int16_t>(-status);
    std::printf("dw_EepromValue : %d \n", static_cast<int>(static_cast<std::int32_t>(dw_Value)));
    std::printf("returnedLength : %d \n", static_cast<int>(returned));
    return 0;
}

int16_t MFB_CALL i_MFB_EepromAMCCRead(MFB_BoardHandle dw_BoardHandle, uint32_t dw_Address,
                                      uint32_t* pdw_Value) {
    auto f = eeprom_request<eeprom::kRead>(dw_Address, 0);
    if (!io_control(dw_BoardHandle, f))
        return kExchangeFailed;
    if (f.status_word() != 0)
        return kReadRefused;
    *pdw_Value = f.get_u32<8>();
    return 0;
}

} // extern "C"
