// mfbctl: list, inspect and drive MFB boards from the shell.
//
// On Linux the tool runs on the virtual device bus with simulated boards (two by default), so it
// can be tried without the hardware.
//
// Exit status: 0 success, 1 a library call or an operation failed, 2 a usage error (an unknown
// command or option, a value out of its range, a command that needs a session).
#include "mfbctl.h"

#include "common/console.h"
#include "common/version.h"

#include "mfb_vbus.h"
#include "sim/sim_board.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

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

// What an unknown word is unknown as, with the nearest of the names it could have been (a name
// it starts is nearest) where one is near, else where the help lists them:
// "unknown timer command 'frobnicate' (did you mean 'enable'?)".
std::string unknown(const std::string& what, const std::string& word,
                    const std::vector<std::string>& names, const std::string& path) {
    std::string nearest;
    std::size_t best = 0;
    for (const std::string& name : names) {
        const std::size_t d = name.rfind(word, 0) == 0 ? 0 : distance(word, name);
        if (nearest.empty() || d < best)
            nearest = name, best = d;
    }
    const std::string text = fmt::format("{} '{}'", what, word);
    if (!nearest.empty() && best <= std::max<std::size_t>(2, word.size() / 3))
        return text + fmt::format(" (did you mean '{}'?)", nearest);
    return text + fmt::format("; run 'mfbctl help{}' for the {}s", path.empty() ? "" : " " + path,
                              what.substr(what.rfind(' ') + 1));
}

std::string unknown_command(const CLI::App* level, const std::string& word) {
    std::vector<std::string> names;
    for (const CLI::App* sub : level->get_subcommands({}))
        names.push_back(sub->get_name());
    const std::string path = command_path(level);
    return unknown(fmt::format("unknown {}command", path.empty() ? "" : path + " "), word, names,
                   path);
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

// The options a command takes, its own and those of the commands above it.
std::vector<std::string> option_names(const CLI::App* app) {
    std::vector<std::string> names;
    for (; app; app = app->get_parent())
        for (const CLI::Option* o : app->get_options())
            if (!o->get_positional())
                for (const std::string& n : o->get_lnames())
                    names.push_back("--" + n);
    return names;
}

// "counter read: unknown option '--hlaf' (did you mean '--half'?)"
std::string unknown_option(const CLI::App* at, const std::string& name) {
    const std::string path = command_path(at);
    return unknown(fmt::format("{}unknown option", path.empty() ? "" : path + ": "), name,
                   option_names(at), path);
}

// Walks the words of a command line down the commands as the parser does and names the first
// word that the parser would not take: an unknown option, a word where a command belongs that
// names none, a value for a command that takes none, a step given twice. Empty when there is none.
std::string find_unknown_word(const CLI::App& app, const std::vector<std::string>& args) {
    const CLI::App* at = &app;
    std::vector<const CLI::App*> seen;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        if (word == "--")
            return "";
        if (word.size() > 1 && word[0] == '-' &&
            !std::isdigit(static_cast<unsigned char>(word[1]))) {
            std::string name = word.substr(0, word.find('='));
            const CLI::Option* opt = find_option(at, name);
            if (!opt && word[1] != '-' && word.size() > 2) // -b1: an option and its value
                opt = find_option(at, name = word.substr(0, 2));
            if (!opt)
                return unknown_option(at, name);
            if (opt->get_type_size() != 0 && name == word)
                ++i; // its value
            continue;
        }
        const CLI::App* found = nullptr;
        for (const CLI::App* level = at; level && !found; level = level->get_parent())
            found = find_subcommand(level, word);
        if (found) {
            if (std::find(seen.begin(), seen.end(), found) != seen.end())
                return fmt::format("{0}: the step {1} comes twice; a command runs each step at "
                                   "most once: run `mfbctl {0} ...` again for the second, or "
                                   "both in `mfbctl shell`",
                                   command_path(found->get_parent()), word);
            seen.push_back(found);
            at = found;
            continue;
        }
        if (!at->get_options([](const CLI::Option* o) { return o->get_positional(); }).empty())
            continue; // a value of the command
        const CLI::App* level = at;
        while (level->get_subcommands({}).empty() && level->get_parent())
            level = level->get_parent();
        if (level != at && !std::isalpha(static_cast<unsigned char>(word[0])))
            return fmt::format("{} takes no value: '{}' is not understood (see 'mfbctl help {}')",
                               command_path(at), word, command_path(at));
        return unknown_command(level, word);
    }
    return "";
}

