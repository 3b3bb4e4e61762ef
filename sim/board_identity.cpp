#include "sim/board_identity.h"

#include "protocol/requests.h"

#include <cstring>

namespace mfb::sim {
namespace {

namespace board = protocol::board;

} // namespace

std::uint32_t configuration_word(std::uint8_t position, Function f) {
    return std::uint32_t{position} << 8 | static_cast<std::uint8_t>(f);
}

bool is_identity_code(std::uint32_t code) {
    return code == board::kHardwareType.code || code == board::kDriverVersion.code ||
           code == board::kModuleConfiguration.code;
}

bool identity_exchange(vbus::Exchange& x, const std::unique_ptr<Module> (&modules)[4]) {
    std::uint8_t* b = x.buffer;
    switch (x.code) {
    case board::kHardwareType.code:
        if (!fits(x, board::kHardwareType))
            return false;
        b[0] = kHardwareType;
        x.bytes_returned = board::kHardwareType.size;
        return true;
    case board::kDriverVersion.code:
        if (!fits(x, board::kDriverVersion))
            return false;
        protocol::put_le32(b, kDriverVersion);
        x.bytes_returned = board::kDriverVersion.size;
        return true;
    case board::kModuleConfiguration.code: {
        constexpr protocol::Request r = board::kModuleConfiguration;
        if (!fits(x, r))
            return false;
        const std::uint8_t position = b[0];
        std::memset(b + 1, 0, r.size - 1);
        if (protocol::is_module(position)) {
            const Function f = modules[position] ? modules[position]->function() : Function::None;
            protocol::put_le32(b + 4, configuration_word(position, f));
        } else {
            protocol::put_status_word(r, b, kNoSuchPosition);
        }
        x.bytes_returned = r.size;
        return true;
    }
    default:
        return false;
    }
}

} // namespace mfb::sim
