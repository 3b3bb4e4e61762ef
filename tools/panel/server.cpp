// The panel's web server (panel.h): HTTP/1.1 by Boost.Beast over Boost.Asio, both header-only, on
// one I/O thread; the passes of the live data run on a thread of their own, the commands a page
// runs on another, one at a time.
//
//   GET  /                 the page (with ?token=: sets the cookie and sends the page on to /)
//   GET  /panel.js, ...    the page's files and the charting library's, with its licence notice
//   GET  /api/boards       the boards as the page draws them
//   GET  /api/stream       server-sent events: "boards", "frame" (each pass), "output" (what a
//                          command prints while it runs)
//   POST /api/run?id=ID    a command line, its words one a line; answers its exit status and
//                          what it printed
//   POST /api/upload?slot=N  a firmware file for module N, kept for the panel's life; answers
//                          the path that the firmware commands take
#include "panel.h"

#include "assets.h"
#include "live.h"
#include "platform.h"

#include <utility> // Boost 1.74's Asio uses std::exchange without it

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <fmt/format.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

namespace mfbctl::panel {
namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
using tcp = net::ip::tcp;
using Request = http::request<http::string_body>;
using Response = http::response<http::string_body>;

constexpr std::size_t kBodyLimit = 1 << 20; // a firmware file of 100,000 bytes and room to spare
// Events waiting for a page that does not take them; beyond, its stream is closed (the page opens
// it again).
constexpr std::size_t kStreamBacklog = 256;
constexpr auto kRequestTimeout = std::chrono::seconds(30);

class SteadyClock : public Clock {
  public:
    std::uint64_t now_ns() override {
        return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                              std::chrono::steady_clock::now() - start_)
                                              .count());
    }
    void wait_until(std::uint64_t t) override {
        std::unique_lock lock(mutex_);
        wake_.wait_until(lock, start_ + std::chrono::nanoseconds(t), [&] { return interrupted_; });
    }
    void interrupt() override {
        std::lock_guard lock(mutex_);
        interrupted_ = true;
        wake_.notify_all();
    }

  private:
    const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::mutex mutex_;
    std::condition_variable wake_;
    bool interrupted_ = false;
};

// 128 random bits from the system's source, as 32 hexadecimal digits.
std::string random_token() {
    std::random_device source;
    std::string token;
    for (int i = 0; i < 4; ++i)
        token += fmt::format("{:08x}", static_cast<std::uint32_t>(source()));
    return token;
}

// Compares in a time that does not tell how much of the token was right.
bool same(std::string_view a, std::string_view b) {
    unsigned char differ = a.size() != b.size();
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i)
        differ |= static_cast<unsigned char>(a[i] ^ b[i]);
    return differ == 0;
}

std::string_view path_of(std::string_view target) {
    return target.substr(0, target.find('?'));
}

// A parameter of the query ("" where missing), as the page writes them: letters, digits, - and _.
std::string query_value(std::string_view target, std::string_view name) {
    const auto q = target.find('?');
    if (q == std::string_view::npos)
        return "";
    for (std::string_view rest = target.substr(q + 1); !rest.empty();) {
        const auto amp = rest.find('&');
        const std::string_view item = rest.substr(0, amp);
        rest = amp == std::string_view::npos ? std::string_view() : rest.substr(amp + 1);
        if (item.size() > name.size() && item.substr(0, name.size()) == name &&
            item[name.size()] == '=')
            return std::string(item.substr(name.size() + 1));
    }
    return "";
}

std::string cookie_value(std::string_view cookies, std::string_view name) {
    for (std::string_view rest = cookies; !rest.empty();) {
        const auto semi = rest.find(';');
        std::string_view item = rest.substr(0, semi);
        rest = semi == std::string_view::npos ? std::string_view() : rest.substr(semi + 1);
        item.remove_prefix(std::min(item.find_first_not_of(' '), item.size()));
        if (item.size() > name.size() && item.substr(0, name.size()) == name &&
            item[name.size()] == '=')
            return std::string(item.substr(name.size() + 1));
    }
    return "";
}

