#include "session.h"

#include "firmware_file.h"

#include "board/board_table.h"
#include "board/driver_channel.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace mfbfuzz {
namespace {

constexpr std::uint16_t kFault = 0xFF00;
constexpr std::uint16_t kInterrupts = 0xFF01;
constexpr std::uint16_t kSwap = 0xFF02;
constexpr std::size_t kMaxCalls = 256;
constexpr std::size_t kMaxBuffer = 4096; // more than any export writes
constexpr std::size_t kRecordSize = mfb::protocol::interrupt_record::kSize;
constexpr std::size_t kEndOfQueue = mfb::protocol::interrupt_record::kEndOfQueue;

const bool g_trace = std::getenv("MFB_FUZZ_TRACE") != nullptr;

// Record reads that the drivers answered and routine calls the library made: a routine call
// without a read of its own is a fault.
std::atomic<std::uint64_t> g_reads_answered{0};
std::atomic<std::uint64_t> g_routine_calls{0};

void touch_values(const std::uint32_t* values) {
    // The sixteen values must be readable during the call; AddressSanitizer checks the reads.
    volatile std::uint32_t sum = 0;
    for (int i = 0; i < 16; ++i)
        sum = sum + values[i];
}

void MFB_CALL counting_routine(std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                               std::uint32_t, std::uint32_t* values) {
    touch_values(values);
    g_routine_calls.fetch_add(1);
}

void MFB_CALL resetting_routine(std::uint32_t handle, std::uint32_t, std::uint32_t, std::uint32_t,
                                std::uint32_t, std::uint32_t* values) {
    touch_values(values);
    g_routine_calls.fetch_add(1);
    i_MFB_ResetBoardIntRoutine(handle);
}

[[noreturn]] void fail(const char* what, unsigned long long a = 0, unsigned long long b = 0) {
    std::fprintf(stderr, "hostile driver: %s (%llu, %llu)\n", what, a, b);
    std::abort();
}

// The LabVIEW runtime's entry, for boards whose interrupts go to a user event: it reads the whole
// event data, so that AddressSanitizer sees a cluster or a value block that is short or stale.
// Without a runtime on the bus the first post would end the process, as it does in an
// application without one.
std::int32_t MFB_CDECL post_lv_user_event(std::uint32_t, void* data) {
    const auto* event = static_cast<const MFB_LVInterruptData*>(data);
    const MFB_LVValueArray* values = *event->h_Values;
    if (values->dimSize < 0 || values->dimSize > 16)
        fail("a LabVIEW event with a value count beyond 16",
             static_cast<unsigned>(values->dimSize));
    touch_values(values->elt);
    return 0;
}

const Export* find_export(std::uint16_t op) {
    for (std::size_t i = 0; i < kExportCount; ++i)
        if (kExports[i].ordinal == op)
            return &kExports[i];
    return &kExports[op % kExportCount];
}

} // namespace

// ---- FuzzDriver ---------------------------------------------------------------------------------

int FuzzDriver::exchange(mfb::vbus::Exchange& x) {
    if (x.code == mfb::protocol::board::kInterruptRecord.code)
        return answer_record(x);
    const int result = session_.answer(x);
    if (x.code == mfb::protocol::board::kInterruptEvent.code && result != 0 && x.in_size >= 4) {
        std::lock_guard lock(mutex_);
        std::memcpy(&event_, x.buffer, 4); // the substitute's handle values are host-endian
    }
    return result;
}

int FuzzDriver::answer_record(mfb::vbus::Exchange& x) {
    const std::size_t room = std::max(x.in_size, x.out_size);
    std::lock_guard lock(mutex_);
    if (records_.empty()) {
        std::memset(x.buffer, 0, room);
        if (room > kEndOfQueue)
            x.buffer[kEndOfQueue] = 1;
        x.bytes_returned = x.out_size;
        Session::read_answered();
        return 1;
    }
    Record r = records_.front();
    records_.pop_front();
    if (r.fails) {
        x.error = 31;
        return 0;
    }
    std::memcpy(x.buffer, r.bytes, std::min(room, kRecordSize));
    x.bytes_returned = r.has_count ? r.count : x.out_size;
    Session::read_answered();
    return 1;
}

