// The test panel: a web page that mfbctl serves, showing every board and module live and driving
// them (`mfbctl panel`).
//
// What the page shows comes from three places:
//   - the live data (live.h): the boards' description, and every value read again at most 20 times
//     a second in one pass for all pages, with the interrupt records that arrived since the last
//     pass, sent to every open page as one event of a server-sent event stream;
//   - the commands it runs: every change a page makes is an mfbctl command line of a session
//     (`counter -b 0 clear`), run by the tool as `mfbctl shell` runs a line, so that each check,
//     refusal and explanation is the command line's own, word for word; what it prints is sent to
//     the pages while it runs (a flash's progress) and answered when it ends;
//   - the page's files, compiled into the tool (assets.h), the charting library's among them:
//     nothing is fetched while the page runs.
//
// Every request needs the panel's token: a page gets it once in the address that the tool prints
// and then carries it in a cookie; a request that changes something is a POST carrying the token
// in the X-MFB-Token header, which another site's page cannot send (the cookie, which a browser
// sends with any site's form, does not do for it). A request without the token, or with a wrong
// one, is answered 403 on its head, before its body is read or anything else is looked at.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace mfbctl::panel {

// The clock that times the panel's reads: the steady clock in the tool, the bus's virtual clock
// in a test, which then decides when each pass is due.
class Clock {
  public:
    virtual ~Clock() = default;
    virtual std::uint64_t now_ns() = 0;
    // Returns once now_ns() has reached `t`, or soon after interrupt().
    virtual void wait_until(std::uint64_t t) = 0;
    virtual void interrupt() = 0;
};
std::shared_ptr<Clock> steady_clock();

// Runs one command line of a session (the words after `mfbctl`), printing what it prints on the
// standard output and error; returns the exit status. The panel calls it with no read running.
using Runner = std::function<int(const std::vector<std::string>& words)>;

struct Options {
    std::string bind = "127.0.0.1";
    std::uint16_t port = 0; // 0: a free port the system chooses
    std::shared_ptr<Clock> clock = steady_clock();
    Runner run;
    // The words a page may start a command line with; the rest are refused.
    std::vector<std::string> commands = {
        "list", "info", "modules",       "counter", "timer",  "ttl",      "ssi",       "pwm",
        "etm",  "freq", "pulse-encoder", "dio",     "eeprom", "firmware", "set-module"};
};

inline constexpr double kMaxReadsPerSecond = 20;

class Panel {
  public:
    explicit Panel(Options options);
    ~Panel();
    Panel(const Panel&) = delete;
    Panel& operator=(const Panel&) = delete;

    // Opens the boards, installs their interrupt routines and listens; throws where it cannot.
    void start();
    // Stops listening, ends every stream and gives the boards back.
    void stop();

    std::uint16_t port() const;
    const std::string& token() const;
    // The address to open: http://ADDRESS:PORT/?token=TOKEN
    std::string url() const;
    // The event streams open now.
    std::size_t streams() const;

    struct Impl; // the server's own (server.cpp)

  private:
    std::unique_ptr<Impl> impl_;
};

// Whether an address to listen on is one of this machine's loopback addresses.
bool is_loopback(const std::string& address);

} // namespace mfbctl::panel