std::vector<std::string> lines_of(const std::string& body) {
    std::vector<std::string> words;
    std::string::size_type at = 0;
    while (at < body.size()) {
        const auto end = std::min(body.find('\n', at), body.size());
        std::string word = body.substr(at, end - at);
        if (!word.empty() && word.back() == '\r')
            word.pop_back();
        words.push_back(std::move(word));
        at = end + 1;
    }
    return words;
}

std::string sse(const std::string& event, const std::string& data) {
    return "event: " + event + "\ndata: " + data + "\n\n";
}

} // namespace

std::shared_ptr<Clock> steady_clock() {
    return std::make_shared<SteadyClock>();
}

bool is_loopback(const std::string& address) {
    if (address == "localhost")
        return true;
    boost::system::error_code ec;
    const auto a = net::ip::make_address(address, ec);
    return !ec && a.is_loopback();
}

class EventStream;
class Session;

struct Panel::Impl {
    explicit Impl(Options o) : options(std::move(o)), token(random_token()), live(options.clock) {}

    // ---- who may do what ----

    enum class Access { Denied, Read, Change };
    // Every request needs the token: a GET in the cookie (or, on the first visit, in the query);
    // a POST in the header, never by the cookie alone, which a browser sends with another site's
    // form as well. What is neither is denied, the event stream too (its passes read the boards).
    Access access(const http::request_header<>& req) const {
        if (req.method() == http::verb::post)
            return same(req["X-MFB-Token"], token) ? Access::Change : Access::Denied;
        if (same(cookie_value(req[http::field::cookie], cookie_name()), token) ||
            same(query_value(req.target(), "token"), token))
            return Access::Read;
        return Access::Denied;
    }
    // Cookies are kept by host, not by port: the port in the name keeps two panels apart.
    std::string cookie_name() const { return fmt::format("mfb_panel_{}", port); }

    Response response(const Request& req, http::status status, std::string type,
                      std::string body) const {
        Response res{status, req.version()};
        res.set(http::field::server, "mfbctl panel");
        res.set(http::field::content_type, type);
        res.set(http::field::cache_control, "no-store");
        res.set("X-Content-Type-Options", "nosniff");
        res.set("Referrer-Policy", "no-referrer");
        res.set("Content-Security-Policy", "default-src 'self'; style-src 'self' 'unsafe-inline'; "
                                           "img-src 'self' data:; frame-ancestors 'none'");
        res.keep_alive(req.keep_alive());
        res.body() = std::move(body);
        res.prepare_payload();
        return res;
    }
    Response text(const Request& req, http::status status, std::string body) const {
        return response(req, status, "text/plain; charset=utf-8", std::move(body) + "\n");
    }

    // ---- what a page asks for ----

    // An answer now, or none where the request goes on elsewhere (a stream, a command).
    std::optional<Response> route(const std::shared_ptr<Session>& session, Request& req);
    Response page(const Request& req) const;
    void run_command(const std::shared_ptr<Session>& session, Request req);
    Response upload(const Request& req);

    // ---- streams and commands ----

    void publish(const std::string& event, const std::string& data);
    void open_stream(const std::shared_ptr<Session>& session, const Request& req);
    void accept();
    void work();

    Options options;
    const std::string token;
    std::uint16_t port = 0;
    SocketLibrary sockets;
    Live live;
    std::filesystem::path uploads;

    net::io_context io{1};
    tcp::acceptor acceptor{io};
    std::vector<std::shared_ptr<EventStream>> streams; // on the I/O thread only
    std::string last_frame; // the last pass's event sent to the streams, on the I/O thread only
    std::atomic<std::size_t> stream_count{0};
    std::thread io_thread, poller, worker;

    std::mutex jobs_mutex;
    std::condition_variable jobs_ready;
    std::deque<std::function<void()>> jobs;
    bool stopping = false;
    bool started = false;
};

