// What a scenario of the Windows test program has at hand: the exports of the loaded MFB.dll,
// checks that note a failure and go on (CHECK, CHECK_EQ) or end the scenario (REQUIRE), and
// helpers for boards, exchanges and waiting.
//
// A scenario is one function `void name(Scenario& s)`, declared in scenarios.h and listed in the
// table of main.cpp. The runner gives each one two fresh simulated boards (bench::reset(2)) and
// fails it also when it leaves a board file or a device set open.
#pragma once

#include "bench.h"
#include "mfb.h"

#include <cstdint>
#include <functional>
#include <sstream>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace wintest {

// Thrown to end a scenario early; the failure that ended it is already noted.
struct Stop {};

// The loaded MFB.dll, and one of its exports by name (a missing one ends the scenario).
HMODULE library();
void (*export_named(const char* name))();

// Calls an export of MFB.dll by its declaration in mfb.h: MFB(i_MFB_CloseBoard)(handle).
#define MFB(name) (reinterpret_cast<decltype(&::name)>(::wintest::export_named(#name)))

std::string show(const Bytes& bytes);
std::string show(const std::string& text);
std::string show(const std::vector<std::uint32_t>& words);
template <class T> std::string show(const T& value) {
    std::ostringstream out;
    if constexpr (std::is_integral_v<T>)
        out << +value << " (0x" << std::hex << +value << ")";
    else if constexpr (std::is_pointer_v<T>)
        out << static_cast<const void*>(value);
    else
        out << value;
    return out.str();
}

template <class A, class B> bool same(const A& a, const B& b) {
    if constexpr (std::is_integral_v<A> && std::is_integral_v<B> && !std::is_same_v<A, bool> &&
                  !std::is_same_v<B, bool>)
        return std::cmp_equal(a, b);
    else
        return a == b;
}

class Scenario {
  public:
    // Notes a failure unless ok; returns ok.
    bool check(bool ok, const std::string& what, const char* file, int line);
    template <class A, class B>
    bool check_eq(const A& a, const B& b, const char* a_text, const char* b_text, const char* file,
                  int line) {
        if (same(a, b))
            return true;
        return check(false,
                     std::string(a_text) + " == " + b_text + ": " + show(a) + " against " + show(b),
                     file, line);
    }
    const std::vector<std::string>& failures() const { return failures_; }

    // What a table-driven scenario is at (a row's name): each failure noted meanwhile names it.
    std::string context;

  private:
    std::vector<std::string> failures_;
};

#define CHECK(s, condition) (s).check(static_cast<bool>(condition), #condition, __FILE__, __LINE__)
#define CHECK_EQ(s, a, b) (s).check_eq((a), (b), #a, #b, __FILE__, __LINE__)
#define REQUIRE(s, condition)                                                                      \
    do {                                                                                           \
        if (!CHECK(s, condition))                                                                  \
            throw ::wintest::Stop{};                                                               \
    } while (0)

// A board opened by index through the DLL for the length of a scope, and closed at its end
// (status 0 expected). The scenario ends when the open fails.
class OpenBoard {
  public:
    OpenBoard(Scenario& s, std::uint8_t index);
    ~OpenBoard();
    OpenBoard(const OpenBoard&) = delete;
    OpenBoard& operator=(const OpenBoard&) = delete;

    MFB_BoardHandle handle() const { return handle_; }
    // The board's exchanges since the open (the handle notice excluded).
    std::vector<Exchange> exchanges() const { return board_->exchanges(); }
    mfb::sim::SimBoard& sim() { return board_->sim(); }

  private:
    Scenario& s_;
    std::shared_ptr<RecordingBoard> board_;
    MFB_BoardHandle handle_ = 0;
};

// One exchange as the library must have made it: its code, the request bytes as sent, an input
// buffer exactly when there is a request, and an output buffer of out_size bytes (none for 0).
bool check_request(Scenario& s, const Exchange& x, std::uint32_t code, const Bytes& request,
                   std::uint32_t out_size, const char* file, int line);
#define CHECK_REQUEST(s, x, code, request, out_size)                                               \
    ::wintest::check_request((s), (x), (code), (request), (out_size), __FILE__, __LINE__)

// Bytes [from, from + n) of an answer (fewer when it is shorter).
Bytes slice(const Bytes& bytes, std::size_t from, std::size_t n);
Bytes le32(std::uint32_t value);

// The CloseHandle calls on handles other than board files that MFB.dll passed on to Windows since
// this was made: how many, and how many Windows refused (a handle closed twice is refused the
// second time, unless Windows gave its value out again meanwhile).
struct Closes {
    unsigned passed_on = bench::closes_passed_on();
    unsigned refused = bench::closes_refused();
    unsigned more() const { return bench::closes_passed_on() - passed_on; }
    unsigned more_refused() const { return bench::closes_refused() - refused; }
};

// Interrupt record n of a scenario: every field distinct from the other records'.
mfb::sim::InterruptRecord numbered_record(std::uint32_t n);

// Polls until the condition holds or the time is up; returns the condition's last value.
bool wait_until(const std::function<bool()>& condition, unsigned timeout_ms = 5000);

} // namespace wintest
