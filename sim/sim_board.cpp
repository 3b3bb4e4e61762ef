#include "sim/sim_board.h"

#include "protocol/interrupt_record.h"

#include "sim/board_identity.h"
#include "sim/modules.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <span>

namespace mfb::sim {
namespace {

constexpr std::uint32_t kErrorInvalidFunction = 1;

namespace board = protocol::board;
namespace counter = protocol::counter;

namespace record = protocol::interrupt_record;

// The requests of each module family, and where they name the module position they address.
struct FamilyRequests {
    Function family;
    std::span<const protocol::Request> requests;
    std::size_t position_byte;
};
constexpr FamilyRequests kFamilies[] = {
    {Function::Counter, protocol::counter::kRequests, protocol::kPositionByte},
    {Function::Timer, protocol::timer::kRequests, protocol::kPositionByte},
    {Function::TtlIo, protocol::ttl::kRequests, protocol::kPositionByte},
    {Function::Ssi, protocol::ssi::kRequests, protocol::kPositionByte},
    {Function::Pwm, protocol::pwm::kRequests, protocol::kPositionByte},
    {Function::Etm, protocol::etm::kRequests, protocol::etm::kPositionByte},
    {Function::Frequency, protocol::frequency::kRequests, protocol::kPositionByte},
    {Function::PulseEncoder, protocol::pulse_encoder::kRequests, protocol::kPositionByte},
};

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

bool fits(const vbus::Exchange& x, const protocol::Request& r) {
    return (!r.sends() || x.in_size >= r.size) && (!r.answers() || x.out_size >= r.size);
}

bool Module::exchange(ModuleExchange& m) {
    const protocol::Request& r = m.request;
    advance(m.now_ns, m.position, m.interrupts);
    if (!fits(m.x, r))
        return false;
    const std::uint32_t status = answer(r.code, m.x.buffer, m.now_ns);
    if (r.status == protocol::StatusAt::None && status != kAccepted)
        return false;
    protocol::put_status_word(r, m.x.buffer, status);
    m.x.bytes_returned = r.answers() ? r.size : 0;
    advance(m.now_ns, m.position, m.interrupts);
    return true;
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
    for (std::uint8_t i = 0; i < protocol::kModulePositions; ++i)
        modules_[i] = make_module(functions[i]);
}

SimBoard::~SimBoard() {
    stop_ticker();
}

void SimBoard::set_function(std::uint8_t position, Function f) {
    if (!protocol::is_module(position))
        return;
    std::lock_guard lock(mutex_);
    modules_[position] = make_module(f);
}

Function SimBoard::function(std::uint8_t position) const {
    std::lock_guard lock(mutex_);
    if (!protocol::is_module(position) || !modules_[position])
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
    for (std::uint8_t i = 0; i < protocol::kModulePositions; ++i)
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
    case board::kInformation.code: {
        constexpr protocol::Request r = board::kInformation;
        if (!fits(x, r))
            return refuse(x);
        std::memset(x.buffer, 0, r.size);
        for (std::size_t i = 0; i < 5; ++i)
            protocol::put_le32(x.buffer + board::kInformationWords + 4 * i, identity_.words[i]);
        x.buffer[board::kInformationByte] = identity_.information_byte;
        // The text keeps a terminating zero within the record.
        const std::size_t n =
            std::min<std::size_t>(identity_.identifier.size(), r.size - board::kIdentifier - 1);
        std::memcpy(x.buffer + board::kIdentifier, identity_.identifier.data(), n);
        x.bytes_returned = r.size;
        return 1;
    }
    case board::kHandleNotice.code:
        if (!fits(x, board::kHandleNotice))
            return refuse(x);
        notified_handle_ = protocol::get_le32(x.buffer);
        x.bytes_returned = 0;
        return 1;
    case board::kInterruptEvent.code:
        if (!fits(x, board::kInterruptEvent))
            return refuse(x);
        // The board keeps the event object, as a driver references it: after the library closed
        // its handle the board signals an event that nobody waits for, never whatever object
        // Windows gave the value to next.
        interrupt_event_ = protocol::get_le32(x.buffer);
        interrupt_signal_ = vbus::reference_event(interrupt_event_);
        x.bytes_returned = 0;
        if (!queue_.empty())
            interrupt_signal_.signal();
        return 1;
    case board::kInterruptRecord.code: {
        if (!fits(x, board::kInterruptRecord))
            return refuse(x);
        std::uint8_t* b = x.buffer;
        std::memset(b, 0, record::kSize);
        if (queue_.empty()) {
            b[record::kEndOfQueue] = 1;
        } else {
            const InterruptRecord r = queue_.front();
            queue_.pop_front();
            protocol::put_le32(b + record::kWord1, r.word1);
            protocol::put_le32(b + record::kWord2, r.word2);
            for (std::size_t i = 0; i < record::kValueSlots; ++i)
                protocol::put_le32(b + record::kValues + 4 * i, r.values[i]);
            protocol::put_le32(b + record::kValueCount, r.value_count);
            b[record::kRecordByte] = r.record_byte;
        }
        x.bytes_returned = record::kSize;
        return 1;
    }
    case counter::kAutoTest.code:
    case counter::kClearAll.code: {
        // Board-wide counter requests: every counter position takes part. The self-test answers,
        // in byte 0, one bit per module position whose counter passed its test; the clear-all
        // sends each counter the clear.
        const bool test = x.code == counter::kAutoTest.code;
        const protocol::Request& asked = test ? counter::kAutoTest : counter::kClear;
        if (!fits(x, test ? counter::kAutoTest : counter::kClearAll))
            return refuse(x);
        std::uint8_t passed = 0;
        for (std::uint8_t i = 0; i < protocol::kModulePositions; ++i) {
            if (!modules_[i] || modules_[i]->function() != Function::Counter)
                continue;
            std::uint8_t frame[8] = {i};
            vbus::Exchange sub;
            sub.code = asked.code;
            sub.buffer = frame;
            sub.in_size = sub.out_size = asked.size;
            sub.in_null = sub.out_null = false;
            ModuleExchange m{sub, asked, i, vbus::now_ns(), *this};
            if (modules_[i]->exchange(m) && protocol::status_word(asked, frame) == 0)
                passed = static_cast<std::uint8_t>(passed | (1u << i));
        }
        std::memset(x.buffer, 0, 8);
        if (test)
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
    for (const FamilyRequests& family : kFamilies) {
        const protocol::Request* r = protocol::find(family.requests, x.code);
        if (!r)
            continue;
        // A request that sends nothing names no position: the board answers it as a whole (the
        // counters' self-test and clear-all).
        if (!r->sends())
            return board_exchange(x);
        if (x.in_size < family.position_byte + 1)
            return refuse(x);
        const std::uint8_t position = x.buffer[family.position_byte];
        if (!protocol::is_module(position) || !modules_[position] ||
            modules_[position]->function() != family.family)
            return refuse(x);
        ModuleExchange m{x, *r, position, vbus::now_ns(), *this};
        return modules_[position]->exchange(m) ? 1 : refuse(x);
    }
    return board_exchange(x);
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
