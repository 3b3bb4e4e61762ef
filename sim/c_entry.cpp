// The C entry to the simulated boards (include/mfb_sim.h): the bench calls of mfbctl and the tests,
// behind plain C functions for programs that load libmfb.so.
#include "mfb_sim.h"

#include "mfb_vbus.h"
#include "sim/counter_module.h"
#include "sim/etm_module.h"
#include "sim/firmware_file.h"
#include "sim/frequency_module.h"
#include "sim/sim_board.h"
#include "sim/ttl_module.h"

#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

using mfb::sim::SimBoard;

constexpr unsigned kMaxBoards = 30;
constexpr unsigned kLastTtlLine = 25;

// The boards this entry attached, to stop their tickers when the bus is reset.
std::mutex attached_mutex;
std::vector<std::shared_ptr<SimBoard>> attached;

std::shared_ptr<SimBoard> sim_board(unsigned index) {
    if (index >= mfb::vbus::board_count())
        return nullptr;
    return std::dynamic_pointer_cast<SimBoard>(mfb::vbus::board(index));
}

// Runs `fn` on the module of type T at a board's position; -1 where there is none.
template <class T, class Fn> int with_module(unsigned board, unsigned module, Fn&& fn) {
    const auto sim = sim_board(board);
    if (!sim || !mfb::protocol::is_module(module))
        return -1;
    return sim->with_module<T>(static_cast<std::uint8_t>(module), fn) ? 0 : -1;
}

int result(bool ok) {
    return ok ? 0 : -1;
}

} // namespace

