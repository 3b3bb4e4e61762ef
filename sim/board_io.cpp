#include "sim/board_io.h"

#include "sim/le_bytes.h"

namespace mfb::sim {
namespace {

constexpr std::uint32_t kReadInputs = 0x9000211C;
constexpr std::uint32_t kWriteOutputs = 0x90002120;
constexpr std::uint32_t kConfigure = 0x90002124;
constexpr std::uint32_t kEepromWrite = 0x9001C000;
constexpr std::uint32_t kEepromRead = 0x9001C004;

} // namespace

bool BoardIo::answers(std::uint32_t code) {
    return code == kReadInputs || code == kWriteOutputs || code == kConfigure ||
           code == kEepromWrite || code == kEepromRead;
}

bool BoardIo::exchange(vbus::Exchange& x) {
    std::uint8_t* b = x.buffer;
    if (x.code == kEepromWrite || x.code == kEepromRead) {
        if (x.in_size < 12 || x.out_size < 12)
            return false;
        const std::uint32_t address = le_u32(b, 4);
        b[0] = b[1] = b[2] = b[3] = 0;
        if (address >= kEepromWords)
            b[0] = kAddressOutOfRange;
        else if (x.code == kEepromWrite)
            eeprom_[address] = le_u32(b, 8);
        put_le_u32(b, 8, address < kEepromWords ? eeprom_[address] : 0);
        x.bytes_returned = 12;
        return true;
    }
    if (x.in_size < 1 || b[0] >= kPorts)
        return false;
    Port& p = ports_[b[0]];
    switch (x.code) {
    case kReadInputs:
        if (x.out_size < 2)
            return false;
        b[1] = read_inputs(b[0]);
        x.bytes_returned = 2;
        return true;
    case kWriteOutputs:
        if (x.in_size < 2)
            return false;
        p.latch = b[1];
        lines_changed(p);
        x.bytes_returned = 0;
        return true;
    case kConfigure:
        if (x.in_size < 3 || b[1] > 1 || b[2] > 1)
            return false;
        p.enable_selected = b[1] == 1;
        if (b[2] == 1 && !p.strobe_selected) { // a new strobe: no sample and no edge yet
            p.sample = 0;
            p.strobe_level = (lines(p) & kStrobeLine) != 0;
        }
        p.strobe_selected = b[2] == 1;
        x.bytes_returned = 0;
        return true;
    default:
        return false;
    }
}

void BoardIo::lines_changed(Port& p) {
    const std::uint8_t now = lines(p);
    const bool level = (now & kStrobeLine) != 0;
    if (p.strobe_selected && level && !p.strobe_level)
        p.sample = now;
    p.strobe_level = level;
}

void BoardIo::drive_inputs(std::uint8_t port, std::uint8_t levels) {
    if (port >= kPorts)
        return;
    ports_[port].driven = levels;
    lines_changed(ports_[port]);
}

void BoardIo::set_loopback(std::uint8_t port, bool on) {
    if (port >= kPorts)
        return;
    ports_[port].loopback = on;
    lines_changed(ports_[port]);
}

std::uint8_t BoardIo::outputs(std::uint8_t port) const {
    if (port >= kPorts)
        return 0;
    const Port& p = ports_[port];
    return p.enable_selected && (lines(p) & kEnableLine) == 0 ? 0 : p.latch;
}

std::uint8_t BoardIo::latch(std::uint8_t port) const {
    return port < kPorts ? ports_[port].latch : 0;
}

std::uint8_t BoardIo::input_lines(std::uint8_t port) const {
    return port < kPorts ? lines(ports_[port]) : 0;
}

std::uint8_t BoardIo::read_inputs(std::uint8_t port) const {
    if (port >= kPorts)
        return 0;
    const Port& p = ports_[port];
    return p.strobe_selected ? p.sample : lines(p);
}

std::uint32_t BoardIo::eeprom(std::uint32_t address) const {
    return address < kEepromWords ? eeprom_[address] : 0;
}

void BoardIo::set_eeprom(std::uint32_t address, std::uint32_t value) {
    if (address < kEepromWords)
        eeprom_[address] = value;
}

} // namespace mfb::sim
