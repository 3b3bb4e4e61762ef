// The test panel's server in this process, on a free loopback port, over boards that record every
// exchange they answer and a clock that only the test moves: what a request without the panel's
// token reaches, what a change needs, and how often open pages make the boards read.
#include "panel/panel.h"

#include "mfb_vbus.h"
#include "sim/sim_board.h"

#include <gtest/gtest.h>

#include <utility> // Boost 1.74's Asio uses std::exchange without it

#include <boost/asio.hpp>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <cstdlib>
#include <optional>
#include <thread>

namespace {

namespace net = boost::asio;
using tcp = net::ip::tcp;
using mfbctl::panel::Panel;

// A simulated board that counts the exchanges it answers, by control code and request bytes: one
// count for each value a pass reads.
class Recorded : public mfb::vbus::Driver {
  public:
    explicit Recorded(std::size_t index) : board_(mfb::sim::make_board(index)) {}
    int exchange(mfb::vbus::Exchange& x) override {
        {
            std::lock_guard lock(mutex_);
            ++counts_[{x.code, std::vector<std::uint8_t>(x.buffer, x.buffer + x.in_size)}];
        }
        return board_->exchange(x);
    }
    std::map<std::pair<std::uint32_t, std::vector<std::uint8_t>>, unsigned> counts() const {
        std::lock_guard lock(mutex_);
        return counts_;
    }
    void clear() {
        std::lock_guard lock(mutex_);
        counts_.clear();
    }

  private:
    std::shared_ptr<mfb::sim::SimBoard> board_;
    mutable std::mutex mutex_;
    std::map<std::pair<std::uint32_t, std::vector<std::uint8_t>>, unsigned> counts_;
};

// The bus's virtual clock as the panel's clock. step() moves it on and returns once the panel's
// passes have caught up: its reader is waiting for a time still to come.
class VirtualClock : public mfbctl::panel::Clock {
  public:
    std::uint64_t now_ns() override { return mfb::vbus::now_ns(); }
    void wait_until(std::uint64_t t) override {
        std::unique_lock lock(mutex_);
        waiting_ = t;
        changed_.notify_all();
        changed_.wait(lock, [&] { return mfb::vbus::now_ns() >= t || interrupted_; });
        waiting_.reset();
    }
    void interrupt() override {
        std::lock_guard lock(mutex_);
        interrupted_ = true;
        changed_.notify_all();
    }
    void step(std::uint64_t ns) {
        std::unique_lock lock(mutex_);
        mfb::vbus::advance(ns);
        changed_.notify_all();
        ASSERT_TRUE(changed_.wait_for(lock, std::chrono::seconds(10), [&] {
            return waiting_ && *waiting_ > mfb::vbus::now_ns();
        })) << "the panel's reader did not catch up";
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<std::uint64_t> waiting_;
    bool interrupted_ = false;
};

struct Reply {
    int status = 0;
    std::string text; // head and body
};

class PanelServer : public ::testing::Test {
  protected:
    void SetUp() override {
        mfb::vbus::reset_process();
        mfb::vbus::set_virtual_clock(true);
        for (std::size_t i = 0; i < 2; ++i) {
            boards_.push_back(std::make_shared<Recorded>(i));
            mfb::vbus::attach(boards_.back());
        }
        mfbctl::panel::Options o;
        o.clock = clock_;
        o.run = [this](const std::vector<std::string>& words) {
            runs_.push_back(words);
            return 0;
        };
        panel_.emplace(o);
        panel_->start();
        for (auto& b : boards_)
            b->clear(); // what opening the boards and installing their routines exchanged
    }
    void TearDown() override {
        panel_.reset();
        mfb::vbus::reset_process();
    }

    unsigned exchanges() const {
        unsigned n = 0;
        for (const auto& b : boards_)
            for (const auto& [request, count] : b->counts())
                n += count;
        return n;
    }
    std::string cookie() const {
        return "Cookie: mfb_panel_" + std::to_string(panel_->port()) + "=" + panel_->token();
    }

    tcp::socket connect() {
        tcp::socket s(io_);
        s.connect({net::ip::make_address("127.0.0.1"), panel_->port()});
        return s;
    }
    // One request, the connection closed after the answer.
    Reply request(const std::string& method, const std::string& target,
                  const std::string& headers = "", const std::string& body = "") {
        tcp::socket s = connect();
        net::write(
            s, net::buffer(method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" +
                           "Connection: close\r\nContent-Length: " + std::to_string(body.size()) +
                           "\r\n" + headers + (headers.empty() ? "" : "\r\n") + "\r\n" + body));
        Reply r;
        boost::system::error_code ec;
        char buffer[4096];
        for (std::size_t n; (n = s.read_some(net::buffer(buffer), ec)) > 0 || !ec;)
            r.text.append(buffer, n);
        r.status = std::atoi(r.text.substr(9, 3).c_str());
        return r;
    }