void FuzzDriver::raise(std::vector<Record> records) {
    std::uint32_t event = 0;
    {
        std::lock_guard lock(mutex_);
        records_.insert(records_.end(), records.begin(), records.end());
        event = event_;
    }
    if (event != 0)
        mfb::vbus::signal_event(event);
}

// ---- Session ------------------------------------------------------------------------------------

Session::Session(const std::uint8_t* data, std::size_t size) {
    Reader all(data, size);
    const std::size_t boards = all.u8() % 4;
    calls_ = all.take(all.u16());
    answers_ = all;
    mfb::vbus::reset_process();
    mfb::vbus::set_virtual_clock(true); // the library's pauses take no time
    mfb::vbus::add_module("lvrt.dll",
                          {{"PostLVUserEvent", reinterpret_cast<void*>(&post_lv_user_event)}});
    for (std::size_t i = 0; i < boards; ++i) {
        drivers_.push_back(std::make_shared<FuzzDriver>(*this));
        mfb::vbus::attach(drivers_.back());
    }
    g_reads_answered = 0;
    g_routine_calls = 0;
}

void Session::read_answered() {
    g_reads_answered.fetch_add(1);
}

int Session::answer(mfb::vbus::Exchange& x) {
    std::lock_guard lock(answers_mutex_);
    const std::size_t room = std::max(x.in_size, x.out_size);
    x.bytes_returned = x.out_size;
    if (quiet_)
        return 1;
    const std::uint8_t k = answers_.u8();
    int result = 1;
    switch (k & 3) {
    case 0:
        return 1;
    case 1:
        break;
    case 2:
        x.error = answers_.u32();
        return 0;
    case 3:
        result = static_cast<int>(answers_.u32());
        break;
    }
    answers_.bytes(x.buffer, room);
    switch ((k >> 2) & 3) {
    case 0:
        break;
    case 1:
        x.bytes_returned = 0;
        break;
    case 2:
        x.bytes_returned = x.out_size + 1 + answers_.u8();
        break;
    case 3:
        x.bytes_returned = answers_.u32();
        break;
    }
    return result;
}

std::uint32_t Session::handle() {
    switch (calls_.u8() & 3) {
    case 0: {
        const std::uint8_t pick = calls_.u8();
        return handles_.empty() ? 0 : handles_[pick % handles_.size()];
    }
    case 1:
        return 0;
    case 2:
        return calls_.u32();
    default:
        return 0xFFFFFFFF;
    }
}

void Session::draw(std::size_t index, std::uint32_t& v) {
    v = index == 0 ? handle() : calls_.u32();
}

// A text from the input, or the path of one of three sound firmware files (payloads of 0, 1 and
// 3 bytes), so that an update can get as far as the flash.
void Session::draw(std::size_t, const char*& text) {
    static const std::array<std::string, 3> firmware = [] {
        std::array<std::string, 3> paths;
        const std::size_t sizes[] = {0, 1, 3};
        for (std::size_t n = 0; n < 3; ++n) {
            const auto bytes = firmware_file(std::vector<std::uint8_t>(sizes[n], 0x5A), 1);
            paths[n] = scratch_path("firmware" + std::to_string(n));
            write_file(paths[n], bytes.data(), bytes.size());
        }
        return paths;
    }();
    const std::uint8_t kind = calls_.u8();
    if (kind % 4 == 3) {
        text = firmware[kind / 4 % 3].c_str();
        return;
    }
    std::string t(calls_.u8() % 64, '\0');
    calls_.bytes(reinterpret_cast<std::uint8_t*>(t.data()), t.size());
    texts_.push_back(t.c_str()); // up to the first zero, as the library reads it
    text = texts_.back().c_str();
}