extern "C" {

int mfb_sim_reset(void) {
    std::vector<std::shared_ptr<SimBoard>> boards;
    {
        std::lock_guard lock(attached_mutex);
        boards.swap(attached);
    }
    for (auto& b : boards)
        b->stop_ticker();
    mfb::vbus::reset_process();
    return 0;
}

int mfb_sim_attach_boards(unsigned count) {
    std::lock_guard lock(attached_mutex);
    const std::size_t first = mfb::vbus::board_count();
    if (count == 0 || first + count > kMaxBoards)
        return -1;
    for (std::size_t i = first; i < first + count; ++i) {
        auto board = mfb::sim::make_board(i);
        mfb::vbus::attach(board);
        board->start_ticker();
        attached.push_back(std::move(board));
    }
    return 0;
}

unsigned mfb_sim_board_count(void) {
    return static_cast<unsigned>(mfb::vbus::board_count());
}

int mfb_sim_set_function(unsigned board, unsigned module, unsigned function) {
    const auto sim = sim_board(board);
    if (!sim || !mfb::protocol::is_module(module) || function > MFB_SIM_PULSE_ENCODER)
        return -1;
    sim->set_function(static_cast<std::uint8_t>(module), static_cast<mfb::sim::Function>(function));
    return 0;
}

int mfb_sim_counter_rate(unsigned board, unsigned module, unsigned input,
                         int64_t edges_per_second) {
    using mfb::sim::CounterModule;
    if (input > 1 || edges_per_second > CounterModule::kMaxRate ||
        edges_per_second < -CounterModule::kMaxRate)
        return -1;
    return with_module<CounterModule>(
        board, module, [&](CounterModule& c) { c.set_rate(input, edges_per_second); });
}

int mfb_sim_counter_pulse(unsigned board, unsigned module, unsigned input, int64_t edges) {
    if (input > 1)
        return -1;
    return with_module<mfb::sim::CounterModule>(
        board, module, [&](mfb::sim::CounterModule& c) { c.pulse(input, edges); });
}

int mfb_sim_counter_index_pulse(unsigned board, unsigned module) {
    return with_module<mfb::sim::CounterModule>(
        board, module, [](mfb::sim::CounterModule& c) { c.index_pulse(); });
}

int mfb_sim_counter_reference(unsigned board, unsigned module, int high) {
    return with_module<mfb::sim::CounterModule>(
        board, module, [&](mfb::sim::CounterModule& c) { c.set_reference(high != 0); });
}

int mfb_sim_ttl_line(unsigned board, unsigned module, unsigned line, int high) {
    if (line > kLastTtlLine)
        return -1;
    return with_module<mfb::sim::TtlModule>(board, module, [&](mfb::sim::TtlModule& t) {
        t.set_input_line(static_cast<std::uint8_t>(line), high != 0);
    });
}

int mfb_sim_ttl_inputs(unsigned board, unsigned module, uint32_t levels) {
    return with_module<mfb::sim::TtlModule>(board, module,
                                            [&](mfb::sim::TtlModule& t) { t.set_inputs(levels); });
}

int mfb_sim_etm_signal(unsigned board, unsigned module, unsigned etm, uint64_t period_ns,
                       uint64_t high_ns) {
    if (etm > 1 || high_ns > period_ns)
        return -1;
    return with_module<mfb::sim::EtmModule>(board, module, [&](mfb::sim::EtmModule& e) {
        e.set_signal(static_cast<std::uint8_t>(etm), period_ns, high_ns);
    });
}

int mfb_sim_frequency_input(unsigned board, unsigned module, uint32_t hz) {
    return with_module<mfb::sim::FrequencyModule>(
        board, module, [&](mfb::sim::FrequencyModule& f) { f.set_input_frequency(hz); });
}

int mfb_sim_port_inputs(unsigned board, unsigned port, uint8_t levels) {
    const auto sim = sim_board(board);
    if (!sim || port > 3)
        return -1;
    sim->with_io(
        [&](mfb::sim::BoardIo& io) { io.drive_inputs(static_cast<std::uint8_t>(port), levels); });
    return 0;
}

int mfb_sim_fail(const char* call, unsigned nth) {
    if (!call || nth == 0)
        return -1;
    using mfb::vbus::Fn;
    for (unsigned i = 0; i < static_cast<unsigned>(Fn::Count); ++i)
        if (std::string_view(call) == mfb::vbus::name(static_cast<Fn>(i))) {
            mfb::vbus::fail(static_cast<Fn>(i), nth);
            return 0;
        }
    return -1;
}

int mfb_sim_write_firmware_file(const char* path, const uint8_t* payload, uint32_t length) {
    if (!path || (!payload && length) || length > mfb::sim::kFirmwarePayloadLimit)
        return -1;
    mfb::sim::FirmwareImage image;
    if (length)
        image.payload.assign(payload, payload + length);
    return result(mfb::sim::write_firmware_file(path, image));
}

int mfb_sim_flash_fail_writes(unsigned board, unsigned count, int64_t address) {
    const auto sim = sim_board(board);
    if (!sim || count == 0 || address < -1 || address >= mfb::sim::Flash::kSize)
        return -1;
    sim->flash().fail_writes(
        count, address < 0 ? std::nullopt : std::optional(static_cast<std::uint32_t>(address)));
    return 0;
}

int mfb_sim_flash_stuck_bit(unsigned board, uint32_t address, unsigned bit, int high) {
    const auto sim = sim_board(board);
    if (!sim || bit > 7 || address >= mfb::sim::Flash::kSize)
        return -1;
    sim->flash().set_stuck_bit(address, bit, high != 0);
    return 0;
}

int mfb_sim_flash_clear_faults(unsigned board) {
    const auto sim = sim_board(board);
    if (!sim)
        return -1;
    sim->flash().clear_faults();
    return 0;
}

int32_t mfb_sim_firmware_payload(const char* path) {
    if (!path)
        return -1;
    const auto report = mfb::sim::inspect_firmware_file(std::string(path));
    return report.accepted ? static_cast<int32_t>(report.payload_length) : -1;
}

int32_t mfb_sim_flash_contents(unsigned board, uint32_t address, uint8_t* bytes, uint32_t length) {
    const auto sim = sim_board(board);
    if (!sim || (!bytes && length))
        return -1;
    const auto contents = sim->flash().contents(address, length);
    if (!contents.empty())
        std::memcpy(bytes, contents.data(), contents.size());
    return static_cast<int32_t>(contents.size());
}

} // extern "C"
