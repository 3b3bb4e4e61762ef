// Board identity and versions: the board's hardware type, the configuration word of each module
// position, the library's own version word and the board driver's version. What the type, the
// words and the driver version mean is the driver's and the module firmware's; the library passes
// them on unchanged.
#include "board/frame.h"
#include "board/status.h"
#include "board/version.h"
#include "mfb.h"

namespace mfb {
namespace {

namespace identity_code {
constexpr std::uint32_t kDriverVersion = 0x9000208C;
constexpr std::uint32_t kHardwareType = 0x900020E8;
constexpr std::uint32_t kModuleConfiguration = 0x90004000;
} // namespace identity_code

} // namespace
} // namespace mfb

using namespace mfb;

extern "C" {

int16_t MFB_CALL i_MFB_GetBoardHardwareType(MFB_BoardHandle dw_BoardHandle,
                                            uint8_t* pb_HardwareType) {
    Frame<1> f; // the request byte carries nothing
    return Checked(dw_BoardHandle).exchange(identity_code::kHardwareType, f, Io::Same, -2, [&] {
        *pb_HardwareType = f.get_u8<0>();
    });
}

// Negated-status style. The module number goes to the driver unchecked, and the word is copied
// whenever the exchange went through, also when the driver reports an error.
int16_t MFB_CALL i_MFB_GetModuleConfiguration(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                              uint32_t* pdw_Configuration) {
    Frame<12> f;
    f.u8<0>(b_ModulNbr);
    return negated_exchange<8>(dw_BoardHandle, identity_code::kModuleConfiguration, f,
                               [&] { *pdw_Configuration = f.get_u32<4>(); });
}

int16_t MFB_CALL i_MFB_GetDLLVersion(uint32_t* pdw_Version) {
    *pdw_Version = version_word(kBuildNumber, kBuildDate);
    return 0;
}

// The handle goes to the driver as given, open or not: a handle that is no open board fails the
// exchange.
int16_t MFB_CALL i_MFB_GetDeviceDriverVersion(MFB_BoardHandle dw_BoardHandle,
                                              uint32_t* pdw_DriverVersion) {
    Frame<4> f;
    if (!io_control(dw_BoardHandle, identity_code::kDriverVersion, f, Io::AnswerOnly))
        return -1;
    *pdw_DriverVersion = f.get_u32<0>();
    return 0;
}

} // extern "C"
