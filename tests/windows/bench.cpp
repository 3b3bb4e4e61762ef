#include "bench.h"

#include <algorithm>

namespace wintest {

int RecordingBoard::exchange(mfb::vbus::Exchange& x) {
    Exchange e{.code = x.code,
               .request = Bytes(x.buffer, x.buffer + x.in_size),
               .in_size = x.in_size,
               .out_size = x.out_size,
               .in_null = x.in_null,
               .out_null = x.out_null};
    const int result = sim_->exchange(x);
    e.result = result;
    if (result != 0) {
        const std::size_t room = std::max<std::size_t>({x.in_size, x.out_size, 1});
        e.answer.assign(x.buffer, x.buffer + std::min<std::size_t>(x.bytes_returned, room));
    }
    std::lock_guard lock(mutex_);
    exchanges_.push_back(std::move(e));
    return result;
}

std::vector<Exchange> RecordingBoard::exchanges() const {
    std::lock_guard lock(mutex_);
    return exchanges_;
}

void RecordingBoard::clear() {
    std::lock_guard lock(mutex_);
    exchanges_.clear();
}

namespace bench {

void reset(std::size_t count) {
    mfb::sim::windows::detach_all();
    for (std::size_t i = 0; i < count; ++i)
        mfb::sim::windows::attach(std::make_shared<RecordingBoard>(mfb::sim::make_board(i)));
}

std::shared_ptr<RecordingBoard> board(std::size_t index) {
    return std::dynamic_pointer_cast<RecordingBoard>(mfb::sim::windows::board(index));
}

} // namespace bench
} // namespace wintest
