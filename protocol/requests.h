// Every request of the board driver's control channel, by family: its ControlCode, the size of its
// buffer, which buffers pass (wire.h) and where the answer carries the driver's status word. The
// library's family files send them and the simulated board answers them; both take them from
// here, so the two sides cannot drift apart. What the fields of each buffer mean is written at the
// library's function and in the simulated module's header.
//
// ControlCodes are METHOD_BUFFERED (two low bits 0) on device type 0x9000, but the PCI interface
// chip's EEPROM pair and the handle notice, which sit on 0x9001.
//
// A request addressed to a module position names it in byte 0 of its buffer (the ETM's in byte 2,
// after its status field); a request that sends nothing addresses the board as a whole.
#pragma once

#include "protocol/wire.h"

#include <cstddef>
#include <cstdint>

namespace mfb::protocol {

constexpr std::uint8_t kModulePositions = 4; // module numbers 0 to 3
// Whether a module number names a position of the board: the one check of it, on both sides.
constexpr bool is_module(unsigned number) {
    return number < kModulePositions;
}
constexpr std::size_t kPositionByte = 0; // but the ETM's

// ---- the board ----------------------------------------------------------------------------------

namespace board {
// The information record: five u32 words, a byte, and the identifier text up to the end.
constexpr Request kInformation{0x90002098, 84, Io::AnswerOnly};
constexpr std::size_t kInformationWords = 0; // words 1 to 5 at 0, 4, 8, 12, 16
constexpr std::size_t kInformationByte = 28;
constexpr std::size_t kIdentifier = 32;
// The handle value the driver will be addressed by, told at the first open (u32 at 0).
constexpr Request kHandleNotice{0x9001C014, 4, Io::RequestOnly};
constexpr Request kDriverVersion{0x9000208C, 4, Io::AnswerOnly};
constexpr Request kHardwareType{0x900020E8, 1, Io::Same};
constexpr Request kModuleConfiguration{0x90004000, 12, Io::Same, StatusAt::Last16};
// The event the driver sets while interrupt records are pending (u32 handle value at 0), and the
// read of one record (interrupt_record.h).
constexpr Request kInterruptEvent{0x90002004, 4, Io::RequestOnly};
constexpr Request kInterruptRecord{0x90002008, 80, Io::AnswerOnly};
} // namespace board

// The board's own digital ports.
namespace ports {
constexpr Request kReadInputs{0x9000211C, 2, Io::Same};
constexpr Request kWriteOutputs{0x90002120, 2, Io::RequestOnly};
constexpr Request kConfigure{0x90002124, 3, Io::RequestOnly};
} // namespace ports

// The EEPROM of the PCI interface chip: address at 4, value at 8, a status byte answered at 0.
namespace eeprom {
constexpr Request kWrite{0x9001C000, 12, Io::Same, StatusAt::FirstByte};
constexpr Request kRead{0x9001C004, 12, Io::Same, StatusAt::FirstByte};
} // namespace eeprom

// The flash memory that holds the modules' firmware: u32 address at 0, data byte at 4.
namespace flash {
constexpr Request kErase{0x900020D0, 0, Io::None};
constexpr Request kClose{0x900020D4, 0, Io::None};
constexpr Request kReload{0x900020D8, 0, Io::None};
constexpr Request kCheckReload{0x900020DC, 0, Io::None};
constexpr Request kWriteByte{0x900020E0, 8, Io::RequestOnly};
constexpr Request kReadByte{0x900020E4, 8, Io::Same};
} // namespace flash

// ---- the module families ------------------------------------------------------------------------

// Incremental counter: the driver status word in the last four bytes of every answer. Self-test
// and clear-all send nothing: they address every counter of the board.
namespace counter {
constexpr StatusAt kStatusWord = StatusAt::Last32;
constexpr Request kInit{0x9000200C, 12, Io::Same, kStatusWord};
constexpr Request kAutoTest{0x90002010, 8, Io::AnswerOnly, kStatusWord};
constexpr Request kClear{0x90002014, 8, Io::Same, kStatusWord};
constexpr Request kClearAll{0x90002018, 8, Io::AnswerOnly, kStatusWord};
constexpr Request kInputFilter{0x9000201C, 8, Io::Same, kStatusWord};
constexpr Request kLatch{0x90002020, 12, Io::Same, kStatusWord};
constexpr Request kLatchStatus{0x90002024, 8, Io::Same, kStatusWord};
constexpr Request kLatchValue{0x90002028, 12, Io::Same, kStatusWord};
constexpr Request kLatchInterrupt{0x9000202C, 12, Io::Same, kStatusWord};
constexpr Request kReadValue{0x90002030, 12, Io::Same, kStatusWord};
constexpr Request kWriteValue{0x90002034, 12, Io::Same, kStatusWord};
constexpr Request kInitIndex{0x90002038, 12, Io::Same, kStatusWord};
constexpr Request kIndexSwitch{0x9000203C, 12, Io::Same, kStatusWord};
constexpr Request kIndexStatus{0x90002040, 12, Io::Same, kStatusWord};
constexpr Request kIndexReferenceSource{0x90002044, 12, Io::Same, kStatusWord};
constexpr Request kInitReference{0x90002048, 12, Io::Same, kStatusWord};
constexpr Request kReferenceStatus{0x9000204C, 12, Io::Same, kStatusWord};
constexpr Request kUasStatus{0x90002050, 12, Io::Same, kStatusWord};
constexpr Request kCbStatus{0x90002054, 12, Io::Same, kStatusWord};
constexpr Request kCb16Status{0x90002058, 8, Io::Same, kStatusWord};
constexpr Request kUdStatus{0x9000205C, 12, Io::Same, kStatusWord};
constexpr Request kUdLatchedStatus{0x90002060, 12, Io::Same, kStatusWord};
constexpr Request kExternalStrobe{0x90002064, 8, Io::Same, kStatusWord};
constexpr Request kInitCompare{0x90002068, 12, Io::Same, kStatusWord};
constexpr Request kCompareSwitch{0x9000206C, 12, Io::Same, kStatusWord};
constexpr Request kDigitalChannel{0x90002088, 12, Io::Same, kStatusWord};
constexpr Request kModuloCorrection{0x90004004, 12, Io::Same, kStatusWord};
constexpr Request kInputFilterEfg{0x90004008, 8, Io::Same, kStatusWord};
constexpr Request kDigitalChannelUse{0x9000450C, 8, Io::Same, kStatusWord};
constexpr Request kInitModuloCompare{0x90004510, 16, Io::Same, kStatusWord};
constexpr Request kCompareLatch{0x90004514, 12, Io::Same, kStatusWord};
constexpr Request kRequests[] = {
    kInit,           kAutoTest,         kClear,          kClearAll,          kInputFilter,
    kLatch,          kLatchStatus,      kLatchValue,     kLatchInterrupt,    kReadValue,
    kWriteValue,     kInitIndex,        kIndexSwitch,    kIndexStatus,       kIndexReferenceSource,
    kInitReference,  kReferenceStatus,  kUasStatus,      kCbStatus,          kCb16Status,
    kUdStatus,       kUdLatchedStatus,  kExternalStrobe, kInitCompare,       kCompareSwitch,
    kDigitalChannel, kModuloCorrection, kInputFilterEfg, kDigitalChannelUse, kInitModuloCompare,
    kCompareLatch};
} // namespace counter

// Timer: no status word.
namespace timer {
constexpr Request kInit{0x900020B0, 12, Io::RequestOnly};
constexpr Request kEnable{0x900020B4, 3, Io::RequestOnly};
constexpr Request kDisable{0x900020B8, 2, Io::RequestOnly};
constexpr Request kReadValue{0x900020BC, 8, Io::Same};
constexpr Request kReadAll{0x900020C0, 16, Io::Same};
constexpr Request kOutputLevel{0x900020C4, 3, Io::Same};
constexpr Request kProgressStatus{0x900020C8, 3, Io::Same};
constexpr Request kWriteValue{0x900020CC, 8, Io::RequestOnly};
constexpr Request kProgressStatusEx{0x90002184, 3, Io::Same};
constexpr Request kRequests[] = {kInit,           kEnable,     kDisable,
                                 kReadValue,      kReadAll,    kOutputLevel,
                                 kProgressStatus, kWriteValue, kProgressStatusEx};
} // namespace timer

// TTL I/O: no status word. One switch request for all four switches: byte 3 tells on from off.
namespace ttl {
constexpr Request kDirection{0x9000209C, 5, Io::RequestOnly};
constexpr Request kReadChannel{0x900020A0, 4, Io::Same};
constexpr Request kReadPort{0x900020A4, 3, Io::Same};
constexpr Request kReadAllPorts{0x900020A8, 8, Io::Same};
constexpr Request kSwitch{0x900020AC, 4, Io::RequestOnly};
constexpr Request kRequests[] = {kDirection, kReadChannel, kReadPort, kReadAllPorts, kSwitch};
} // namespace ttl

// SSI: no status word.
namespace ssi {
constexpr Request kInit{0x900020EC, 16, Io::RequestOnly};
constexpr Request kInitRawData{0x900020F0, 8, Io::RequestOnly};
constexpr Request kRead1Value{0x900020F4, 12, Io::Same};
constexpr Request kRead1RawData{0x900020F8, 16, Io::Same};
constexpr Request kReadAllValues{0x900020FC, 28, Io::Same};
constexpr Request kReadAllRawData{0x90002100, 72, Io::Same};
constexpr Request kReadDigitalInput{0x90002104, 2, Io::Same};
constexpr Request kSetDigitalOutput{0x90002108, 2, Io::RequestOnly};
constexpr Request kStartAcquisition{0x9000210C, 1, Io::RequestOnly};
constexpr Request kAcquisitionStatus{0x90002110, 2, Io::Same};
constexpr Request kGetValue{0x90002114, 12, Io::Same};
constexpr Request kGetRawData{0x90002118, 16, Io::Same};
constexpr Request kRequests[] = {
    kInit,           kInitRawData,      kRead1Value,       kRead1RawData,     kReadAllValues,
    kReadAllRawData, kReadDigitalInput, kSetDigitalOutput, kStartAcquisition, kAcquisitionStatus,
    kGetValue,       kGetRawData};
} // namespace ssi

// PWM: the driver status word in the last four bytes of every answer.
namespace pwm {
constexpr StatusAt kStatusWord = StatusAt::Last32;
constexpr Request kInit{0x90002158, 24, Io::Same, kStatusWord};
constexpr Request kNewTiming{0x9000215C, 16, Io::Same, kStatusWord};
constexpr Request kEnable{0x90002160, 12, Io::Same, kStatusWord};
constexpr Request kDisable{0x90002164, 8, Io::Same, kStatusWord};
constexpr Request kGetInitialisation{0x90002168, 24, Io::Same, kStatusWord};
constexpr Request kStatus{0x9000216C, 8, Io::Same, kStatusWord};
constexpr Request kReadInput{0x90002170, 8, Io::Same, kStatusWord};
constexpr Request kReadAllInputs{0x90002174, 8, Io::Same, kStatusWord};
constexpr Request kManualSetting{0x90002178, 8, Io::Same, kStatusWord};
constexpr Request kOutputOn{0x9000217C, 8, Io::Same, kStatusWord};
constexpr Request kOutputOff{0x90002180, 8, Io::Same, kStatusWord};
constexpr Request kRequests[] = {
    kInit,      kNewTiming,     kEnable,        kDisable,  kGetInitialisation, kStatus,
    kReadInput, kReadAllInputs, kManualSetting, kOutputOn, kOutputOff};
} // namespace pwm

// ETM: every buffer starts with the 16-bit driver status; the module position follows at 2.
namespace etm {
constexpr std::size_t kPositionByte = 2;
constexpr StatusAt kStatusWord = StatusAt::First16;
constexpr Request kInit{0x90002140, 16, Io::Same, kStatusWord};
constexpr Request kEnable{0x90002144, 10, Io::Same, kStatusWord};
constexpr Request kDisable{0x90002148, 4, Io::Same, kStatusWord};
constexpr Request kGetInitialisation{0x9000214C, 20, Io::Same, kStatusWord};
constexpr Request kProgressStatus{0x90002150, 6, Io::Same, kStatusWord};
constexpr Request kRead{0x90002154, 20, Io::Same, kStatusWord};
constexpr Request kRequests[] = {kInit,           kEnable, kDisable, kGetInitialisation,
                                 kProgressStatus, kRead};
} // namespace etm

// Frequency measurement: the driver status word in the last four bytes of every answer.
namespace frequency {
constexpr StatusAt kStatusWord = StatusAt::Last32;
constexpr Request kInit{0x9000608C, 16, Io::Same, kStatusWord};
constexpr Request kEnable{0x90006090, 8, Io::Same, kStatusWord};
constexpr Request kRead{0x90006094, 12, Io::Same, kStatusWord};
constexpr Request kDisable{0x90006098, 8, Io::Same, kStatusWord};
constexpr Request kRequests[] = {kInit, kEnable, kRead, kDisable};
} // namespace frequency

// Pulse encoder: a 16-bit driver status at the start of the last four bytes.
namespace pulse_encoder {
constexpr StatusAt kStatusWord = StatusAt::Last16;
constexpr Request kInit{0x90005400, 12, Io::Same, kStatusWord};
constexpr Request kEnable{0x90005404, 8, Io::Same, kStatusWord};
constexpr Request kDisable{0x90005408, 8, Io::Same, kStatusWord};
constexpr Request kReadStatus{0x9000540C, 8, Io::Same, kStatusWord};
constexpr Request kReadValue{0x90005410, 12, Io::Same, kStatusWord};
constexpr Request kWriteValue{0x90005414, 12, Io::Same, kStatusWord};
constexpr Request kRequests[] = {kInit, kEnable, kDisable, kReadStatus, kReadValue, kWriteValue};
} // namespace pulse_encoder

} // namespace mfb::protocol