// A time written with a space before its unit ("--for 10 ms") as one word, as the options read it.
std::vector<std::string> join_units(const std::vector<std::string>& args) {
    static const char* const kUnits[] = {"ns", "us", "\xC2\xB5s", "ms", "s", "min"};
    std::vector<std::string> joined;
    for (const std::string& word : args) {
        const bool unit = std::any_of(std::begin(kUnits), std::end(kUnits),
                                      [&](const char* u) { return word == u; });
        if (unit && !joined.empty() && !joined.back().empty() &&
            (std::isdigit(static_cast<unsigned char>(joined.back().back())) ||
             joined.back().back() == '.'))
            joined.back() += word;
        else
            joined.push_back(word);
    }
    return joined;
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
    if (std::string unknown = find_unknown_word(app, args); !unknown.empty())
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
    const std::string text = e.what();
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&e)) {
        // "--count: 1 required TEXT missing", "FILE: At least 4 required but received 3"
        const auto colon = text.find(':');
        const std::string name = text.substr(0, colon);
        if (colon != std::string::npos && text.find("missing") != std::string::npos)
            return name + ": the value is missing";
        if (const auto at = text.find("At least ");
            colon != std::string::npos && at != std::string::npos)
            return fmt::format("{}: {} values are needed, fewer were given{}", name,
                               std::atoi(text.c_str() + at + 9),
                               name == "FILE" ? " (the firmware files of modules 0, 1, 2 and 3)"
                                              : "");
    }
    if (dynamic_cast<const CLI::ExtrasError*>(&e))
        return fmt::format(
            "{}: run 'mfbctl help' for the commands and their options",
            text.substr(text.find(':') == std::string::npos ? 0 : text.find(':') + 2));
    if (dynamic_cast<const CLI::RequiredError*>(&e)) {
        // "VALUE is required", "--reload is required"
        const auto space = text.find(' ');
        if (space != std::string::npos &&
            text.compare(space, std::string::npos, " is required") == 0)
            return fmt::format("{} is needed: see 'mfbctl help' for the command",
                               text.substr(0, space));
    }
    return text;
}

