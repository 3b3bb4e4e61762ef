#include "sim/flash.h"

#include "protocol/requests.h"
#include "sim/sim_board.h"

#include <algorithm>
#include <cstring>

namespace mfb::sim {
namespace {

namespace flash = protocol::flash;

constexpr std::uint32_t kErrorInvalidFunction = 1;
constexpr std::uint32_t kErrorGenFailure = 31;
constexpr std::uint32_t kErrorInvalidParameter = 87;

int fail_with(vbus::Exchange& x, std::uint32_t error) {
    x.error = error;
    return 0;
}

} // namespace

Flash::Flash() : cells_(kSize, 0xFF) {}

bool Flash::handles(std::uint32_t code) {
    return code >= flash::kErase.code && code <= flash::kReadByte.code;
}

int Flash::exchange(vbus::Exchange& x) {
    std::lock_guard lock(mutex_);
    x.bytes_returned = 0;
    switch (x.code) {
    case flash::kErase.code: {
        const int ok = simple_locked(x, Request::Erase, counts_.erases);
        if (ok)
            std::fill(cells_.begin(), cells_.end(), 0xFF);
        return ok;
    }
    case flash::kReload.code:
        return simple_locked(x, Request::Reload, counts_.reloads);
    case flash::kCheckReload.code:
        return simple_locked(x, Request::Check, counts_.checks);
    case flash::kClose.code:
        return simple_locked(x, Request::Close, counts_.closes);
    case flash::kWriteByte.code:
        return write_locked(x);
    case flash::kReadByte.code:
        return read_request_locked(x);
    default:
        return fail_with(x, kErrorInvalidFunction);
    }
}

int Flash::simple_locked(vbus::Exchange& x, Request request, std::uint64_t& count) {
    ++count;
    return failing_[static_cast<int>(request)] ? fail_with(x, kErrorGenFailure) : 1;
}

int Flash::write_locked(vbus::Exchange& x) {
    if (!fits(x, flash::kWriteByte))
        return fail_with(x, kErrorInvalidFunction);
    const std::uint32_t address = protocol::get_le32(x.buffer);
    if (address >= kSize)
        return fail_with(x, kErrorInvalidParameter);
    ++counts_.writes;
    if (write_ns_ != 0)
        vbus::advance(write_ns_);
    if (failing_writes_ != 0 && (!failing_address_ || *failing_address_ == address)) {
        --failing_writes_;
        ++counts_.failed_writes;
        return fail_with(x, kErrorGenFailure);
    }
    cells_[address] &= x.buffer[4]; // programming only clears bits
    return 1;
}

int Flash::read_request_locked(vbus::Exchange& x) {
    if (!fits(x, flash::kReadByte))
        return fail_with(x, kErrorInvalidFunction);
    const std::uint32_t address = protocol::get_le32(x.buffer);
    if (address >= kSize)
        return fail_with(x, kErrorInvalidParameter);
    ++counts_.reads;
    std::memset(x.buffer + 4, 0, 4);
    x.buffer[4] = read_locked(address);
    x.bytes_returned = flash::kReadByte.size;
    return 1;
}

std::uint8_t Flash::read_locked(std::uint32_t address) const {
    std::uint8_t v = cells_[address];
    if (!stuck_.empty()) {
        if (auto it = stuck_.find(address); it != stuck_.end())
            v = static_cast<std::uint8_t>((v & ~it->second.first) | it->second.second);
    }
    return v;
}

void Flash::set_write_time_ns(std::uint64_t ns) {
    std::lock_guard lock(mutex_);
    write_ns_ = ns;
}

std::uint64_t Flash::write_time_ns() const {
    std::lock_guard lock(mutex_);
    return write_ns_;
}

void Flash::fail_writes(unsigned count, std::optional<std::uint32_t> address) {
    std::lock_guard lock(mutex_);
    failing_writes_ = count;
    failing_address_ = address;
}

void Flash::set_stuck_bit(std::uint32_t address, unsigned bit, bool level) {
    std::lock_guard lock(mutex_);
    const auto mask = static_cast<std::uint8_t>(1u << (bit & 7));
    auto& [stuck_mask, levels] = stuck_[address];
    stuck_mask |= mask;
    levels = static_cast<std::uint8_t>(level ? levels | mask : levels & ~mask);
}

void Flash::fail(Request request, bool on) {
    std::lock_guard lock(mutex_);
    failing_[static_cast<int>(request)] = on;
}

void Flash::clear_faults() {
    std::lock_guard lock(mutex_);
    failing_writes_ = 0;
    failing_address_.reset();
    stuck_.clear();
    std::fill(std::begin(failing_), std::end(failing_), false);
}

std::vector<std::uint8_t> Flash::contents(std::uint32_t address, std::uint32_t length) const {
    std::lock_guard lock(mutex_);
    std::vector<std::uint8_t> out;
    for (std::uint64_t a = address; a < std::uint64_t{address} + length && a < kSize; ++a)
        out.push_back(read_locked(static_cast<std::uint32_t>(a)));
    return out;
}

Flash::Counts Flash::counts() const {
    std::lock_guard lock(mutex_);
    return counts_;
}

} // namespace mfb::sim
