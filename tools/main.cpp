// mfbctl: list, inspect and drive MFB boards from the shell.
//
// On Linux the tool runs on the virtual device bus with simulated boards (two by default), so it
// can be tried without the hardware.
//
// Exit status: 0 success, 1 a library call or an operation failed, 2 a usage error (an unknown
// command or option, a value out of its range, a command that needs a session).
#include "mfbctl.h"

#include "common/version.h"

#include "mfb_vbus.h"
#include "sim/sim_board.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

namespace mfbctl {
namespace {

constexpr int kFailed = 1;
constexpr int kUsage = 2;

std::size_t distance(const std::string& a, const std::string& b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

std::string command_path(const CLI::App* app) {
    std::string path;
    for (; app && app->get_parent(); app = app->get_parent())
        path = app->get_name() + (path.empty() ? "" : " ") + path;
    return path;
}

// "unknown timer command 'frobnicate' (did you mean 'enable'?)"
std::string unknown_command(const CLI::App* level, const std::string& word) {
    std::string nearest;
    std::size_t best = 0;
    for (const CLI::App* sub : level->get_subcommands({})) {
        const std::string& name = sub->get_name();
        const std::size_t d = name.rfind(word, 0) == 0 ? 0 : distance(word, name);
        if (nearest.empty() || d < best)
            nearest = name, best = d;
    }
    const std::string path = command_path(level);
    std::string text = fmt::format("unknown {}command '{}'", path.empty() ? "" : path + " ", word);
    if (!nearest.empty() && best <= std::max<std::size_t>(2, word.size() / 3))
        return text + fmt::format(" (did you mean '{}'?)", nearest);
    return text +
           fmt::format("; run 'mfbctl help{}' for the commands", path.empty() ? "" : " " + path);
}

const CLI::App* find_subcommand(const CLI::App* app, const std::string& name) {
    for (const CLI::App* sub : app->get_subcommands({}))
        if (sub->get_name() == name)
            return sub;
    return nullptr;
}

const CLI::Option* find_option(const CLI::App* app, const std::string& name) {
    for (; app; app = app->get_parent())
        if (const CLI::Option* opt = app->get_option_no_throw(name))
            return opt;
    return nullptr;
}

// Walks the words of a command line down the commands as the parser does and names the first
// word that stands where a command belongs but names none. Empty when there is no such word.
std::string find_unknown_command(const CLI::App& app, const std::vector<std::string>& args) {
    const CLI::App* at = &app;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        if (word == "--")
            return "";
        if (word.size() > 1 && word[0] == '-' &&
            !std::isdigit(static_cast<unsigned char>(word[1]))) {
            const std::string name = word.substr(0, word.find('='));
            const CLI::Option* opt = find_option(at, name);
            if (opt && opt->get_type_size() != 0 && name == word)
                ++i; // its value
            continue;
        }
        const CLI::App* found = nullptr;
        for (const CLI::App* level = at; level && !found; level = level->get_parent())
            found = find_subcommand(level, word);
        if (found) {
            at = found;
            continue;
        }
        if (!at->get_options([](const CLI::Option* o) { return o->get_positional(); }).empty())
            continue; // a value of the command
        const CLI::App* level = at;
        while (level->get_subcommands({}).empty() && level->get_parent())
            level = level->get_parent();
        return unknown_command(level, word);
    }
    return "";
}

// The deepest command that was named but needs one of its commands after it.
const CLI::App* missing_command(const CLI::App* app) {
    for (const CLI::App* sub : app->get_subcommands())
        if (const CLI::App* deeper = missing_command(sub))
            return deeper;
    if (app->get_require_subcommand_min() > 0 && app->get_subcommands().empty())
        return app;
    return nullptr;
}

std::string usage_text(const CLI::App& app, const CLI::ParseError& e,
                       const std::vector<std::string>& args) {
    if (std::string unknown = find_unknown_command(app, args); !unknown.empty())
        return unknown;
    if (dynamic_cast<const CLI::RequiredError*>(&e))
        if (const CLI::App* needs = missing_command(&app)) {
            std::string names;
            for (const CLI::App* sub : needs->get_subcommands({}))
                names += (names.empty() ? "" : ", ") + sub->get_name();
            const std::string path = command_path(needs);
            return path.empty() ? fmt::format("name a command; run 'mfbctl help' for the list")
                                : fmt::format("{} needs a command: {}", path, names);
        }
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&e)) {
        // "--count: 1 required TEXT missing"
        const std::string text = e.what();
        if (const auto colon = text.find(':');
            colon != std::string::npos && text.find("missing") != std::string::npos)
            return text.substr(0, colon) + ": the value is missing";
    }
    return e.what();
}

// Runs one command line on the app; prints what went wrong and returns the exit status.
// `prefix` goes before an error ("mfbctl: " or "mfbctl: line 3: ").
int run(CLI::App& app, const std::vector<std::string>& args, const std::string& prefix) {
    try {
        std::vector<std::string> reversed(args.rbegin(), args.rend());
        app.parse(reversed);
        return 0;
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::Success&) {
        return 0;
    } catch (const CLI::ParseError& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "%s%s\n", prefix.c_str(), usage_text(app, e, args).c_str());
        return kUsage;
    } catch (const UsageError& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "%s%s\n", prefix.c_str(), e.what());
        return kUsage;
    } catch (const std::exception& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "%s%s\n", prefix.c_str(), e.what());
        return kFailed;
    }
}

void print_version() {
    fmt::print("mfbctl {}\n", MFBCTL_VERSION);
    const std::uint32_t word = library_version_word();
    fmt::print("library {} (version word {:#010x})\n", decode_version_word(word), word);
}

