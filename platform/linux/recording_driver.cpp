// The recording, scriptable driver of include/mfb_vbus.h: a board for tests that keeps every
// exchange the library sends and answers each as a test scripted it.
#include "mfb_vbus.h"

namespace mfb::vbus {

void RecordingDriver::script(Answer a) {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(a));
}
void RecordingDriver::script_for(std::uint32_t code, Answer a) {
    std::lock_guard lock(mutex_);
    by_code_[code].push_back(std::move(a));
}
void RecordingDriver::set_default(Answer a) {
    std::lock_guard lock(mutex_);
    default_ = std::move(a);
}
std::vector<RecordingDriver::Record> RecordingDriver::records() const {
    std::lock_guard lock(mutex_);
    return records_;
}
std::optional<RecordingDriver::Record> RecordingDriver::last() const {
    std::lock_guard lock(mutex_);
    if (records_.empty())
        return std::nullopt;
    return records_.back();
}
void RecordingDriver::clear() {
    std::lock_guard lock(mutex_);
    records_.clear();
    queue_.clear();
    by_code_.clear();
    default_.reset();
}

int RecordingDriver::exchange(Exchange& x) {
    std::optional<Answer> answer;
    {
        std::lock_guard lock(mutex_);
        Record r;
        r.code = x.code;
        r.request.assign(x.buffer, x.buffer + x.in_size);
        r.in_size = x.in_size;
        r.out_size = x.out_size;
        r.in_null = x.in_null;
        r.out_null = x.out_null;
        records_.push_back(std::move(r));
        if (auto it = by_code_.find(x.code); it != by_code_.end() && !it->second.empty()) {
            answer = std::move(it->second.front());
            it->second.pop_front();
        } else if (!queue_.empty()) {
            answer = std::move(queue_.front());
            queue_.pop_front();
        } else {
            answer = default_;
        }
    }
    if (!answer) {
        x.bytes_returned = x.out_size;
        return 1;
    }
    if (answer->result == 0) {
        x.error = answer->error;
        return 0;
    }
    // An answer without bytes leaves the request in place (and has no data to copy from).
    std::size_t room = std::max(x.in_size, x.out_size);
    if (!answer->bytes.empty())
        std::memcpy(x.buffer, answer->bytes.data(), std::min(room, answer->bytes.size()));
    x.bytes_returned = answer->count.value_or(x.out_size);
    return answer->result;
}

} // namespace mfb::vbus