    net::io_context io_;
    std::vector<std::shared_ptr<Recorded>> boards_;
    std::shared_ptr<VirtualClock> clock_ = std::make_shared<VirtualClock>();
    std::vector<std::vector<std::string>> runs_;
    std::optional<Panel> panel_;
};

// Without the token, or with a wrong one, or with the right one where it does not count, every
// request is refused before it reaches anything: no command runs, no stream opens, and however
// long the clock then runs, no exchange reaches a board.
TEST_F(PanelServer, EveryRequestWithoutItsTokenIsRefused) {
    const std::string wrong = std::string(panel_->token().size(), 'a');
    const std::string port = std::to_string(panel_->port());
    const std::vector<std::pair<std::string, std::string>> targets = {
        {"GET", "/"},           {"GET", "/panel.js"},           {"GET", "/uPlot.js"},
        {"GET", "/api/boards"}, {"GET", "/api/stream"},         {"GET", "/nowhere"},
        {"POST", "/api/run"},   {"POST", "/api/upload?slot=0"}, {"PUT", "/api/run"},
        {"HEAD", "/"}};
    const std::vector<std::pair<const char*, std::string>> credentials = {
        {"none", ""},
        {"wrong cookie", "Cookie: mfb_panel_" + port + "=" + wrong},
        {"right cookie of another port", "Cookie: mfb_panel_1=" + panel_->token()},
        {"wrong header", "X-MFB-Token: " + wrong},
        {"cut token", "Cookie: mfb_panel_" + port + "=" + panel_->token().substr(1)},
        {"wrong query", "?token=" + wrong},
    };
    for (const auto& [method, target] : targets)
        for (const auto& [name, credential] : credentials) {
            const bool query = credential.rfind("?", 0) == 0;
            const Reply r = request(method, query ? target + credential : target,
                                    query ? "" : credential, "counter\nclear\n");
            EXPECT_EQ(r.status, 403) << method << " " << target << " with " << name << ":\n"
                                     << r.text;
        }
    clock_->step(200'000'000);
    EXPECT_EQ(panel_->streams(), 0u);
    EXPECT_TRUE(runs_.empty());
    EXPECT_EQ(exchanges(), 0u);
}

// A change is a POST carrying the token in its header: the cookie a browser sends by itself for
// another site's form does not do, nor does a GET.
TEST_F(PanelServer, AChangeNeedsThePostAndTheTokenInItsHeader) {
    const std::string words = "counter\n-b\n0\nclear";
    EXPECT_EQ(request("POST", "/api/run?id=a", cookie(), words).status, 403);
    EXPECT_EQ(request("GET", "/api/run?id=a", cookie()).status, 405);
    EXPECT_EQ(request("POST", "/api/upload?slot=1", cookie(), "data").status, 403);
    EXPECT_TRUE(runs_.empty());

    const Reply ran = request("POST", "/api/run?id=a", "X-MFB-Token: " + panel_->token(), words);
    EXPECT_EQ(ran.status, 200) << ran.text;
    EXPECT_NE(ran.text.find(R"({"id":"a","exit":0,)"), std::string::npos) << ran.text;
    ASSERT_EQ(runs_.size(), 1u);
    EXPECT_EQ(runs_[0], (std::vector<std::string>{"counter", "-b", "0", "clear"}));
    // A command the page has no business with is refused without running.
    EXPECT_NE(request("POST", "/api/run?id=b", "X-MFB-Token: " + panel_->token(), "shell")
                  .text.find("is not a command the panel runs"),
              std::string::npos);
    EXPECT_EQ(runs_.size(), 1u);

    // The first visit brings the token in the address and leaves with it in the cookie; the page
    // then carries it for its changes.
    const Reply first = request("GET", "/?token=" + panel_->token());
    EXPECT_EQ(first.status, 303);
    EXPECT_NE(first.text.find("Set-Cookie: mfb_panel_" + std::to_string(panel_->port()) + "=" +
                              panel_->token() + "; Path=/; HttpOnly; SameSite=Strict"),
              std::string::npos);
    EXPECT_NE(request("GET", "/", cookie()).text.find(panel_->token()), std::string::npos);
}

// Three pages open over N seconds of the clock: every value is read once a pass, each pass a
// twentieth of a second after the one before, however many pages there are; each page gets
// every pass.
TEST_F(PanelServer, ThreeStreamsReadEachValueAtMostTwentyTimesASecond) {
    constexpr unsigned kSeconds = 2;
    // A step returns once the reader waits for a time still to come: it has looked at the clock
    // and, with no page open, made no pass. The first pass then comes in a step, to all three.
    clock_->step(1'000'000);
    std::vector<tcp::socket> streams;
    for (int i = 0; i < 3; ++i) {
        streams.push_back(connect());
        net::write(streams.back(), net::buffer("GET /api/stream HTTP/1.1\r\nHost: 127.0.0.1\r\n" +
                                               cookie() + "\r\n\r\n"));
    }
    for (int i = 0; i < 1000 && panel_->streams() < 3; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(panel_->streams(), 3u);
    while (exchanges() == 0) // the first pass
        clock_->step(1'000'000);
    for (auto& b : boards_)
        b->clear();

    for (unsigned ms = 0; ms < kSeconds * 1000; ++ms)
        clock_->step(1'000'000);

    const unsigned per_value = static_cast<unsigned>(kSeconds * mfbctl::panel::kMaxReadsPerSecond);
    unsigned values = 0;
    for (const auto& b : boards_)
        for (const auto& [request, count] : b->counts()) {
            EXPECT_EQ(count, per_value) << "control code " << std::hex << request.first;
            ++values;
        }
    EXPECT_GT(values, 10u); // counters, timers, TTL lines, SSI, PWM, the ports, on both boards
    for (auto& s : streams) {
        std::string got;
        char buffer[65536];
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        auto frames = [&] {
            std::size_t n = 0;
            for (auto at = got.find("event: frame"); at != std::string::npos;
                 at = got.find("event: frame", at + 1))
                ++n;
            return n;
        };
        while (frames() < per_value + 1 && std::chrono::steady_clock::now() < until) {
            if (s.available() == 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                continue;
            }
            got.append(buffer, s.read_some(net::buffer(buffer)));
        }
        EXPECT_EQ(frames(), per_value + 1); // the first pass, and one for each twentieth second
    }
}

// Pages that open while the passes come: each gets the last frame made before it opened and then
// every frame after it, each once and in order, up to the last.
TEST_F(PanelServer, APageOpenedBetweenPassesGetsEveryFrameOnce) {
    constexpr auto kPassNs = static_cast<std::uint64_t>(1e9 / mfbctl::panel::kMaxReadsPerSecond);
    std::vector<tcp::socket> streams;
    auto open = [&] {
        streams.push_back(connect());
        net::write(streams.back(), net::buffer("GET /api/stream HTTP/1.1\r\nHost: 127.0.0.1\r\n" +
                                               cookie() + "\r\n\r\n"));
    };
    open();
    for (int i = 0; i < 1000 && panel_->streams() < 1; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(panel_->streams(), 1u);

    // Every step is a pass, and the next pages open while they come.
    std::thread stepper([&] {
        for (int i = 0; i < 60; ++i)
            clock_->step(kPassNs);
    });
    for (int i = 0; i < 10; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
        open();
    }
    stepper.join();
    for (int i = 0; i < 1000 && panel_->streams() < streams.size(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(panel_->streams(), streams.size());
    const double last = static_cast<double>(mfb::vbus::now_ns()) / 1e9;

    for (std::size_t k = 0; k < streams.size(); ++k) {
        std::vector<double> times; // of the frames this page got
        std::string got;
        std::size_t parsed = 0;
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while ((times.empty() || times.back() < last - 1e-6) &&
               std::chrono::steady_clock::now() < until) {
            if (streams[k].available() == 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                continue;
            }
            char buffer[65536];
            got.append(buffer, streams[k].read_some(net::buffer(buffer)));
            const std::string mark = "event: frame\ndata: {\"t\":";
            for (auto at = got.find(mark, parsed); at != std::string::npos;
                 at = got.find(mark, parsed)) {
                times.push_back(std::strtod(got.c_str() + at + mark.size(), nullptr));
                parsed = at + mark.size();
            }
        }
        ASSERT_FALSE(times.empty()) << "page " << k;
        EXPECT_NEAR(times.back(), last, 1e-6) << "page " << k;
        for (std::size_t i = 1; i < times.size(); ++i)
            EXPECT_NEAR(times[i] - times[i - 1], 1.0 / mfbctl::panel::kMaxReadsPerSecond, 1e-6)
                << "page " << k << ", frames " << i - 1 << " and " << i
                << (times[i] == times[i - 1] ? ": the same frame twice" : ": frames missed");
    }
}

} // namespace