// An open event stream: what is published goes to it in order, one write at a time.
class EventStream : public std::enable_shared_from_this<EventStream> {
  public:
    EventStream(Panel::Impl& panel, tcp::socket socket)
        : panel_(panel), socket_(std::move(socket)) {}
    void send(std::string event) {
        if (closed_)
            return;
        if (queue_.size() >= kStreamBacklog)
            return close();
        queue_.push_back(std::move(event));
        if (queue_.size() == 1)
            write();
    }
    void close() {
        if (closed_)
            return;
        closed_ = true;
        boost::system::error_code ignored;
        socket_.shutdown(tcp::socket::shutdown_both, ignored);
        socket_.close(ignored);
        auto& all = panel_.streams;
        all.erase(std::remove(all.begin(), all.end(), shared_from_this()), all.end());
        panel_.stream_count = all.size();
    }

  private:
    void write() {
        net::async_write(socket_, net::buffer(queue_.front()),
                         [self = shared_from_this()](boost::system::error_code ec, std::size_t) {
                             if (ec)
                                 return self->close();
                             self->queue_.pop_front();
                             if (!self->queue_.empty() && !self->closed_)
                                 self->write();
                         });
    }

    Panel::Impl& panel_;
    tcp::socket socket_;
    std::deque<std::string> queue_;
    bool closed_ = false;
};

// One connection: requests read one after the other, each judged by its token before anything
// else is looked at.
class Session : public std::enable_shared_from_this<Session> {
  public:
    Session(Panel::Impl& panel, tcp::socket socket) : panel_(panel), stream_(std::move(socket)) {}

    void read() {
        parser_.emplace();
        parser_->body_limit(kBodyLimit);
        stream_.expires_after(kRequestTimeout);
        http::async_read_header(stream_, buffer_, *parser_,
                                [self = shared_from_this()](boost::system::error_code ec,
                                                            std::size_t) { self->on_header(ec); });
    }

    void reply(Response res) {
        auto owned = std::make_shared<Response>(std::move(res));
        // The answer to a command comes when it has ended, a flash's maybe minutes later.
        stream_.expires_after(kRequestTimeout);
        http::async_write(
            stream_, *owned,
            [self = shared_from_this(), owned](boost::system::error_code ec, std::size_t) {
                if (ec || !owned->keep_alive())
                    return self->close();
                self->read();
            });
    }

    // Hands the connection to an event stream, which joins the others at once: the head of its
    // answer with its first events is its first write, and what is published from now on follows
    // in order, so that a page misses no pass and gets none twice.
    void become_stream(const std::string& first_events) {
        stream_.expires_never();
        auto s = std::make_shared<EventStream>(panel_, std::move(stream_.socket()));
        panel_.streams.push_back(s);
        panel_.stream_count = panel_.streams.size();
        s->send("HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\nCache-Control: no-store\r\n"
                "X-Content-Type-Options: nosniff\r\nConnection: close\r\n\r\n" +
                first_events);
    }

  private:
    // The token is judged on the head, so that a request without it is answered before its body
    // is read.
    void on_header(boost::system::error_code ec) {
        if (ec)
            return close();
        if (panel_.access(parser_->get()) == Panel::Impl::Access::Denied) {
            Request head = parser_->release();
            Response res = panel_.text(head, http::status::forbidden,
                                       "403: the panel needs its token: open the address that "
                                       "mfbctl panel printed");
            res.keep_alive(false);
            return reply(std::move(res));
        }
        http::async_read(stream_, buffer_, *parser_,
                         [self = shared_from_this()](boost::system::error_code ec, std::size_t) {
                             self->on_request(ec);
                         });
    }

    void on_request(boost::system::error_code ec) {
        if (ec == http::error::body_limit) {
            Request req;
            Response res = panel_.text(req, http::status::payload_too_large,
                                       "413: more than a firmware file can hold");
            res.keep_alive(false);
            return reply(std::move(res));
        }
        if (ec)
            return close();
        Request req = parser_->release();
        if (auto res = panel_.route(shared_from_this(), req))
            reply(std::move(*res));
    }

    void close() {
        boost::system::error_code ignored;
        stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
        stream_.close();
    }

    Panel::Impl& panel_;
    beast::tcp_stream stream_;
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::string_body>> parser_;
};

