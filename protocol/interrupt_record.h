// The interrupt record: what the driver answers to the record read (board::kInterruptRecord of
// requests.h), one interrupt a read, the oldest first, until it answers one with the end-of-queue
// flag. Little-endian:
//
//   bytes 0-3    word 1
//   bytes 4-7    word 2
//   bytes 8-71   sixteen u32 values
//   bytes 72-75  how many of the values count
//   byte 76      the record byte
//   byte 77      1: the end of the queue, no record was pending (the other fields are 0)
//
// What the words, the values and the record byte mean is the module's that raised it.
#pragma once

#include "protocol/requests.h"

#include <cstddef>
#include <cstdint>

namespace mfb::protocol::interrupt_record {

constexpr std::size_t kSize = board::kInterruptRecord.size;
constexpr std::size_t kWord1 = 0;
constexpr std::size_t kWord2 = 4;
constexpr std::size_t kValues = 8;
constexpr std::uint32_t kValueSlots = 16;
constexpr std::size_t kValueCount = 72;
constexpr std::size_t kRecordByte = 76;
constexpr std::size_t kEndOfQueue = 77;

static_assert(kValues + 4 * kValueSlots == kValueCount && kEndOfQueue < kSize);

} // namespace mfb::protocol::interrupt_record
