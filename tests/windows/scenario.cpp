#include "scenario.h"

#include <cstdio>
#include <map>

namespace wintest {

std::string show(const Bytes& bytes) {
    std::string out = "{";
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "%s%02X", i ? " " : "", bytes[i]);
        out += hex;
    }
    return out + "}";
}

std::string show(const std::string& text) {
    return '"' + text + '"';
}

std::string show(const std::vector<std::uint32_t>& words) {
    std::string out = "{";
    for (std::size_t i = 0; i < words.size(); ++i)
        out += (i ? ", " : "") + std::to_string(words[i]);
    return out + "}";
}

bool Scenario::check(bool ok, const std::string& what, const char* file, int line) {
    if (!ok) {
        std::string where = file;
        if (auto slash = where.find_last_of("/\\"); slash != std::string::npos)
            where.erase(0, slash + 1);
        const std::string at = context.empty() ? "" : " [" + context + "]";
        failures_.push_back(where + ":" + std::to_string(line) + at + ": " + what);
    }
    return ok;
}

OpenBoard::OpenBoard(Scenario& s, std::uint8_t index) : s_(s), board_(bench::board(index)) {
    REQUIRE(s, board_ != nullptr);
    REQUIRE(s, MFB(i_MFB_OpenBoardViaIndex)(index, &handle_) == 0);
    board_->clear();
}

OpenBoard::~OpenBoard() {
    try {
        CHECK_EQ(s_, MFB(i_MFB_CloseBoard)(handle_), 0);
    } catch (const Stop&) {
        // the missing export is noted already
    }
}

bool check_request(Scenario& s, const Exchange& x, std::uint32_t code, const Bytes& request,
                   std::uint32_t out_size, const char* file, int line) {
    bool ok = s.check_eq(x.code, code, "code", "expected code", file, line);
    ok &= s.check_eq(x.request, request, "request", "expected request", file, line);
    ok &= s.check_eq(x.in_null, request.empty(), "no input buffer", "empty request", file, line);
    ok &= s.check_eq(x.in_size, request.size(), "input size", "request size", file, line);
    ok &= s.check_eq(x.out_null, out_size == 0, "no output buffer", "no answer", file, line);
    ok &= s.check_eq(x.out_size, out_size, "output size", "expected output size", file, line);
    return ok;
}

Bytes slice(const Bytes& bytes, std::size_t from, std::size_t n) {
    if (from >= bytes.size())
        return {};
    return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                 bytes.begin() + static_cast<std::ptrdiff_t>(std::min(bytes.size(), from + n)));
}

Bytes le32(std::uint32_t value) {
    return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
            static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
}

mfb::sim::InterruptRecord numbered_record(std::uint32_t n) {
    mfb::sim::InterruptRecord r;
    r.word1 = n;
    r.word2 = 0x10000 * n + 0xBEEF;
    for (std::uint32_t k = 0; k < 16; ++k)
        r.values[k] = 100 * n + k;
    r.value_count = n % 17;
    r.record_byte = static_cast<std::uint8_t>(n & 3);
    return r;
}

bool wait_until(const std::function<bool()>& condition, unsigned timeout_ms) {
    const ULONGLONG end = GetTickCount64() + timeout_ms;
    while (!condition()) {
        if (GetTickCount64() >= end)
            return condition();
        Sleep(1);
    }
    return true;
}

} // namespace wintest
