// The board's own digital ports 0 to 3, one byte each: configuring a port, reading its inputs,
// switching output bits on and off.
//
// The board cannot read its outputs back, so the library keeps, in the board's slot, the output
// byte it last computed for each port, whether the port has been configured and with which two
// values, and whether switching works on the remembered byte (output memory on) or replaces it
// (off). That state lives as long as the loaded library: closing and reopening a board keeps it.
// While a configuration value is 1 the line it governs (input bit 5 for the first value, bit 6
// for the second) serves the port's control and is no data: reads show it as 0.
#include "board/status.h"
#include "mfb.h"

namespace mfb {
namespace {

namespace ports = protocol::ports;

constexpr std::uint8_t kLastPort = 3;
constexpr std::uint8_t kFirstSettingLine = 0x20;
constexpr std::uint8_t kSecondSettingLine = 0x40;

// The checks of a read or a switch: handle (-1), port (-2), port configured (-3).
Checked port_checked(std::uint32_t handle, std::uint8_t port) {
    Checked c(handle);
    c.check(port > kLastPort, -2);
    c.check(c.ok() && c.slot()->port_configured[port] != 1, -3);
    return c;
}

std::int16_t switch_outputs(std::uint32_t handle, std::uint8_t port, std::uint8_t mask, bool on) {
    Checked c = port_checked(handle, port);
    c.check(c.ok() && !on && c.slot()->digital_output_memory != 1, -4); // nothing to switch off
    if (!c.ok())
        return c.status();
    BoardSlot& slot = *c.slot();
    std::uint8_t& output = slot.port_output[port];
    if (slot.digital_output_memory == 1)
        output = on ? static_cast<std::uint8_t>(output | mask)
                    : static_cast<std::uint8_t>(output & ~mask);
    else
        output = mask;
    // The new byte stays remembered even if it never reaches the board.
    Buffer<ports::kWriteOutputs> f;
    f.u8<0>(port).u8<1>(output);
    return c.exchange(f, -4);
}

} // namespace
} // namespace mfb

using namespace mfb;

extern "C" {

int16_t MFB_CALL i_MFB_SetPortConfiguration(MFB_BoardHandle dw_BoardHandle, uint8_t b_PortNbr,
                                            uint8_t b_FirstValue, uint8_t b_SecondValue) {
    Buffer<ports::kConfigure> f;
    f.u8<0>(b_PortNbr).u8<1>(b_FirstValue).u8<2>(b_SecondValue);
    Checked c(dw_BoardHandle);
    const std::int16_t status = c.check(b_PortNbr > kLastPort, -2)
                                    .check(b_FirstValue > 1, -3)
                                    .check(b_SecondValue > 1, -4)
                                    .exchange(f, -5);
    if (status == 0) { // a port is configured only once the board has taken the values
        c.slot()->port_configured[b_PortNbr] = 1;
        c.slot()->port_first_setting[b_PortNbr] = b_FirstValue;
        c.slot()->port_second_setting[b_PortNbr] = b_SecondValue;
    }
    return status;
}

int16_t MFB_CALL i_MFB_ReadDigitalInputs(MFB_BoardHandle dw_BoardHandle, uint8_t b_PortNbr,
                                         uint8_t* pb_InputValue) {
    Buffer<ports::kReadInputs> f;
    f.u8<0>(b_PortNbr);
    Checked c = port_checked(dw_BoardHandle, b_PortNbr);
    return c.exchange(f, -4, [&] {
        std::uint8_t value = f.get_u8<1>();
        if (c.slot()->port_first_setting[b_PortNbr] == 1)
            value &= static_cast<std::uint8_t>(~kFirstSettingLine);
        if (c.slot()->port_second_setting[b_PortNbr] == 1)
            value &= static_cast<std::uint8_t>(~kSecondSettingLine);
        *pb_InputValue = value;
    });
}

int16_t MFB_CALL i_MFB_SetDigitalOutputsOn(MFB_BoardHandle dw_BoardHandle, uint8_t b_PortNbr,
                                           uint8_t b_Mask) {
    return switch_outputs(dw_BoardHandle, b_PortNbr, b_Mask, true);
}

int16_t MFB_CALL i_MFB_SetDigitalOutputsOff(MFB_BoardHandle dw_BoardHandle, uint8_t b_PortNbr,
                                            uint8_t b_Mask) {
    return switch_outputs(dw_BoardHandle, b_PortNbr, b_Mask, false);
}

int16_t MFB_CALL i_MFB_SetDigitalOutputMemory(MFB_BoardHandle dw_BoardHandle,
                                              uint8_t b_OutputMemory) {
    Checked c(dw_BoardHandle);
    c.check(b_OutputMemory > 1, -2);
    if (c.ok())
        c.slot()->digital_output_memory = b_OutputMemory;
    return c.status();
}

} // extern "C"
