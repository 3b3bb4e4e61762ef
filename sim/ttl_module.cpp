#include "sim/ttl_module.h"

#include "sim/modules.h"

namespace mfb::sim {
namespace {

namespace ttl = protocol::ttl;

// The lines of each read port in the all-ports layout.
constexpr std::uint32_t kReadPortLines[4] = {0x00000003, 0x0000FF00, 0x00FF0000, 0xFF000000};

std::uint8_t read_port_byte(std::uint32_t levels, std::uint8_t port) {
    return static_cast<std::uint8_t>(levels >> (8 * port));
}

} // namespace

int TtlModule::bit_of(std::uint8_t port, std::uint8_t channel) {
    if (channel > 7 || port > 4)
        return -1;
    if (port < 2)
        return channel == 0 ? port : -1;
    return 8 * (port - 1) + channel;
}

void TtlModule::set_input_line(std::uint8_t line, bool high) {
    if (line > 25)
        return;
    const int bit = line < 2 ? bit_of(line, 0) : bit_of((line - 2) / 8 + 2, (line - 2) % 8);
    const std::uint32_t mask = std::uint32_t{1} << bit;
    inputs_ = high ? inputs_ | mask : inputs_ & ~mask;
}

std::uint32_t TtlModule::answer(std::uint32_t code, std::uint8_t* b, std::uint64_t) {
    switch (code) {
    case ttl::kDirection.code: {
        std::uint32_t outputs = 0;
        for (int k = 0; k < 4; ++k) {
            if (b[1 + k] > 1)
                return kRefused;
            if (b[1 + k] == 1)
                outputs |= kReadPortLines[k];
        }
        outputs_ = outputs;
        return kAccepted;
    }
    case ttl::kReadChannel.code:
        if (b[1] > 3 || b[2] > 7)
            return kRefused;
        b[3] = (read_port_byte(levels(), b[1]) >> b[2]) & 1;
        return kAccepted;
    case ttl::kReadPort.code:
        if (b[1] > 3)
            return kRefused;
        b[2] = read_port_byte(levels(), b[1]);
        return kAccepted;
    case ttl::kReadAllPorts.code:
        protocol::put_le32(b + 4, levels());
        return kAccepted;
    case ttl::kSwitch.code: {
        const int bit = bit_of(b[1], b[2]);
        if (b[3] > 1 || bit < 0)
            return kRefused;
        const std::uint32_t mask = std::uint32_t{1} << bit;
        latches_ = b[3] == 1 ? latches_ | mask : latches_ & ~mask;
        return kAccepted;
    }
    }
    return kRefused;
}

std::unique_ptr<Module> make_ttl_module() {
    return std::make_unique<TtlModule>();
}

} // namespace mfb::sim