// `help [COMMAND...]`: the help of a command, as COMMAND --help shows it.
void add_help_command(CLI::App& app) {
    auto words = std::make_shared<std::vector<std::string>>();
    auto* help = app.add_subcommand("help", "show the commands, or the help of one");
    help->group(kSession);
    help->add_option("COMMAND", *words, "a command, and a command of it (as `help timer init`)");
    help->callback([&app, words] {
        const CLI::App* at = &app;
        for (const std::string& w : *words) {
            const CLI::App* sub = find_subcommand(at, w);
            if (!sub)
                throw UsageError(unknown_command(at, w));
            at = sub;
        }
        // Not at->help(): that shows the help of the command being run, this one.
        const std::string path = command_path(at);
        std::fputs(at->get_formatter()
                       ->make_help(at, path.empty() ? "mfbctl" : "mfbctl " + path,
                                   CLI::AppFormatMode::Normal)
                       .c_str(),
                   stdout);
    });
}

// The commands of one command line: every registered group, help and -V.
void add_commands(CLI::App& app) {
    app.require_subcommand(1);
    app.add_flag_callback(
        "-V,--version",
        [] {
            print_version();
            throw CLI::Success();
        },
        "show the versions of the tool and the library");
    app.footer("Every command has --help; `mfbctl help COMMAND` shows the same. Times are in ms "
               "unless they carry a unit: ns, us, ms, s or min.\nExit status: 0 done, 1 an "
               "operation failed, 2 a usage error.\n");
    add_command_groups(app);
    add_help_command(app);
}

struct ShellOptions {
    std::string file;
    bool exit_on_error = false;
};

// Reads commands from a file or the standard input, one per line, on the same boards: set-ups
// made by one line hold for the next. Blank lines and lines starting with # are skipped; exit or
// quit ends. A failing line is named on the standard error and the shell goes on, unless told to
// stop; the exit status is the worst of the lines'.
int shell(const ShellOptions& o) {
    std::ifstream file;
    if (!o.file.empty() && o.file != "-") {
        file.open(o.file);
        if (!file) {
            std::fprintf(stderr, "mfbctl: shell: cannot read %s\n", o.file.c_str());
            return kFailed;
        }
    }
    std::istream& in = file.is_open() ? file : std::cin;
    const bool interactive = !file.is_open() && isatty(0);
    set_in_session(true);
    int worst = 0;
    std::string line;
    for (unsigned number = 1;; ++number) {
        if (interactive) {
            std::fputs("mfb> ", stdout);
            std::fflush(stdout);
        }
        if (!std::getline(in, line))
            break;
        const auto first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos || line[first] == '#')
            continue;
        std::vector<std::string> args = CLI::detail::split_up(line);
        if (args.size() == 1 && (args[0] == "exit" || args[0] == "quit"))
            break;
        CLI::App app{"mfbctl shell: one command a line", ""};
        add_commands(app);
        const int rc = run(app, args, fmt::format("mfbctl: line {}: ", number));
        std::fflush(stdout);
        worst = std::max(worst, rc);
        if (rc != 0 && o.exit_on_error)
            break;
    }
    if (interactive)
        std::fputs("\n", stdout);
    set_in_session(false);
    return worst;
}

void add_session_commands(CLI::App& app) {
    auto wait = std::make_shared<Time>();
    auto* sleep = app.add_subcommand("sleep", "wait, as between the commands of a session");
    sleep->group(kSession);
    add_time(sleep, "TIME", *wait, "how long (ms without a unit)")->required();
    sleep->callback([wait] { std::this_thread::sleep_for(std::chrono::nanoseconds(wait->ns)); });
}
const RegisterCommands registered(600, add_session_commands);

} // namespace
} // namespace mfbctl

int main(int argc, char** argv) {
    using namespace mfbctl;
    CLI::App app{"mfbctl: list, inspect and drive MFB counter and multifunction boards", "mfbctl"};
    add_commands(app);
    unsigned simulated = 2;
    add_number(&app, "--sim-boards", simulated, 0, kMaxBoards, "number of simulated boards",
               "number of simulated boards on the bus (default 2)");

    auto shell_options = std::make_shared<ShellOptions>();
    bool run_shell = false;
    auto* sh = app.add_subcommand("shell", "run commands from a file or the standard input, one a "
                                           "line, on the same boards");
    sh->group(kSession);
    sh->add_option("FILE", shell_options->file, "file of commands (default: standard input)");
    sh->add_flag("-e,--exit-on-error", shell_options->exit_on_error,
                 "stop at the first line that fails");
    sh->callback([&] { run_shell = true; });

    // The simulated boards are put on the bus once the command line is parsed and before any
    // command runs; they run on the real clock, ticking from a thread of their own.
    std::vector<std::shared_ptr<mfb::sim::SimBoard>> boards;
    app.parse_complete_callback([&] {
        mfb::vbus::reset_process();
        for (unsigned i = 0; i < simulated; ++i) {
            boards.push_back(mfb::sim::make_board(i));
            mfb::vbus::attach(boards.back());
            boards.back()->start_ticker();
        }
    });

    const std::vector<std::string> args(argv + 1, argv + argc);
    int rc = run(app, args, "mfbctl: ");
    if (rc == 0 && run_shell)
        rc = shell(*shell_options);
    for (auto& b : boards)
        b->stop_ticker();
    mfb::vbus::reset_process(); // ends any interrupt thread still running before the boards go
    return rc;
}
