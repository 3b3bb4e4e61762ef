// Board identity and versions: the information record of a board by index (its identifier text,
// five words and a byte), the board's hardware type, the configuration word of each module
// position, the library's own version word and the board driver's version. What the record, the
// type, the words and the driver version mean is the driver's and the module firmware's; the
// library passes them on unchanged.
#include "board/device_path.h"
#include "board/status.h"
#include "board/version.h"
#include "mfb.h"

#include <cstring>

namespace mfb {
namespace {

namespace board = protocol::board;

} // namespace
} // namespace mfb

using namespace mfb;

extern "C" {

// By board index, from the last enumeration: the board's device is opened for this one exchange,
// whether or not the board is open.
int16_t MFB_CALL i_MFB_GetBoardInformation(uint8_t b_BoardIndex, char* pc_Identifier,
                                           uint32_t dw_IdentifierSize, uint32_t* pdw_Word1,
                                           uint32_t* pdw_Word3, uint32_t* pdw_Word2,
                                           uint32_t* pdw_Word4, uint32_t* pdw_Word5,
                                           uint8_t* pb_InformationByte) {
    const std::uint8_t count = boards().count.load();
    if (count == 0)
        return -1;
    if (b_BoardIndex >= count || b_BoardIndex >= kSlotCount)
        return -2;

    DevicePath device;
    HANDLE h = INVALID_HANDLE_VALUE;
    if (std::int16_t step = device.open(b_BoardIndex, h); step != 0)
        return step;

    Buffer<board::kInformation> info;
    const BOOL answered = io_control(platform::handle_value(h), info);
    CloseHandle(h);
    if (!answered)
        return -8;

    const char* text = reinterpret_cast<const char*>(info.bytes + board::kIdentifier);
    const std::size_t length = strnlen(text, info.size - board::kIdentifier);
    if (length >= dw_IdentifierSize) { // no room for the text and its terminating zero
        if (dw_IdentifierSize != 0)
            pc_Identifier[0] = '\0';
        return -9;
    }
    std::memcpy(pc_Identifier, text, length);
    pc_Identifier[length] = '\0';
    *pdw_Word1 = info.get_u32<board::kInformationWords>();
    *pdw_Word2 = info.get_u32<board::kInformationWords + 4>();
    *pdw_Word3 = info.get_u32<board::kInformationWords + 8>();
    *pdw_Word4 = info.get_u32<board::kInformationWords + 12>();
    *pdw_Word5 = info.get_u32<board::kInformationWords + 16>();
    *pb_InformationByte = info.get_u8<board::kInformationByte>();
    return 0;
}

int16_t MFB_CALL i_MFB_GetBoardHardwareType(MFB_BoardHandle dw_BoardHandle,
                                            uint8_t* pb_HardwareType) {
    Buffer<board::kHardwareType> f; // the request byte carries nothing
    return Checked(dw_BoardHandle).exchange(f, -2, [&] { *pb_HardwareType = f.get_u8<0>(); });
}

// Negated-status style. The module number goes to the driver unchecked, and the word is copied
// whenever the exchange went through, also when the driver reports an error.
int16_t MFB_CALL i_MFB_GetModuleConfiguration(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                              uint32_t* pdw_Configuration) {
    Buffer<board::kModuleConfiguration> f;
    f.u8<0>(b_ModulNbr);
    return negated_exchange(dw_BoardHandle, f, [&] { *pdw_Configuration = f.get_u32<4>(); });
}

int16_t MFB_CALL i_MFB_GetDLLVersion(uint32_t* pdw_Version) {
    *pdw_Version = version_word(kBuildNumber, kBuildDate);
    return 0;
}

// The handle goes to the driver as given, open or not: a handle that is no open board fails the
// exchange.
int16_t MFB_CALL i_MFB_GetDeviceDriverVersion(MFB_BoardHandle dw_BoardHandle,
                                              uint32_t* pdw_DriverVersion) {
    Buffer<board::kDriverVersion> f;
    if (!io_control(dw_BoardHandle, f))
        return -1;
    *pdw_DriverVersion = f.get_u32<0>();
    return 0;
}

} // extern "C"
