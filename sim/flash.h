// The simulated board's flash memory: the NOR part from which the board loads the logic of its
// four function modules, and the six requests through which the library replaces that firmware.
//
// The model:
//   - 512 KiB (a 4-Mbit part), addresses 0 to 0x7FFFF; the four module areas of 100,000 bytes
//     fit with room to spare. A new board's flash is erased: every byte reads 0xFF.
//   - Erase sets every byte to 0xFF. A write can only clear bits, as on any NOR flash: the byte
//     becomes the AND of what it held and what was written, so a write over a byte that was not
//     erased reads back as the AND of the two.
//   - Every write request costs the write time on the bus clock (default 14 us, a typical NOR
//     byte-program time), whether it succeeds or not: the part spends its program cycle either
//     way. The clock is moved, not waited on, so a full update takes realistic time on the bus
//     clock (virtual or real) and none in real time. Reads and the other requests cost nothing.
//   - The reload, its check and the closing request succeed unless told to fail. The payload is
//     opaque to the board: a reload does not change the functions at the module positions.
//
// Requests (board-level: none is addressed to a module position):
//   0x900020D0 erase            no request, no answer
//   0x900020D4 closing request  no request, no answer
//   0x900020D8 reload the logic no request, no answer
//   0x900020DC check the reload no request, no answer
//   0x900020E0 write one byte   8-byte request: u32 address, data byte at 4; no answer
//   0x900020E4 read one byte    8-byte request: u32 address; answer the same 8 bytes with the
//                               stored byte at 4 (bytes 5 to 7 zero)
//   A write or read with fewer than 8 request bytes (or, for a read, room for fewer than 8 answer
//   bytes) fails with ERROR_INVALID_FUNCTION; one at an address past the end of the part with
//   ERROR_INVALID_PARAMETER, changing nothing.
//
// Failures on demand (for tests, and for users rehearsing a failed update): the next N writes fail
// (to any address, or only to one), a bit stuck at 0 or 1 at an address, and the erase, the
// reload, the check or the closing request failing until cleared. An injected failure fails the
// exchange with ERROR_GEN_FAILURE.
//
// Thread-safe: a program may watch the counts (for a progress display) while an update runs.
#pragma once

#include "mfb_vbus.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

namespace mfb::sim {

class Flash {
  public:
    static constexpr std::uint32_t kSize = 0x80000;
    static constexpr std::uint64_t kDefaultWriteNs = 14000;

    enum class Request { Erase, Reload, Check, Close };

    // How many requests of each kind the flash answered (failed ones included) since it was made.
    struct Counts {
        std::uint64_t erases = 0, writes = 0, failed_writes = 0, reads = 0;
        std::uint64_t reloads = 0, checks = 0, closes = 0;
    };

    Flash();

    // Whether a ControlCode is one of the six flash requests.
    static bool handles(std::uint32_t code);
    // Answer one flash request, as a board driver exchange.
    int exchange(vbus::Exchange& x);

    void set_write_time_ns(std::uint64_t ns);
    std::uint64_t write_time_ns() const;

    // The next `count` write requests fail; with an address, only those to that address.
    void fail_writes(unsigned count, std::optional<std::uint32_t> address = std::nullopt);
    // Bit `bit` (0 to 7) of the byte at `address` reads as `level`, whatever is written or erased.
    void set_stuck_bit(std::uint32_t address, unsigned bit, bool level);
    // The request fails from now until cleared.
    void fail(Request request, bool on = true);
    // Back to a sound part: no failing writes, stuck bits or failing requests.
    void clear_faults();

    // The bytes as a read request answers them (stuck bits included); addresses past the end of
    // the part are left out.
    std::vector<std::uint8_t> contents(std::uint32_t address, std::uint32_t length) const;
    Counts counts() const;

  private:
    std::uint8_t read_locked(std::uint32_t address) const;
    int write_locked(vbus::Exchange& x);
    int read_request_locked(vbus::Exchange& x);
    int simple_locked(vbus::Exchange& x, Request request, std::uint64_t& count);

    mutable std::mutex mutex_;
    std::vector<std::uint8_t> cells_;
    std::uint64_t write_ns_ = kDefaultWriteNs;
    unsigned failing_writes_ = 0;
    std::optional<std::uint32_t> failing_address_;
    std::map<std::uint32_t, std::pair<std::uint8_t, std::uint8_t>> stuck_; // address: mask, levels
    bool failing_[4] = {};
    Counts counts_;
};

} // namespace mfb::sim
