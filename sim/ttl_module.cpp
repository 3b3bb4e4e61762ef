#include "sim/ttl_module.h"

#include "sim/modules.h"

namespace mfb::sim {
namespace {

constexpr std::uint32_t kDirection = 0x9000209C;
constexpr std::uint32_t kReadChannel = 0x900020A0;
constexpr std::uint32_t kReadPort = 0x900020A4;
constexpr std::uint32_t kReadAllPorts = 0x900020A8;
constexpr std::uint32_t kSwitch = 0x900020AC;

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

bool TtlModule::exchange(ModuleExchange& m) {
    vbus::Exchange& x = m.x;
    std::uint8_t* b = x.buffer;
    switch (x.code) {
    case kDirection: {
        if (x.in_size < 5)
            return false;
        std::uint32_t outputs = 0;
        for (int k = 0; k < 4; ++k) {
            if (b[1 + k] > 1)
                return false;
            if (b[1 + k] == 1)
                outputs |= kReadPortLines[k];
        }
        outputs_ = outputs;
        x.bytes_returned = 0;
        return true;
    }
    case kReadChannel:
        if (x.in_size < 3 || x.out_size < 4 || b[1] > 3 || b[2] > 7)
            return false;
        b[3] = (read_port_byte(levels(), b[1]) >> b[2]) & 1;
        x.bytes_returned = 4;
        return true;
    case kReadPort:
        if (x.in_size < 2 || x.out_size < 3 || b[1] > 3)
            return false;
        b[2] = read_port_byte(levels(), b[1]);
        x.bytes_returned = 3;
        return true;
    case kReadAllPorts: {
        if (x.out_size < 8)
            return false;
        const std::uint32_t v = levels();
        for (int i = 0; i < 4; ++i)
            b[4 + i] = static_cast<std::uint8_t>(v >> (8 * i));
        x.bytes_returned = 8;
        return true;
    }
    case kSwitch: {
        if (x.in_size < 4 || b[3] > 1)
            return false;
        const int bit = bit_of(b[1], b[2]);
        if (bit < 0)
            return false;
        const std::uint32_t mask = std::uint32_t{1} << bit;
        latches_ = b[3] == 1 ? latches_ | mask : latches_ & ~mask;
        x.bytes_returned = 0;
        return true;
    }
    }
    return false;
}

std::unique_ptr<Module> make_ttl_module() {
    return std::make_unique<TtlModule>();
}

} // namespace mfb::sim
