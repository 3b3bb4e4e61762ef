#include "sim/board_identity.h"

#include "sim/le_bytes.h"

#include <cstring>

namespace mfb::sim {
namespace {

constexpr std::uint32_t kHardwareTypeCode = 0x900020E8;
constexpr std::uint32_t kDriverVersionCode = 0x9000208C;
constexpr std::uint32_t kModuleConfigurationCode = 0x90004000;

} // namespace

std::uint32_t configuration_word(std::uint8_t position, Function f) {
    return std::uint32_t{position} << 8 | static_cast<std::uint8_t>(f);
}

bool is_identity_code(std::uint32_t code) {
    return code == kHardwareTypeCode || code == kDriverVersionCode ||
           code == kModuleConfigurationCode;
}

bool identity_exchange(vbus::Exchange& x, const std::unique_ptr<Module> (&modules)[4]) {
    std::uint8_t* b = x.buffer;
    switch (x.code) {
    case kHardwareTypeCode:
        if (x.out_size < 1)
            return false;
        b[0] = kHardwareType;
        x.bytes_returned = 1;
        return true;
    case kDriverVersionCode:
        if (x.out_size < 4)
            return false;
        put_le_u32(b, 0, kDriverVersion);
        x.bytes_returned = 4;
        return true;
    case kModuleConfigurationCode: {
        if (x.in_size < 12 || x.out_size < 12)
            return false;
        const std::uint8_t position = b[0];
        std::memset(b + 1, 0, 11);
        if (position < 4) {
            const Function f = modules[position] ? modules[position]->function() : Function::None;
            put_le_u32(b, 4, configuration_word(position, f));
        } else {
            b[8] = static_cast<std::uint8_t>(kNoSuchPosition);
            b[9] = static_cast<std::uint8_t>(kNoSuchPosition >> 8);
        }
        x.bytes_returned = 12;
        return true;
    }
    default:
        return false;
    }
}

} // namespace mfb::sim
