#include "board/board_table.h"

#include <algorithm>
#include <iterator>

namespace mfb {

BoardTable& boards() {
    static BoardTable table;
    return table;
}

void clear_board_table() {
    BoardTable& t = boards();
    t.count.store(0);
    for (BoardSlot& s : t.slots) {
        s.handle.store(0);
        s.open_count = 0;
        s.device.store(nullptr);
        s.interrupt.store(0);
        s.labview_event.store(0);
        s.digital_output_memory = 0;
        std::fill(std::begin(s.port_configured), std::end(s.port_configured), 0);
        std::fill(std::begin(s.port_output), std::end(s.port_output), 0);
        std::fill(std::begin(s.port_first_setting), std::end(s.port_first_setting), 0);
        std::fill(std::begin(s.port_second_setting), std::end(s.port_second_setting), 0);
    }
}

namespace {

BoardSlot* find_below(std::uint32_t handle, std::size_t n) {
    if (handle == 0)
        return nullptr;
    BoardTable& t = boards();
    for (std::size_t i = 0; i < n; ++i)
        if (t.slots[i].handle.load() == handle)
            return &t.slots[i];
    return nullptr;
}

} // namespace

BoardSlot* find_slot(std::uint32_t handle) {
    return find_below(handle, std::min<std::size_t>(boards().count.load(), kSlotCount));
}

BoardSlot* find_open_slot(std::uint32_t handle) {
    return find_below(handle, kSlotCount);
}

} // namespace mfb
