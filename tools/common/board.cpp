#include "board.h"

#include "explain.h"
#include "options.h"
#include "status.h"

#include "mfb_vbus.h"

#include <fmt/format.h>

#include <stdexcept>

namespace mfbctl {
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
    if (!explain::function(word & 0xFF))
        return std::nullopt;
    return static_cast<Function>(word & 0xFF);
}

std::string function_name(Function f) {
    const explain::FunctionInfo* info = explain::function(static_cast<unsigned>(f));
    return info ? info->name : fmt::format("function {}", static_cast<unsigned>(f));
}

std::string function_words(Function f) {
    const explain::FunctionInfo* info = explain::function(static_cast<unsigned>(f));
    return info ? info->words : fmt::format("a module of function {}", static_cast<unsigned>(f));
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
    if (elsewhere.empty() && simulated_board(board))
        elsewhere = fmt::format("; fit one into the simulated board for this run with "
                                "`--sim-layout {}:3={}` (or with set-module in `mfbctl shell`)",
                                board, function_name(f));
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

// What to do about a refusal, in the tool's commands.
namespace {

std::string hint(std::string_view function, int status) {
    struct Hint {
        const char* function;
        int status;
        const char* text;
    };
    static const Hint kHints[] = {
        {"i_MFB_EnableCompareLogic", -15,
         "compare events raise interrupts, which need a routine: `watch --drive RATE` sets one up "
         "and turns the simulated encoder, or run `watch-start` first in `mfbctl shell`"},
        {"", -15,
         "the interrupts need a routine: run `watch-start` first in `mfbctl shell`, or use "
         "`watch`"},
        {"i_MFB_ReadDigitalInputs", -3,
         "configure the port first, in the same command (`dio --port N configure read`) or "
         "earlier in `mfbctl shell`"},
        {"i_MFB_SetDigitalOutputsOn", -3,
         "configure the port first (`dio --port N configure on "
         "MASK`)"},
        {"i_MFB_SetDigitalOutputsOff", -3,
         "configure the port first (`dio --port N configure memory on off MASK`)"},
    };
    for (const Hint& h : kHints)
        if (h.status == status && (!*h.function || function == h.function))
            return h.text;
    return "";
}

} // namespace

void ModuleAccess::check(const char* function, int status) const {
    if (status == 0)
        return;
    const auto at = function_ == Function::None ? std::optional<Function>(Function::None)
                                                : module_function(board(), module_);
    if (at && *at != function_)
        throw CallFailed(function, status,
                         explain::wrong_function(where(), static_cast<unsigned>(*at),
                                                 static_cast<unsigned>(function_)));
    if (at && simulated_board(board()))
        if (std::string why = explain::refusal(static_cast<unsigned>(*at), function, status,
                                               driver_status(function, status));
            !why.empty())
            throw CallFailed(function, status, why);
    throw CallFailed(function, status, hint(function, status));
}

void not_simulated(const ModuleAccess& m) {
    throw std::runtime_error(
        fmt::format("{} is not {} of a simulated board", m.where(), function_words(m.function())));
}

} // namespace mfbctl
