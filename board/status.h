// The status styles that the exports share. Each family file reads like its table: the checks in
// order with their codes, the buffer of the request, one exchange, the answer fields. The requests
// themselves, and where their answers carry a driver status word, are protocol/requests.h's; how
// that word becomes the function's status is each family's style, here.
//
// Argument-check style (timer, TTL I/O, SSI, board access, ...): a handle that no slot holds gives
// -1, each failing check its own code, a failed exchange the family's code for that step; no
// driver status is read.
//
//     Buffer<protocol::timer::kEnable> f;
//     f.u8<0>(module).u8<1>(timer).u8<2>(flag);
//     return Checked(handle)
//         .check_module(module, -2)
//         .check(timer > 2, -3)
//         .check(flag > 1, -4)
//         .exchange(f, -5);
//
// PWM style: the argument-check style, then a nonzero driver status word s in the last four bytes
// of the answer becomes -(s + 100); only the BOOL value 1 counts as a successful exchange.
//
// Counter style: -1 for a handle that no slot holds or a failed exchange; the out values are
// copied whenever the exchange succeeded; then the driver status word s gives 0 when s is 0 and
// the low 16 bits of s - 1 otherwise.
//
// Negated-status style: -1 handle, -100 failed exchange, otherwise the driver status negated.
//
// ETM style: no handle lookup, so a handle that is no open board shows as a failed exchange,
// -100; a driver status other than 0 in the first two bytes of the answer is the function's
// status as it stands, and then nothing is copied.
#pragma once

#include "board/board_table.h"
#include "board/driver_channel.h"

#include <cstdint>

namespace mfb {

using protocol::StatusAt;

struct NoCopy {
    void operator()() const {}
};

// Statuses are signed 16-bit; driver status words are unsigned 32-bit and are only ever narrowed
// through these, so no arithmetic on them can overflow.
inline std::int16_t low16(std::uint32_t v) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(v));
}

// Counter style: driver status s to the function's status, s - 1 in 16 bits, so that the driver's
// codes follow the library's -1 (s = -1 gives -2); s = 1 reads as 0. Any other s whose s - 1 has
// zero low 16 bits (0x10001, 0x20001, ...) would read as success; such a refusal is reported as
// kCounterRefusedAsZero instead.
constexpr std::int16_t kCounterRefusedAsZero = -32768;
inline std::int16_t counter_status(std::uint32_t s) {
    if (s == 0 || s == 1)
        return 0;
    const std::int16_t mapped = low16(s - 1u);
    return mapped == 0 ? kCounterRefusedAsZero : mapped;
}

// PWM style: -(s + 100) in 16 bits for a refusal s != 0. Where that value is 0 (the low 16 bits
// of s + 100 are 0, e.g. s = 0xFFFFFF9C) a refusal would read as success, so it is reported as
// kPwmRefusedAsZero instead.
constexpr std::int16_t kPwmRefusedAsZero = -32768;
inline std::int16_t pwm_status(std::uint32_t s) {
    if (s == 0)
        return 0;
    std::uint16_t sum = static_cast<std::uint16_t>(s + 100u);
    std::uint16_t negated = static_cast<std::uint16_t>(0u - sum);
    return negated == 0 ? kPwmRefusedAsZero : static_cast<std::int16_t>(negated);
}

// Negated-status style: the signed 16-bit driver status negated, in 16 bits.
inline std::int16_t negated_status(std::uint16_t s) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(0u - s));
}

class Checked {
  public:
    explicit Checked(std::uint32_t handle, std::int16_t not_found = -1)
        : handle_(handle), slot_(find_slot(handle)) {
        if (!slot_)
            status_ = not_found;
    }

    // The first failing check decides the status; later ones are not looked at.
    Checked& check(bool failed, std::int16_t code) {
        if (status_ == 0 && failed)
            status_ = code;
        return *this;
    }
    // The module number of the families that check it: positions 0 to 3.
    Checked& check_module(std::uint8_t module, std::int16_t code) {
        return check(!protocol::is_module(module), code);
    }

    bool ok() const { return status_ == 0; }
    std::int16_t status() const { return status_; }
    BoardSlot* slot() const { return slot_; }
    std::uint32_t handle() const { return handle_; }

    // One exchange when every check passed; `copy` writes the out values on success.
    template <protocol::Request R, class Copy = NoCopy>
    std::int16_t exchange(Buffer<R>& f, std::int16_t io_failed, Copy copy = {}) {
        static_assert(R.status == StatusAt::None, "the answer's status word would go unread");
        if (status_ != 0)
            return status_;
        if (!io_control(handle_, f))
            return io_failed;
        copy();
        return 0;
    }

    // PWM style: the buffer is both request and answer, the exchange succeeds only on BOOL 1, and
    // the driver status word in the last four bytes must be 0 before anything is copied.
    template <protocol::Request R, class Copy = NoCopy>
    std::int16_t pwm_exchange(Buffer<R>& f, std::int16_t io_failed, Copy copy = {}) {
        static_assert(R.io == Io::Same && R.status == StatusAt::Last32);
        if (status_ != 0)
            return status_;
        if (io_control(handle_, f) != 1)
            return io_failed;
        if (std::int16_t s = pwm_status(f.status_word()); s != 0)
            return s;
        copy();
        return 0;
    }

  private:
    std::uint32_t handle_;
    BoardSlot* slot_;
    std::int16_t status_ = 0;
};

// Whether a counter function needs the board's interrupt routine installed first.
enum class Needs { Nothing, Interrupts };

// Counter style, the one exchange of every counter function (and of the frequency measurement).
template <protocol::Request R, class Copy = NoCopy>
std::int16_t counter_exchange(std::uint32_t handle, Needs needs, Buffer<R>& f, Copy copy = {}) {
    static_assert(R.status == StatusAt::Last32);
    BoardSlot* slot = find_slot(handle);
    if (!slot)
        return -1;
    if (needs == Needs::Interrupts && !slot->routine_installed())
        return -15;
    if (!io_control(handle, f))
        return -1;
    copy(); // before the status: the out values are written whatever the driver reports
    return counter_status(f.status_word());
}

// Negated-status style, with the 16-bit driver status at the start of the last four bytes.
template <protocol::Request R, class Copy = NoCopy>
std::int16_t negated_exchange(std::uint32_t handle, Buffer<R>& f, Copy copy = {}) {
    static_assert(R.io == Io::Same && R.status == StatusAt::Last16);
    if (!find_slot(handle))
        return -1;
    if (!io_control(handle, f))
        return -100;
    copy();
    return negated_status(static_cast<std::uint16_t>(f.status_word()));
}

// ETM style: the handle as given, the driver status first in the answer.
constexpr std::int16_t kEtmExchangeFailed = -100;
inline std::int16_t etm_status(std::uint32_t s) {
    return low16(s);
}
template <protocol::Request R, class Copy = NoCopy>
std::int16_t etm_exchange(std::uint32_t handle, Buffer<R>& f, Copy copy = {}) {
    static_assert(R.io == Io::Same && R.status == StatusAt::First16);
    if (!io_control(handle, f))
        return kEtmExchangeFailed;
    if (std::int16_t s = etm_status(f.status_word()); s != 0)
        return s;
    copy();
    return 0;
}

} // namespace mfb