void Session::draw(std::size_t, MFB_BoardIntRoutine& routine) {
    static constexpr MFB_BoardIntRoutine routines[] = {nullptr, counting_routine,
                                                       resetting_routine};
    routine = routines[calls_.u8() % 3];
}

std::uint8_t* Session::buffer(std::size_t param, std::size_t bytes) {
    bytes = std::min(bytes, kMaxBuffer);
    auto b = std::make_unique<std::uint8_t[]>(bytes);
    std::memset(b.get(), 0xA5, bytes);
    buffers_.emplace_back(param, std::move(b));
    return buffers_.back().second.get();
}

void Session::opened(std::int16_t status, int param) {
    if (status != 0)
        return;
    for (const auto& [index, b] : buffers_) {
        if (static_cast<int>(index) == param) {
            std::uint32_t h;
            std::memcpy(&h, b.get(), sizeof h);
            if (std::find(handles_.begin(), handles_.end(), h) == handles_.end())
                handles_.push_back(h);
        }
    }
}

void Session::fault() {
    const auto fn =
        static_cast<mfb::vbus::Fn>(calls_.u8() % static_cast<unsigned>(mfb::vbus::Fn::Count));
    const unsigned nth = 1 + calls_.u8() % 8;
    const std::uint32_t error = calls_.u32();
    faults_.push_back({fn, mfb::vbus::calls(fn) + nth});
    mfb::vbus::fail(fn, nth, error);
    if (g_trace)
        std::fprintf(stderr, "fault %s, call %u from now\n", mfb::vbus::name(fn), nth);
}

void Session::interrupts() {
    const std::uint8_t board = calls_.u8();
    std::vector<FuzzDriver::Record> records(calls_.u8() % 32);
    for (auto& r : records) {
        const std::uint8_t kind = calls_.u8();
        calls_.bytes(r.bytes, sizeof r.bytes);
        r.count = calls_.u32();
        r.fails = kind & 1;
        if (!(kind & 2))
            r.bytes[kEndOfQueue] = 0;
        r.has_count = kind & 4;
    }
    if (g_trace)
        std::fprintf(stderr, "interrupts: %zu records at board %u\n", records.size(), board);
    if (!drivers_.empty())
        drivers_[board % drivers_.size()]->raise(std::move(records));
}

void Session::swap() {
    const std::uint8_t board = calls_.u8();
    if (drivers_.empty())
        return;
    const std::size_t i = board % drivers_.size();
    mfb::vbus::detach(i);
    drivers_.erase(drivers_.begin() + static_cast<std::ptrdiff_t>(i));
    drivers_.push_back(std::make_shared<FuzzDriver>(*this));
    mfb::vbus::attach(drivers_.back());
    if (g_trace)
        std::fprintf(stderr, "swap board %zu\n", i);
}

void Session::operation(std::uint16_t op) {
    switch (op) {
    case kFault:
        return fault();
    case kInterrupts:
        return interrupts();
    case kSwap:
        return swap();
    default:
        break;
    }
    const Export* e = find_export(op);
    buffers_.clear();
    const std::int16_t status = e->call(*this, e->shape);
    if (g_trace)
        std::fprintf(stderr, "%s -> %d\n", e->name, status);
}

// The application closes what it opened, as a careful one would: it counts the boards first (a
// failed count leaves none counted, and no handle is found then), and opens a board that it closed
// while its routine stayed installed again by index to reset the routine.
void Session::clean_up() {
    {
        std::lock_guard lock(answers_mutex_);
        quiet_ = true;
    }
    std::uint8_t count = 0;
    if (i_MFB_GetNumberOfBoards(&count) != 0 || count != drivers_.size())
        fail("the boards cannot be counted", count, drivers_.size());
    const std::size_t limit = kMaxCalls + 1; // no handle was opened more often than that
    for (std::uint32_t h : handles_) {
        i_MFB_ResetBoardIntRoutine(h);
        for (std::size_t n = 0; n < limit && i_MFB_CloseBoard(h) == 0; ++n) {
        }
    }
    auto& table = mfb::boards();
    for (std::size_t i = 0; i < mfb::kSlotCount; ++i) {
        const mfb::BoardSlot& slot = table.slots[i];
        if (slot.open_count != 0)
            fail("a slot stays open after the application closed every handle it was given", i,
                 slot.open_count);
        if (!slot.routine_installed())
            continue;
        MFB_BoardHandle h = 0;
        if (i_MFB_OpenBoardViaIndex(static_cast<std::uint8_t>(i), &h) != 0)
            fail("a board with an installed routine cannot be opened again", i);
        if (i_MFB_ResetBoardIntRoutine(h) != 0)
            fail("an installed routine cannot be reset", i);
        if (i_MFB_CloseBoard(h) != 0)
            fail("a board opened for the clean-up cannot be closed", i);
    }
}