std::optional<Response> Panel::Impl::route(const std::shared_ptr<Session>& session, Request& req) {
    const std::string_view path = path_of(req.target());
    if (req.method() == http::verb::post) {
        if (path == "/api/run") {
            run_command(session, std::move(req));
            return std::nullopt;
        }
        if (path == "/api/upload")
            return upload(req);
        return text(req, http::status::not_found, "404: no such request");
    }
    if (req.method() != http::verb::get && req.method() != http::verb::head)
        return text(req, http::status::method_not_allowed, "405: GET or POST");
    if (path == "/api/run" || path == "/api/upload")
        return text(req, http::status::method_not_allowed, "405: a change is a POST");
    // The first visit brings the token in the address: it goes into the cookie, and the page on
    // to an address without it, which the browser's history and the page's links then keep.
    if (!query_value(req.target(), "token").empty()) {
        Response res = text(req, http::status::see_other, "303: on to /");
        res.set(http::field::location, std::string(path));
        res.set(http::field::set_cookie,
                fmt::format("{}={}; Path=/; HttpOnly; SameSite=Strict", cookie_name(), token));
        return res;
    }
    if (path == "/")
        return page(req);
    if (path == "/api/boards")
        return response(req, http::status::ok, "application/json", live.boards());
    if (path == "/api/stream") {
        open_stream(session, req);
        return std::nullopt;
    }
    if (const Asset* a = find_asset(path))
        return response(req, http::status::ok, std::string(a->type) + "; charset=utf-8",
                        std::string(a->text()));
    return text(req, http::status::not_found, "404: no such page");
}

// The page carries the token for the requests that change something, which send it in a header.
Response Panel::Impl::page(const Request& req) const {
    std::string html(find_asset("/index.html")->text());
    const std::string mark = "%TOKEN%";
    if (const auto at = html.find(mark); at != std::string::npos)
        html.replace(at, mark.size(), token);
    return response(req, http::status::ok, "text/html; charset=utf-8", std::move(html));
}

void Panel::Impl::open_stream(const std::shared_ptr<Session>& session, const Request&) {
    session->become_stream(sse("boards", live.boards()) + last_frame);
}

void Panel::Impl::publish(const std::string& event, const std::string& data) {
    net::post(io, [this, frame = event == "frame", message = sse(event, data)] {
        if (frame)
            last_frame = message;
        for (const auto& s : std::vector(streams)) // a failing stream leaves the list
            s->send(message);
    });
}

// The words of a command line, each on a line of its own, run as a line of a session.
void Panel::Impl::run_command(const std::shared_ptr<Session>& session, Request req) {
    std::lock_guard lock(jobs_mutex);
    jobs.push_back([this, session, req = std::move(req)] {
        const std::string id = query_value(req.target(), "id");
        const std::vector<std::string> words = lines_of(req.body());
        std::string out, err;
        int status = 2;
        const bool allowed =
            !words.empty() && std::find(options.commands.begin(), options.commands.end(),
                                        words[0]) != options.commands.end();
        const bool boards_kept = std::none_of(words.begin(), words.end(), [](const auto& w) {
            return w.rfind("--sim-boards", 0) == 0 || w.rfind("--sim-layout", 0) == 0;
        });
        if (!allowed)
            err = fmt::format("mfbctl: panel: '{}' is not a command the panel runs\n",
                              words.empty() ? "" : words[0]);
        else if (!boards_kept)
            err = "mfbctl: panel: the panel keeps its simulated boards: start it again with "
                  "--sim-boards or --sim-layout\n";
        else
            live.exclusive([&] {
                {
                    Capture capture([&](int stream, const std::string& text) {
                        (stream == 1 ? out : err) += text;
                        publish("output", fmt::format("{{\"id\":{},\"stream\":{},\"text\":{}}}",
                                                      json_text(id), stream, json_text(text)));
                    });
                    status = options.run(words);
                }
                if (live.describe())
                    publish("boards", live.boards());
            });
        Response res = response(req, http::status::ok, "application/json",
                                fmt::format("{{\"id\":{},\"exit\":{},\"out\":{},\"err\":{}}}",
                                            json_text(id), status, json_text(out), json_text(err)));
        net::post(io,
                  [session, res = std::move(res)]() mutable { session->reply(std::move(res)); });
    });
    jobs_ready.notify_one();
}

