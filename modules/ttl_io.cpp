// TTL I/O module: port directions, reads of one channel, one port or all ports, and switching
// one line on or off, addressed by port and channel or by a line number. The reads address
// ports 0 to 3, the switches ports 0 to 4; the module decides how the two numberings meet.
// Arguments are checked against fixed ranges before anything reaches the driver; each function
// makes exactly one exchange.
#include "board/status.h"
#include "mfb.h"

namespace mfb {
namespace {

namespace ttl = protocol::ttl;

constexpr std::uint8_t kLastReadPort = 3;
constexpr std::uint8_t kLastSwitchPort = 4;
constexpr std::uint8_t kLastChannel = 7;
constexpr std::uint8_t kLastLine = 25;

struct PortChannel {
    std::uint8_t port;
    std::uint8_t channel;
};

// The connector's line numbers: lines 0 and 1 are channel 0 of ports 0 and 1, lines 2 to 25 the
// eight channels of ports 2, 3 and 4 in turn.
constexpr PortChannel line_position(std::uint8_t line) {
    if (line < 2)
        return {line, 0};
    return {static_cast<std::uint8_t>((line - 2) / 8 + 2),
            static_cast<std::uint8_t>((line - 2) % 8)};
}
static_assert(line_position(1).port == 1 && line_position(1).channel == 0);
static_assert(line_position(9).port == 2 && line_position(9).channel == 7);
static_assert(line_position(10).port == 3 && line_position(10).channel == 0);
static_assert(line_position(25).port == 4 && line_position(25).channel == 7);

// The one request of every switch, sent once the caller's checks have passed.
std::int16_t send_switch(Checked& checks, std::uint8_t module, PortChannel at, bool on,
                         std::int16_t io_failed) {
    Buffer<ttl::kSwitch> f;
    f.u8<0>(module).u8<1>(at.port).u8<2>(at.channel).u8<3>(on ? 1 : 0);
    return checks.exchange(f, io_failed);
}

std::int16_t switch_channel(std::uint32_t handle, std::uint8_t module, std::uint8_t port,
                            std::uint8_t channel, bool on) {
    Checked c(handle);
    c.check_module(module, -2).check(port > kLastSwitchPort, -3).check(channel > kLastChannel, -4);
    return send_switch(c, module, {port, channel}, on, -5);
}

std::int16_t switch_line(std::uint32_t handle, std::uint8_t module, std::uint8_t line, bool on) {
    Checked c(handle);
    c.check_module(module, -2).check(line > kLastLine, -3);
    return send_switch(c, module, line_position(line), on, -4);
}

} // namespace
} // namespace mfb

using namespace mfb;

extern "C" {

int16_t MFB_CALL i_MFB_InitTTLIODirection(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                          uint8_t b_Direction1, uint8_t b_Direction2,
                                          uint8_t b_Direction3, uint8_t b_Direction4) {
    Buffer<ttl::kDirection> f;
    f.u8<0>(b_ModulNbr)
        .u8<1>(b_Direction1)
        .u8<2>(b_Direction2)
        .u8<3>(b_Direction3)
        .u8<4>(b_Direction4);
    return Checked(dw_BoardHandle)
        .check_module(b_ModulNbr, -2)
        .check(b_Direction1 > 1, -3)
        .check(b_Direction2 > 1, -4)
        .check(b_Direction3 > 1, -5)
        .check(b_Direction4 > 1, -6)
        .exchange(f, -7);
}

int16_t MFB_CALL i_MFB_ReadTTLIOChannelValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                             uint8_t b_Port, uint8_t b_Channel,
                                             uint8_t* pb_ChannelValue) {
    Buffer<ttl::kReadChannel> f;
    f.u8<0>(b_ModulNbr).u8<1>(b_Port).u8<2>(b_Channel);
    return Checked(dw_BoardHandle)
        .check_module(b_ModulNbr, -2)
        .check(b_Port > kLastReadPort, -3)
        .check(b_Channel > kLastChannel, -4)
        .exchange(f, -5, [&] { *pb_ChannelValue = f.get_u8<3>(); });
}

int16_t MFB_CALL i_MFB_ReadTTLIOPortValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                          uint8_t b_Port, uint8_t* pb_PortValue) {
    Buffer<ttl::kReadPort> f;
    f.u8<0>(b_ModulNbr).u8<1>(b_Port);
    return Checked(dw_BoardHandle)
        .check_module(b_ModulNbr, -2)
        .check(b_Port > kLastReadPort, -3)
        .exchange(f, -4, [&] { *pb_PortValue = f.get_u8<2>(); });
}

int16_t MFB_CALL i_MFB_ReadTTLIOAllPortValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                             uint32_t* pdw_PortValue) {
    Buffer<ttl::kReadAllPorts> f;
    f.u8<0>(b_ModulNbr);
    return Checked(dw_BoardHandle).check_module(b_ModulNbr, -2).exchange(f, -3, [&] {
        *pdw_PortValue = f.get_u32<4>();
    });
}

int16_t MFB_CALL i_MFB_SetTTLIOChannelOn(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                         uint8_t b_Port, uint8_t b_Channel) {
    return switch_channel(dw_BoardHandle, b_ModulNbr, b_Port, b_Channel, true);
}

int16_t MFB_CALL i_MFB_SetTTLIOChannelOff(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                          uint8_t b_Port, uint8_t b_Channel) {
    return switch_channel(dw_BoardHandle, b_ModulNbr, b_Port, b_Channel, false);
}

int16_t MFB_CALL i_MFB_SetTTLIOChlOn(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                     uint8_t b_Line) {
    return switch_line(dw_BoardHandle, b_ModulNbr, b_Line, true);
}

int16_t MFB_CALL i_MFB_SetTTLIOChlOff(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                      uint8_t b_Line) {
    return switch_line(dw_BoardHandle, b_ModulNbr, b_Line, false);
}

} // extern "C"
