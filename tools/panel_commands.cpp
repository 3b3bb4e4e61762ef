// The test panel: `mfbctl panel` serves a web page that shows every board and module live and
// drives them (panel/panel.h), until Ctrl-C.
//
//     mfbctl panel                     http://127.0.0.1:PORT/?token=... to open in a browser
//     mfbctl panel --sim-boards 3 --sim-layout 1:3=etm
//
// The panel is a session: what a page does to the boards holds for the next thing it does, as in
// `mfbctl shell`, and every change a page makes is a command line of that session, which the page
// shows with what it printed.
#include "mfbctl.h"

#ifdef MFBCTL_PANEL
#include "panel/panel.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>
#endif

namespace mfbctl {
namespace panel_commands {

struct Options {
    std::string bind = "127.0.0.1";
    unsigned port = 0;
};

#ifdef MFBCTL_PANEL

std::atomic<bool> g_stop{false};

void serve(const Options& o) {
    if (in_session())
        throw UsageError("panel: the panel is a session of its own: start it from the command "
                         "line, not inside one");
    panel::Options options;
    options.bind = o.bind;
    options.port = static_cast<std::uint16_t>(o.port);
    options.run = [](const std::vector<std::string>& words) {
        return run_session_line(words, "mfbctl: ");
    };
    panel::Panel p(options);
    set_in_session(true);
    try {
        p.start();
    } catch (...) {
        set_in_session(false);
        throw;
    }
    if (!panel::is_loopback(o.bind))
        std::fprintf(stderr,
                     "mfbctl: warning: the panel listens on %s, not only on this machine: "
                     "whoever reaches port %u with the token below can drive the boards\n",
                     o.bind.c_str(), static_cast<unsigned>(p.port()));
    fmt::print("mfbctl panel: {} board{}; open {}\n(Ctrl-C ends the panel)\n", board_count(),
               board_count() == 1 ? "" : "s", p.url());
    std::fflush(stdout);
    g_stop = false;
    auto previous_int = std::signal(SIGINT, [](int) { g_stop = true; });
    auto previous_term = std::signal(SIGTERM, [](int) { g_stop = true; });
    while (!g_stop)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::signal(SIGINT, previous_int);
    std::signal(SIGTERM, previous_term);
    p.stop();
    set_in_session(false);
    fmt::print("mfbctl panel: ended\n");
}

#else

[[noreturn]] void serve(const Options&) {
    throw std::runtime_error("panel: this build of mfbctl carries no panel (it was built without "
                             "Boost's headers or the page's charting library: see the README)");
}

#endif

void add_panel_commands(CLI::App& app) {
    auto o = std::make_shared<Options>();
    auto* cmd = app.add_subcommand("panel", "serve a test panel: a web page that shows every "
                                            "board and module live and drives them");
    cmd->group(kSession);
    cmd->add_option("--bind", o->bind,
                    "listen on this address (default 127.0.0.1, this machine only; another "
                    "address lets other machines reach the panel, with a warning)");
    add_number(cmd, "--port", o->port, 0, 65535, "port",
               "listen on this port (default 0: any free one)");
    cmd->callback([o] { serve(*o); });
}

const RegisterCommands registered(650, add_panel_commands);

} // namespace panel_commands
} // namespace mfbctl