Response Panel::Impl::upload(const Request& req) {
    const std::string slot = query_value(req.target(), "slot");
    if (slot.size() != 1 || slot[0] < '0' || slot[0] > '3')
        return text(req, http::status::bad_request, "400: slot is a module position, 0 to 3");
    if (uploads.empty()) {
        uploads = std::filesystem::temp_directory_path() / ("mfb-panel-" + random_token());
        std::filesystem::create_directory(uploads);
    }
    const std::filesystem::path file = uploads / fmt::format("module{}.mfw", slot);
    std::ofstream(file, std::ios::binary).write(req.body().data(), req.body().size());
    return response(req, http::status::ok, "application/json",
                    fmt::format("{{\"path\":{}}}", json_text(file.string())));
}

void Panel::Impl::accept() {
    acceptor.async_accept([this](boost::system::error_code ec, tcp::socket socket) {
        if (ec)
            return; // the acceptor was closed
        std::make_shared<Session>(*this, std::move(socket))->read();
        accept();
    });
}

void Panel::Impl::work() {
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(jobs_mutex);
            jobs_ready.wait(lock, [&] { return stopping || !jobs.empty(); });
            if (stopping)
                return;
            job = std::move(jobs.front());
            jobs.pop_front();
        }
        job();
    }
}

Panel::Panel(Options options) : impl_(std::make_unique<Impl>(std::move(options))) {}

Panel::~Panel() {
    stop();
}

void Panel::start() {
    Impl& p = *impl_;
    const std::string host = p.options.bind == "localhost" ? "127.0.0.1" : p.options.bind;
    boost::system::error_code ec;
    const auto address = net::ip::make_address(host, ec);
    if (ec)
        throw std::runtime_error(fmt::format("--bind: '{}' is not an IP address", p.options.bind));
    const tcp::endpoint endpoint(address, p.options.port);
    p.acceptor.open(endpoint.protocol());
    p.acceptor.set_option(tcp::acceptor::reuse_address(true));
    p.acceptor.bind(endpoint, ec);
    if (ec)
        throw std::runtime_error(fmt::format("panel: cannot listen on {} port {}: {}", host,
                                             p.options.port, ec.message()));
    p.acceptor.listen();
    p.port = p.acceptor.local_endpoint().port();
    p.live.open();
    p.started = true;
    p.accept();
    p.io_thread = std::thread([&p] { p.io.run(); });
    p.worker = std::thread([&p] { p.work(); });
    p.poller = std::thread([&p] {
        p.live.run([&p](const std::string& e, const std::string& d) { p.publish(e, d); },
                   [&p] { return p.stream_count.load(); });
    });
}

void Panel::stop() {
    Impl& p = *impl_;
    if (!p.started)
        return;
    p.started = false;
    p.live.stop();
    p.poller.join();
    {
        std::lock_guard lock(p.jobs_mutex);
        p.stopping = true;
    }
    p.jobs_ready.notify_all();
    p.worker.join();
    net::post(p.io, [&p] {
        boost::system::error_code ignored;
        p.acceptor.close(ignored);
        for (const auto& s : std::vector(p.streams))
            s->close();
        p.io.stop(); // the connections still open end with the panel
    });
    p.io_thread.join();
    p.live.close();
    if (!p.uploads.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(p.uploads, ignored);
    }
}

std::uint16_t Panel::port() const {
    return impl_->port;
}

const std::string& Panel::token() const {
    return impl_->token;
}

std::string Panel::url() const {
    const Impl& p = *impl_;
    std::string host = p.options.bind;
    if (host == "0.0.0.0")
        host = "127.0.0.1";
    else if (host == "::")
        host = "::1";
    if (host.find(':') != std::string::npos)
        host = "[" + host + "]";
    return fmt::format("http://{}:{}/?token={}", host, p.port, p.token);
}

std::size_t Panel::streams() const {
    return impl_->stream_count.load();
}

} // namespace mfbctl::panel
