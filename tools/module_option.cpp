#include "module_option.h"

#include "mfb_vbus.h"

namespace mfbctl {

CLI::Option* add_module_option(CLI::App* cmd, std::optional<unsigned>& module) {
    return cmd
        ->add_option("-m,--module", module,
                     "module position 0 to 3 (default: the board's first of this function)")
        ->check(CLI::Range(0u, 255u));
}

std::uint8_t module_or_first(unsigned board, const std::optional<unsigned>& module,
                             mfb::sim::Function f) {
    if (module)
        return u8(*module);
    if (board < mfb::vbus::board_count())
        if (auto sim = std::dynamic_pointer_cast<mfb::sim::SimBoard>(mfb::vbus::board(board)))
            for (std::uint8_t p = 0; p < 4; ++p)
                if (sim->function(p) == f)
                    return p;
    throw std::runtime_error(
        fmt::format("board {} has no {} module known; name one with -m", board, mfb::sim::name(f)));
}

} // namespace mfbctl
