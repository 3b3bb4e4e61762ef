#include "sim/labview_runtime.h"

#include "mfb.h"

#include <array>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <utility>

namespace mfb::sim::labview {
namespace {

// Offsets in the cluster: the array handle follows the three U32 packed in a 32-bit LabVIEW and
// at pointer alignment in a 64-bit one.
constexpr std::size_t kRecordByte = 0;
constexpr std::size_t kWord1 = 4;
constexpr std::size_t kWord2 = 8;
constexpr std::size_t kArrayHandle = sizeof(void*) == 4 ? 12 : 16;
// Offsets in the array block.
constexpr std::size_t kElementCount = 0;
constexpr std::size_t kElements = 4;

struct Runtime {
    std::mutex mutex;
    std::condition_variable posted;
    std::array<std::string, kMaxModules> names;
    std::size_t named = 0; // names[0] to names[named - 1] are in use
    std::vector<Event> events;
    std::function<void(const Event&)> listener;
};

Runtime& runtime() {
    static Runtime* r = new Runtime; // never destroyed: interrupt threads may outlive statics
    return *r;
}

// What a LabVIEW application exports as its version mark; only its address matters.
std::uint32_t g_mark = 0;

template <class T> T read(const unsigned char* at) {
    T value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

Event decode(const void* data) {
    const auto* cluster = static_cast<const unsigned char*>(data);
    Event e;
    e.record_byte = read<std::uint32_t>(cluster + kRecordByte);
    e.word1 = read<std::uint32_t>(cluster + kWord1);
    e.word2 = read<std::uint32_t>(cluster + kWord2);
    const auto* handle = read<const unsigned char* const*>(cluster + kArrayHandle);
    const unsigned char* block = handle ? *handle : nullptr;
    if (!block)
        return e;
    e.count = read<std::int32_t>(block + kElementCount);
    for (std::int32_t i = 0; i < e.count; ++i)
        e.values.push_back(
            read<std::uint32_t>(block + kElements + 4 * static_cast<std::size_t>(i)));
    return e;
}

void record(std::size_t entry, std::uint32_t refnum, const void* data) {
    Event e = decode(data);
    e.refnum = refnum;
    auto& r = runtime();
    std::function<void(const Event&)> listener;
    {
        std::lock_guard lock(r.mutex);
        e.module = r.names[entry];
        r.events.push_back(e);
        listener = r.listener;
    }
    r.posted.notify_all();
    if (listener)
        listener(e);
}

template <std::size_t N>
std::int32_t MFB_CDECL post_lv_user_event(std::uint32_t refnum, void* data) {
    record(N, refnum, data);
    return 0;
}

template <std::size_t... N>
constexpr std::array<void*, kMaxModules> make_entries(std::index_sequence<N...>) {
    return {reinterpret_cast<void*>(&post_lv_user_event<N>)...};
}

const std::array<void*, kMaxModules>& entries() {
    static const auto table = make_entries(std::make_index_sequence<kMaxModules>());
    return table;
}

// The entry of a module name: registered on its first use.
std::size_t entry_index(const std::string& module) {
    auto& r = runtime();
    std::lock_guard lock(r.mutex);
    std::size_t n = 0;
    while (n < r.named && r.names[n] != module)
        ++n;
    if (n == r.named) {
        if (r.named == kMaxModules)
            throw std::length_error("the LabVIEW runtime stand-in has all its entries in use");
        r.names[r.named++] = module;
    }
    return n;
}

} // namespace

void* entry(const std::string& module) {
    return entries()[entry_index(module)];
}

std::int32_t post(const std::string& module, std::uint32_t refnum, void* data) {
    record(entry_index(module), refnum, data);
    return 0;
}

void* mark() {
    return &g_mark;
}

std::vector<Event> events() {
    auto& r = runtime();
    std::lock_guard lock(r.mutex);
    return r.events;
}

bool wait_events(std::size_t n, std::chrono::milliseconds timeout) {
    auto& r = runtime();
    std::unique_lock lock(r.mutex);
    return r.posted.wait_for(lock, timeout, [&] { return r.events.size() >= n; });
}

void on_event(std::function<void(const Event&)> listener) {
    auto& r = runtime();
    std::lock_guard lock(r.mutex);
    r.listener = std::move(listener);
}

void reset() {
    auto& r = runtime();
    std::lock_guard lock(r.mutex);
    r.names = {};
    r.named = 0;
    r.events.clear();
    r.listener = nullptr;
}

std::string describe(const Event& event) {
    char head[128];
    std::snprintf(head, sizeof head,
                  "refnum 0x%08x  record byte 0x%02x  word 1 0x%08x  word 2 0x%08x  values[%d]",
                  static_cast<unsigned>(event.refnum), static_cast<unsigned>(event.record_byte),
                  static_cast<unsigned>(event.word1), static_cast<unsigned>(event.word2),
                  static_cast<int>(event.count));
    std::string line = head;
    for (std::uint32_t v : event.values) {
        char value[16];
        std::snprintf(value, sizeof value, " %u", static_cast<unsigned>(v));
        line += value;
    }
    return line;
}

} // namespace mfb::sim::labview
