#include "sim/sim_board.h"
#include "sim/le_bytes.h"

#include "sim/board_identity.h"
#include "sim/modules.h"

#include <chrono>
#include <cstdio>
#include <cstring>

namespace mfb::sim {
namespace {

constexpr std::uint32_t kErrorInvalidFunction = 1;

constexpr std::uint32_t kBoardInformation = 0x90002098;
constexpr std::uint32_t kHandleNotice = 0x9001C014;
constexpr std::uint32_t kInterruptEvent = 0x90002004;
constexpr std::uint32_t kInterruptRecord = 0x90002008;
constexpr std::uint32_t kCounterAutoTest = 0x90002010;
constexpr std::uint32_t kCounterClearAll = 0x90002018;

struct CodeRange {
    std::uint32_t first, last;
    Function family;
};
// The ControlCodes of each module family; a request of a family goes to the module position in
// its byte 0 (the ETM's: see position_byte).
constexpr CodeRange kFamilies[] = {
    {0x9000200C, 0x9000206C, Function::Counter}, {0x90002088, 0x90002088, Function::Counter},
    {0x90004004, 0x90004008, Function::Counter}, {0x9000450C, 0x90004514, Function::Counter},
    {0x9000209C, 0x900020AC, Function::TtlIo},   {0x900020B0, 0x900020CC, Function::Timer},
    {0x90002184, 0x90002184, Function::Timer},   {0x900020EC, 0x90002118, Function::Ssi},
    {0x90002158, 0x90002180, Function::Pwm},     {0x9000608C, 0x90006098, Function::Frequency},
    {0x90002140, 0x90002154, Function::Etm},     {0x90005400, 0x90005414, Function::PulseEncoder},
};

// Where a family's request names its module position: byte 0, but the ETM's requests start with
// their status field.
std::size_t position_byte(Function family) {
    return family == Function::Etm ? 2 : 0;
}

Function family_of(std::uint32_t code) {
    for (const CodeRange& r : kFamilies)
        if (code >= r.first && code <= r.last)
            return r.family;
    return Function::None;
}

int refuse(vbus::Exchange& x) {
    x.error = kErrorInvalidFunction;
    return 0;
}

} // namespace

const char* name(Function f) {
    switch (f) {
    case Function::None:
        return "none";
    case Function::Counter:
        return "counter";
    case Function::Timer:
        return "timer";
    case Function::TtlIo:
        return "ttl";
    case Function::Ssi:
        return "ssi";
    case Function::Pwm:
        return "pwm";
    case Function::Etm:
        return "etm";
    case Function::Frequency:
        return "frequency";
    case Function::PulseEncoder:
        return "pulse-encoder";
    }
    return "?";
}

std::unique_ptr<Module> make_module(Function f) {
    switch (f) {
    case Function::None:
        return nullptr;
    case Function::Counter:
        return make_counter_module();
    case Function::Timer:
        return make_timer_module();
    case Function::TtlIo:
        return make_ttl_module();
    case Function::Ssi:
        return make_ssi_module();
    case Function::Pwm:
        return make_pwm_module();
    case Function::Etm:
        return make_etm_module();
    case Function::Frequency:
        return make_frequency_module();
    case Function::PulseEncoder:
        return make_pulse_encoder_module();
    }
    return nullptr;
}

SimBoard::SimBoard(Identity identity, std::array<Function, 4> functions)
    : identity_(std::move(identity)) {
    for (std::uint8_t i = 0; i < 4; ++i)
        modules_[i] = make_module(functions[i]);
}

SimBoard::~SimBoard() {
    stop_ticker();
}

void SimBoard::set_function(std::uint8_t position, Function f) {
    if (position >= 4)
        return;
    std::lock_guard lock(mutex_);
    modules_[position] = make_module(f);
}

Function SimBoard::function(std::uint8_t position) const {
    std::lock_guard lock(mutex_);
    if (position >= 4 || !modules_[position])
        return Function::None;
    return modules_[position]->function();
}

void SimBoard::set_identifier(std::string identifier) {
    std::lock_guard lock(mutex_);
    identity_.identifier = std::move(identifier);
}

std::uint32_t SimBoard::notified_handle() const {
    std::lock_guard lock(mutex_);
    return notified_handle_;
}

std::uint32_t SimBoard::interrupt_event() const {
    std::lock_guard lock(mutex_);
    return interrupt_event_;
}

std::size_t SimBoard::pending_interrupts() const {
    std::lock_guard lock(mutex_);
    return queue_.size();
}

void SimBoard::raise(const InterruptRecord& record) {
    queue_.push_back(record);
    // The event tells the library that records are waiting; it is set again for every record so
    // that one raised while the library drains is not lost.
    interrupt_signal_.signal();
}

void SimBoard::raise_interrupt(const InterruptRecord& record) {
    std::lock_guard lock(mutex_);
    raise(record);
}

void SimBoard::advance_locked() {
    const std::uint64_t now = vbus::now_ns();
    for (std::uint8_t i = 0; i < 4; ++i)
        if (modules_[i])
            modules_[i]->advance(now, i, *this);
}

void SimBoard::tick() {
    std::lock_guard lock(mutex_);
    advance_locked();
}

void SimBoard::start_ticker(std::uint32_t period_ms) {
    if (ticking_.exchange(true))
        return;
    ticker_ = std::thread([this, period_ms] {
        while (ticking_.load()) {
            tick();
            std::this_thread::sleep_for(std::chrono::milliseconds(period_ms));
        }
    });
}

void SimBoard::stop_ticker() {
    if (!ticking_.exchange(false))
        return;
    if (ticker_.joinable())
        ticker_.join();
}

int SimBoard::board_exchange(vbus::Exchange& x) {
    switch (x.code) {
    case kBoardInformation: {
        if (x.out_size < 84)
            return refuse(x);
        std::memset(x.buffer, 0, 84);
        for (int i = 0; i < 5; ++i)
            put_le_u32(x.buffer, 4 * static_cast<std::size_t>(i), identity_.words[i]);
        x.buffer[28] = identity_.information_byte;
        std::size_t n = std::min<std::size_t>(identity_.identifier.size(), 51);
        std::memcpy(x.buffer + 32, identity_.identifier.data(), n);
        x.bytes_returned = 84;
        return 1;
    }
    case kHandleNotice:
        if (x.in_size < 4)
            return refuse(x);
        notified_handle_ = le_u32(x.buffer, 0);
        x.bytes_returned = 0;
        return 1;
    case kInterruptEvent:
        if (x.in_size < 4)
            return refuse(x);
        // The board keeps the event object, as a driver references it: after the library closed
        // its handle the board signals an event that nobody waits for, never whatever object
        // Windows gave the value to next.
        interrupt_event_ = le_u32(x.buffer, 0);
        interrupt_signal_ = vbus::reference_event(interrupt_event_);
        x.bytes_returned = 0;
        if (!queue_.empty())
            interrupt_signal_.signal();
        return 1;
    case kInterruptRecord: {
        if (x.out_size < 80)
            return refuse(x);
        std::memset(x.buffer, 0, 80);
        if (queue_.empty()) {
            x.buffer[77] = 1; // end of queue
        } else {
            const InterruptRecord r = queue_.front();
            queue_.pop_front();
            put_le_u32(x.buffer, 0, r.word1);
            put_le_u32(x.buffer, 4, r.word2);
            for (std::size_t i = 0; i < 16; ++i)
                put_le_u32(x.buffer, 8 + 4 * i, r.values[i]);
            put_le_u32(x.buffer, 72, r.value_count);
            x.buffer[76] = r.record_byte;
        }
        x.bytes_returned = 80;
        return 1;
    }
    case kCounterAutoTest:
    case kCounterClearAll: {
        // Board-wide counter requests: every counter position takes part. The self-test answers,
        // in byte 0, one bit per module position whose counter passed its test.
        if (x.out_size < 8)
            return refuse(x);
        std::uint8_t passed = 0;
        for (std::uint8_t i = 0; i < 4; ++i) {
            if (!modules_[i] || modules_[i]->function() != Function::Counter)
                continue;
            std::uint8_t frame[8] = {i};
            vbus::Exchange sub;
            sub.code = x.code == kCounterClearAll ? 0x90002014 : x.code;
            sub.buffer = frame;
            sub.in_size = 8;
            sub.out_size = 8;
            sub.in_null = sub.out_null = false;
            ModuleExchange m{sub, i, vbus::now_ns(), *this};
            if (modules_[i]->exchange(m) && frame[4] == 0 && frame[5] == 0 && frame[6] == 0 &&
                frame[7] == 0)
                passed = static_cast<std::uint8_t>(passed | (1u << i));
        }
        std::memset(x.buffer, 0, 8);
        if (x.code == kCounterAutoTest)
            x.buffer[0] = passed;
        x.bytes_returned = 8;
        return 1;
    }
    default:
        if (is_identity_code(x.code))
            return identity_exchange(x, modules_) ? 1 : refuse(x);
        if (BoardIo::answers(x.code))
            return io_.exchange(x) ? 1 : refuse(x);
        if (Flash::handles(x.code))
            return flash_.exchange(x);
        return refuse(x);
    }
}

int SimBoard::exchange(vbus::Exchange& x) {
    std::lock_guard lock(mutex_);
    advance_locked();
    const Function family = family_of(x.code);
    // The board-wide counter requests lie among the counter codes but carry no module position.
    if (family == Function::None || x.code == kCounterAutoTest || x.code == kCounterClearAll)
        return board_exchange(x);
    const std::size_t at = position_byte(family);
    if (x.in_size < at + 1)
        return refuse(x);
    const std::uint8_t position = x.buffer[at];
    if (position >= 4 || !modules_[position] || modules_[position]->function() != family)
        return refuse(x);
    ModuleExchange m{x, position, vbus::now_ns(), *this};
    return modules_[position]->exchange(m) ? 1 : refuse(x);
}

std::shared_ptr<SimBoard> make_board(std::size_t index) {
    SimBoard::Identity id;
    char text[32];
    std::snprintf(text, sizeof text, "MFB-SIM-%zu", index);
    id.identifier = text;
    id.words[0] = 0x00010000u + static_cast<std::uint32_t>(index);
    id.words[1] = 0x0203;
    id.words[2] = 1;
    id.words[3] = 8 + static_cast<std::uint32_t>(index);
    id.words[4] = 11;
    id.information_byte = 4;
    std::array<Function, 4> functions;
    switch (index) {
    case 0:
        functions = {Function::Counter, Function::Timer, Function::TtlIo, Function::Ssi};
        break;
    case 1:
        functions = {Function::Pwm, Function::Counter, Function::Timer, Function::TtlIo};
        break;
    default:
        functions = {Function::Counter, Function::Timer, Function::TtlIo, Function::Pwm};
        break;
    }
    return std::make_shared<SimBoard>(std::move(id), functions);
}

std::size_t attach_boards(std::size_t count) {
    std::size_t first = vbus::board_count();
    for (std::size_t i = 0; i < count; ++i)
        vbus::attach(make_board(first + i));
    return first;
}

} // namespace mfb::sim