// What an injected failure of a release may leave behind, as it would on Windows. Called once
// the faults are cleared, before the clean-up calls.
void Session::allow_fired_faults() {
    for (const Fault& f : faults_) {
        if (mfb::vbus::calls(f.fn) < f.call)
            continue; // never fired
        switch (f.fn) {
        case mfb::vbus::Fn::CloseHandle:
        case mfb::vbus::Fn::SetupDiDestroyDeviceInfoList:
            handles_allowed_ += 1;
            break;
        case mfb::vbus::Fn::HeapFree:
            blocks_allowed_ += 1;
            break;
        case mfb::vbus::Fn::FreeLibrary:
        case mfb::vbus::Fn::FreeLibraryAndExitThread:
            pins_allowed_ += 1;
            break;
        case mfb::vbus::Fn::SetEvent:
            // An interrupt thread that could be told to stop by neither of its events keeps its
            // events, thread handle, record and module pin until an interrupt wakes it, and the
            // board's device handle with the record of its references.
            handles_allowed_ += 4;
            blocks_allowed_ += 2;
            pins_allowed_ += 1;
            break;
        default:
            break;
        }
    }
}

// What the library holds after the clean-up: nothing but what failed releases left, no slot in
// use, and no more routine calls than records read.
void Session::check() {
    const auto& table = mfb::boards();
    for (std::size_t i = 0; i < mfb::kSlotCount; ++i) {
        const mfb::BoardSlot& slot = table.slots[i];
        if (slot.handle.load() != 0 || slot.open_count != 0 || slot.routine_installed())
            fail("a slot is not empty after the clean-up", i);
    }
    // An interrupt thread that a reset did not wait for (the wait is bounded, and on the virtual
    // clock a bounded wait ends at once) releases what it holds as it ends: give it time.
    const auto settled = [&] {
        return mfb::vbus::open_handles() <= handles_allowed_ &&
               mfb::vbus::heap_blocks() <= blocks_allowed_ &&
               mfb::vbus::module_pins() <= pins_allowed_;
    };
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!settled() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (mfb::vbus::open_handles() > handles_allowed_)
        fail("the library holds handles after the clean-up", mfb::vbus::open_handles(),
             handles_allowed_);
    if (mfb::vbus::heap_blocks() > blocks_allowed_)
        fail("the library holds heap blocks after the clean-up", mfb::vbus::heap_blocks(),
             blocks_allowed_);
    if (mfb::vbus::module_pins() > pins_allowed_)
        fail("the library holds pins on its module after the clean-up", mfb::vbus::module_pins(),
             pins_allowed_);
    if (g_routine_calls.load() > g_reads_answered.load())
        fail("more routine calls than record reads", g_routine_calls.load(),
             g_reads_answered.load());
}

void Session::run() {
    for (std::size_t n = 0; n < kMaxCalls && !calls_.empty(); ++n)
        operation(calls_.u16());
    buffers_.clear();
    mfb::vbus::clear_faults(); // before the clean-up, whose calls must not fail
    allow_fired_faults();
    clean_up();
    check();
    mfb::vbus::reset_process(); // ends the interrupt threads before the drivers go
}

} // namespace mfbfuzz