// Runs one command line on the app; prints what went wrong and returns the exit status.
// `prefix` goes before an error ("mfbctl: " or "mfbctl: line 3: ").
int run(CLI::App& app, const std::vector<std::string>& args, const std::string& prefix) {
    try {
        start_command_clock();
        std::vector<std::string> reversed(args.rbegin(), args.rend());
        app.parse(reversed);
        end_values_line();
        return 0;
    } catch (const CLI::CallForHelp& e) {
        if (std::string unknown = find_unknown_word(app, args); !unknown.empty()) {
            std::fprintf(stderr, "%s%s\n", prefix.c_str(), unknown.c_str());
            return kUsage;
        }
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::Success&) {
        return 0;
    } catch (const CLI::ParseError& e) {
        end_values_line();
        std::fflush(stdout);
        std::fprintf(stderr, "%s%s\n", prefix.c_str(), usage_text(app, e, args).c_str());
        return kUsage;
    } catch (const UsageError& e) {
        end_values_line();
        std::fflush(stdout);
        std::fprintf(stderr, "%s%s\n", prefix.c_str(), e.what());
        return kUsage;
    } catch (const std::exception& e) {
        end_values_line();
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

// The help of one command, as `COMMAND --help` shows it. Not at->help(): that shows the help of
// the command being run.
std::string help_text(const CLI::App* at) {
    const std::string path = command_path(at);
    return at->get_formatter()->make_help(at, path.empty() ? "mfbctl" : "mfbctl " + path,
                                          CLI::AppFormatMode::Normal);
}

void all_help(const CLI::App* at, std::string& text) {
    if (at->get_parent())
        text += help_text(at) + "\n";
    for (const CLI::App* sub : at->get_subcommands({}))
        all_help(sub, text);
}

// `help [COMMAND...]`: the help of a command, as COMMAND --help shows it; `help --all` that of
// every command (which the man page holds).
void add_help_command(CLI::App& app) {
    auto words = std::make_shared<std::vector<std::string>>();
    auto all = std::make_shared<bool>(false);
    auto* help = app.add_subcommand("help", "show the commands, or the help of one");
    help->group(kSession);
    help->add_option("COMMAND", *words, "a command, and a command of it (as `help timer init`)");
    help->add_flag("--all", *all, "show the help of every command, one after the other");
    help->callback([&app, words, all] {
        const CLI::App* at = &app;
        for (const std::string& w : *words) {
            const CLI::App* sub = find_subcommand(at, w);
            if (!sub)
                throw UsageError(unknown_command(at, w));
            at = sub;
        }
        std::string text;
        if (*all)
            all_help(at, text); // the command and those below it (below mfbctl: every command)
        else
            text = help_text(at);
        std::fputs(text.c_str(), stdout);
    });
}

// The options that set up the simulated boards, before the command or after it, and on a line of
// a session.
struct GlobalOptions {
    std::optional<unsigned> boards;
    std::vector<std::string> layouts;
};

void add_global_options(CLI::App& app, GlobalOptions& g) {
    add_number(&app, "--sim-boards", g.boards, 0, kMaxBoards, "number of simulated boards",
               "number of simulated boards on the bus (default 2; on a line of a session: start "
               "over with this many fresh boards)");
    app.add_option("--sim-layout", g.layouts,
                   "fit functions into the simulated boards, BOARD:MODULE=FUNCTION, several "
                   "separated by commas, as 1:3=etm (for a single run; also from MFB_SIM_LAYOUT)")
        ->option_text("B:M=FUNCTION")
        ->allow_extra_args(false);
}

bool g_session_ends = false;

// The commands of one command line: every registered group, help, -V and the global options; in
// a session also exit and quit.
void add_commands(CLI::App& app, GlobalOptions& global, bool session) {
    app.require_subcommand(1);
    app.fallthrough(); // the options of the commands above may follow a command
    app.add_flag_callback(
        "-V,--version",
        [] {
            print_version();
            throw CLI::Success();
        },
        "show the versions of the tool and the library");
    std::string footer =
        "Every command has --help; `mfbctl help COMMAND` shows the same. Times are in ms unless "
        "they carry a unit: ns, us, ms, s or min (10ms, 10 ms, 1e3ns).\nExit status: 0 done, 1 an "
        "operation failed, 2 a usage error.\n";
    if (session)
        footer += *line_editing() ? fmt::format("Line editing and history on a terminal ({}).\n",
                                                line_editing())
                                  : std::string("This build reads plain lines: no line editing "
                                                "or history.\n");
    app.footer(footer);
    add_command_groups(app);
    add_help_command(app);
    add_global_options(app, global);
    if (session)
        for (const char* name : {"exit", "quit"})
            app.add_subcommand(name, "end the session")->group(kSession)->callback([] {
                g_session_ends = true;
            });
}

// The simulated boards of a run or a session: attached when the command line is parsed and
// before any command runs; they run on the real clock, ticking from a thread of their own.
class Bench {
  public:
    ~Bench() { stop(); }
    void start(unsigned count) {
        stop();
        for (unsigned i = 0; i < count; ++i) {
            boards_.push_back(mfb::sim::make_board(i));
            mfb::vbus::attach(boards_.back());
            boards_.back()->start_ticker();
        }
    }
    void stop() {
        for (auto& b : boards_)
            b->stop_ticker();
        mfb::vbus::reset_process(); // ends any interrupt thread still running before the boards go
        boards_.clear();
    }
    // Fits the functions of --sim-layout and MFB_SIM_LAYOUT.
    void fit(const std::vector<std::string>& layouts) const {
        for (const std::string& text : layouts)
            for (const FittedModule& f : parse_layout(text)) {
                if (f.board >= boards_.size())
                    throw UsageError(fmt::format("--sim-layout: there is no simulated board {} "
                                                 "({} simulated, --sim-boards)",
                                                 f.board, boards_.size()));
                fit_module(f.board, f.module, f.function);
            }
    }

  private:
    std::vector<std::shared_ptr<mfb::sim::SimBoard>> boards_;
};

struct ShellOptions {
    std::string file;
    bool exit_on_error = false;
};

// Reads commands from a file or the standard input, one per line, on the same boards: set-ups
// made by one line hold for the next. Blank lines and lines starting with # are skipped; exit or
// quit ends. A failing line is named on the standard error and the shell goes on, unless told to
// stop; the exit status is the worst of the lines'.
int shell(const ShellOptions& o, Bench& bench) {
    std::ifstream file;
    if (!o.file.empty() && o.file != "-") {
        file.open(o.file);
        if (!file) {
            std::fprintf(stderr, "mfbctl: shell: cannot read %s\n", o.file.c_str());
            return kFailed;
        }
    }
    const bool interactive = !file.is_open() && stdin_is_terminal();
    const auto reader = terminal_reader();
    set_in_session(true);
    g_session_ends = false;
    int worst = 0;
    for (unsigned number = 1; !g_session_ends; ++number) {
        std::string line;
        if (file.is_open()) {
            if (!std::getline(file, line))
                break;
        } else if (auto read = reader->read(interactive ? "mfb> " : nullptr)) {
            line = *read;
        } else {
            break;
        }
        const auto first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos || line[first] == '#')
            continue;
        CLI::App app{"mfbctl shell: one command a line", ""};
        GlobalOptions global;
        add_commands(app, global, true);
        app.parse_complete_callback([&] {
            if (global.boards)
                bench.start(*global.boards);
            bench.fit(global.layouts);
        });
        const int rc = run(app, join_units(CLI::detail::split_up(line)),
                           fmt::format("mfbctl: line {}: ", number));
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
    GlobalOptions global;
    add_commands(app, global, false);

    auto shell_options = std::make_shared<ShellOptions>();
    bool run_shell = false;
    auto* sh = app.add_subcommand(
        "shell", fmt::format("run commands from a file or the standard input, one a line, on the "
                             "same boards{}",
                             *line_editing() ? " (line editing and history on a terminal)"
                                             : " (plain lines: this build has no line editing)"));
    sh->group(kSession);
    sh->add_option("FILE", shell_options->file, "file of commands (default: standard input)");
    sh->add_flag("-e,--exit-on-error", shell_options->exit_on_error,
                 "stop at the first line that fails");
    sh->callback([&] { run_shell = true; });

    Bench bench;
    app.parse_complete_callback([&] {
        mfb::vbus::reset_process();
        bench.start(global.boards.value_or(2));
        if (const char* layout = std::getenv("MFB_SIM_LAYOUT"); layout && *layout)
            global.layouts.insert(global.layouts.begin(), layout);
        bench.fit(global.layouts);
    });

    const std::vector<std::string> args(argv + 1, argv + argc);
    int rc = run(app, join_units(args), "mfbctl: ");
    if (rc == 0 && run_shell)
        rc = shell(*shell_options, bench);
    bench.stop();
    return rc;
}
