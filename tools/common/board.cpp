#include "board.h"

#include "options.h"
#include "status.h"

#include "mfb_vbus.h"

#include <fmt/format.h>

#include <stdexcept>

namespace mfbctl {
namespace {

// What the simulated modules mean by the driver statuses they refuse with (sim/counter_module.h,
// sim/pwm_module.h, sim/etm_module.h, sim/frequency_module.h, sim/pulse_encoder_module.h).
std::string simulated_refusal(Function f, long s) {
    struct Refusal {
        Function f;
        long status;
        const char* meaning;
    };
    static const Refusal kRefusals[] = {
        {Function::Etm, 1, "the simulated ETM is not set up: run init first"},
        {Function::Etm, 2, "the simulated ETM is enabled: disable it first"},
        {Function::Etm, 3,
         "the simulated ETM found a value out of range (ETM number, time base, setting)"},
        {Function::Frequency, -1,
         "the simulated module found a value out of range (clock, gate count, enable setting)"},
        {Function::Frequency, -2,
         "the request does not fit the simulated module's state (enable before init or while "
         "enabled, init while enabled)"},
        {Function::PulseEncoder, 2,
         "the simulated encoder found a value out of range (encoder number, setting, period 0)"},
        {Function::PulseEncoder, 3, "the simulated encoder is not set up: run init first"},
        {Function::PulseEncoder, 4, "the simulated encoder is running: disable it first"},
    };
    for (const Refusal& r : kRefusals)
        if (r.f == f && r.status == s)
            return r.meaning;
    if (f == Function::Counter) {
        switch (s) {
        case -1:
            return "the simulated counter found a value out of range";
        case -2:
            return "the request does not fit the simulated counter's state (compare logic in the "
                   "16-bit range, something enabled that was never set up, the channel driven "
                   "by the compare logic, a write beyond the modulo)";
        case -3:
            return "the simulated counter's self-test failed";
        }
    } else if (f == Function::Pwm) {
        switch (s) {
        case 1:
            return "the simulated PWM is not set up: run init first";
        case 2:
            return "the simulated PWM is running: disable it first";
        case 3:
            return "the output is not in manual setting";
        case 4:
            return "the simulated PWM found a value out of range";
        }
    }
    return "";
}

} // namespace

unsigned board_count() {
    std::uint8_t count = 0;
    check("i_MFB_GetNumberOfBoards", i_MFB_GetNumberOfBoards(&count));
    return count;
}

void require_board(unsigned index) {
    const unsigned count = board_count();
    if (index >= count)
        throw std::runtime_error(fmt::format("no board at index {}: {} board{} found", index, count,
                                             count == 1 ? "" : "s"));
}

OpenBoard::OpenBoard(unsigned index) : index_(index) {
    require_board(index);
    check("i_MFB_OpenBoardViaIndex",
          i_MFB_OpenBoardViaIndex(static_cast<std::uint8_t>(index), &handle_));
}

OpenBoard::~OpenBoard() {
    if (handle_ != 0)
        i_MFB_CloseBoard(handle_);
}

std::shared_ptr<mfb::sim::SimBoard> simulated_board(unsigned index) {
    if (index >= mfb::vbus::board_count())
        return nullptr;
    return std::dynamic_pointer_cast<mfb::sim::SimBoard>(mfb::vbus::board(index));
}

std::optional<Function> module_function(unsigned board, unsigned position) {
    if (position > 3 || board >= board_count())
        return std::nullopt;
    MFB_BoardHandle h = 0;
    if (i_MFB_OpenBoardViaIndex(u8(board), &h) != 0)
        return std::nullopt;
    std::uint32_t word = 0;
    const int status = i_MFB_GetModuleConfiguration(h, u8(position), &word);
    i_MFB_CloseBoard(h);
    if (status != 0)
        return std::nullopt;
    // Bits 7-0 of the configuration word name the function, in the numbering of
    // sim/board_identity.h; a number the tool does not know leaves the function unknown.
    const auto f = static_cast<Function>(word & 0xFF);
    if (std::string_view(mfb::sim::name(f)) == "?")
        return std::nullopt;
    return f;
}

std::string function_name(Function f) {
    return mfb::sim::name(f);
}

std::string function_words(Function f) {
    switch (f) {
    case Function::None:
        return "empty";
    case Function::Counter:
        return "a counter";
    case Function::Timer:
        return "a timer";
    case Function::TtlIo:
        return "a TTL I/O module";
    case Function::Ssi:
        return "an SSI module";
    case Function::Pwm:
        return "a PWM module";
    case Function::Etm:
        return "an ETM module";
    case Function::Frequency:
        return "a frequency measurement module";
    case Function::PulseEncoder:
        return "a pulse encoder module";
    }
    return fmt::format("a {} module", function_name(f));
}

std::uint8_t resolve_module(unsigned board, const std::optional<unsigned>& module, Function f) {
    if (module)
        return u8(*module);
    std::string positions;
    for (unsigned p = 0; p < 4; ++p) {
        const auto at = module_function(board, p);
        if (at == f)
            return u8(p);
        if (at)
            positions +=
                fmt::format("{}{} {}", positions.empty() ? "" : ", ", p, function_name(*at));
    }
    if (positions.empty())
        throw UsageError(
            fmt::format("board {}: which module is {}? name it with -m", board, function_words(f)));
    std::string elsewhere;
    for (unsigned b = 0; b < kMaxBoards && elsewhere.empty(); ++b)
        for (unsigned p = 0; p < 4 && b != board && elsewhere.empty(); ++p)
            if (module_function(b, p) == f)
                elsewhere = fmt::format("; board {} has one at module {} (-b {})", b, p, b);
    throw std::runtime_error(fmt::format("board {} has no {} module (modules {}){}", board,
                                         function_name(f), positions, elsewhere));
}

ModuleAccess::ModuleAccess(unsigned board, const std::optional<unsigned>& module, Function f)
    : board_(board), module_(f == Function::None ? 0 : resolve_module(board, module, f)),
      function_(f) {}

std::string ModuleAccess::where() const {
    if (function_ == Function::None)
        return fmt::format("board {}", board());
    return fmt::format("board {} module {}", board(), module_);
}

void ModuleAccess::check(const char* function, int status) const {
    if (status == 0)
        return;
    if (function_ == Function::None)
        throw CallFailed(function, status);
    const auto at = module_function(board(), module_);
    if (at && *at != function_)
        throw CallFailed(function, status,
                         fmt::format("{} is {}, not {}", where(), function_words(*at),
                                     function_words(function_)));
    if (const auto s = driver_status(function, status); s && at)
        if (std::string why = simulated_refusal(*at, *s); !why.empty())
            throw CallFailed(function, status, why);
    throw CallFailed(function, status);
}

void not_simulated(const ModuleAccess& m) {
    throw std::runtime_error(
        fmt::format("{} is not {} of a simulated board", m.where(), function_words(m.function())));
}

} // namespace mfbctl
