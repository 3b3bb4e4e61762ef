#include "sim/board_io.h"

#include "protocol/requests.h"
#include "sim/sim_board.h"

namespace mfb::sim {
namespace {

constexpr protocol::Request kRequests[] = {
    protocol::ports::kReadInputs, protocol::ports::kWriteOutputs, protocol::ports::kConfigure,
    protocol::eeprom::kWrite, protocol::eeprom::kRead};

} // namespace

bool BoardIo::answers(std::uint32_t code) {
    return protocol::find(kRequests, code) != nullptr;
}

bool BoardIo::exchange(vbus::Exchange& x) {
    const protocol::Request* r = protocol::find(kRequests, x.code);
    if (!r || !fits(x, *r))
        return false;
    x.bytes_returned = r->answers() ? r->size : 0;
    std::uint8_t* b = x.buffer;
    if (x.code == protocol::eeprom::kWrite.code || x.code == protocol::eeprom::kRead.code) {
        const std::uint32_t address = protocol::get_le32(b + 4);
        b[1] = b[2] = b[3] = 0;
        protocol::put_status_word(*r, b, address >= kEepromWords ? kAddressOutOfRange : 0);
        if (address < kEepromWords && x.code == protocol::eeprom::kWrite.code)
            eeprom_[address] = protocol::get_le32(b + 8);
        protocol::put_le32(b + 8, address < kEepromWords ? eeprom_[address] : 0);
        return true;
    }
    if (b[0] >= kPorts)
        return false;
    Port& p = ports_[b[0]];
    switch (x.code) {
    case protocol::ports::kReadInputs.code:
        b[1] = read_inputs(b[0]);
        return true;
    case protocol::ports::kWriteOutputs.code:
        p.latch = b[1];
        lines_changed(p);
        return true;
    case protocol::ports::kConfigure.code:
        if (b[1] > 1 || b[2] > 1)
            return false;
        p.enable_selected = b[1] == 1;
        if (b[2] == 1 && !p.strobe_selected) { // a new strobe: no sample and no edge yet
            p.sample = 0;
            p.strobe_level = (lines(p) & kStrobeLine) != 0;
        }
        p.strobe_selected = b[2] == 1;
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
