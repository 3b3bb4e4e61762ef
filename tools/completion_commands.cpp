// Shell completion: `mfbctl completion bash` writes a bash completion script made from the command
// table itself, so that it knows every command, step, option and choice the tool has. The build
// writes it and installs it (with the man page, made from `mfbctl help --all`).
//
// In the script, a command is named by its path ("mfbctl counter compare"); for each it lists the
// commands below it, its options, and the values its options and arguments take where they are
// a choice (a path, then | and the option, or | alone for its arguments; "@file" for file names).
// A word of a family's step chain may be any step of the family, so the completion climbs from
// the step it is at to the family for the next word, but not above it.
#include "mfbctl.h"

#include <algorithm>
#include <map>

namespace mfbctl {
namespace completion_commands {

// "mfbctl counter compare": bash takes no empty key, so the tool's own name is the root.
std::string path_of(const CLI::App* app) {
    std::string path;
    for (; app && app->get_parent(); app = app->get_parent())
        path = " " + app->get_name() + path;
    return "mfbctl" + path;
}

// The values an option takes where they are names: its choices as the help shows them
// ("single|rate"), file names for files.
std::string values_of(const CLI::Option* o) {
    const std::string name = o->get_name();
    if (name == "FILE" || name == "PAYLOAD" || name == "OUT")
        return "@file";
    std::string text = o->get_option_text();
    if (text.find('|') == std::string::npos)
        return "";
    std::replace(text.begin(), text.end(), '|', ' ');
    return text;
}

struct Table {
    std::map<std::string, std::string> children, options, values;
};

void collect(const CLI::App* app, Table& t) {
    const std::string path = path_of(app);
    std::string children, options;
    for (const CLI::App* sub : app->get_subcommands({}))
        children += (children.empty() ? "" : " ") + sub->get_name();
    for (const CLI::Option* o : app->get_options()) {
        if (o->get_positional()) {
            if (std::string v = values_of(o); !v.empty())
                t.values[path + "|"] += (t.values[path + "|"].empty() ? "" : " ") + v;
            continue;
        }
        for (const std::string& n : o->get_lnames())
            options += (options.empty() ? "" : " ") + ("--" + n);
        for (const std::string& n : o->get_snames())
            options += (options.empty() ? "" : " ") + ("-" + n);
        if (o->get_type_size() != 0) {
            for (const std::string& n : o->get_lnames())
                t.values[path + "|--" + n] = values_of(o);
            for (const std::string& n : o->get_snames())
                t.values[path + "|-" + n] = values_of(o);
        }
    }
    t.children[path] = children;
    t.options[path] = options;
    for (const CLI::App* sub : app->get_subcommands({}))
        collect(sub, t);
}

std::string array(const char* name, const std::map<std::string, std::string>& items) {
    std::string text = fmt::format("declare -gA {}=(\n", name);
    for (const auto& [key, value] : items)
        text += fmt::format("  [\"{}\"]=\"{}\"\n", key, value);
    return text + ")\n";
}

constexpr const char* kFunction = R"(
# The command path the words before the cursor lead to, from the tables above.
_mfbctl_path() {
    local path=mfbctl word p i skip=0
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        if ((skip)); then skip=0; continue; fi
        p=$path
        while :; do
            if [[ $word == -* ]]; then
                [[ -n ${_mfbctl_values["$p|$word"]+x} ]] && { skip=1; break; }
            elif [[ " ${_mfbctl_children[$p]} " == *" $word "* ]]; then
                path="$p $word"
                break
            fi
            # Options climb to the root; a step chain climbs to its family, not above it.
            [[ $p == *" "* && ($word == -* || $p == *" "*" "*) ]] || break
            p=${p% *}
        done
    done
    echo "$path"
}

_mfbctl() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]} path p words=""
    path=$(_mfbctl_path)
    COMPREPLY=()
    p=$path
    while [[ $prev == -* ]]; do
        if [[ -n ${_mfbctl_values["$p|$prev"]+x} ]]; then
            words=${_mfbctl_values["$p|$prev"]}
            [[ $words == @file ]] && COMPREPLY=($(compgen -f -- "$cur")) ||
                COMPREPLY=($(compgen -W "$words" -- "$cur"))
            return 0
        fi
        [[ $p == *" "* ]] || break
        p=${p% *}
    done
    if [[ $cur == -* ]]; then
        p=$path
        while :; do
            words+=" ${_mfbctl_options[$p]}"
            [[ $p == *" "* ]] || break
            p=${p% *}
        done
    elif [[ ${_mfbctl_values["$path|"]} == @file ]]; then
        COMPREPLY=($(compgen -f -- "$cur"))
        return 0
    else
        words="${_mfbctl_children[$path]} ${_mfbctl_values["$path|"]}"
        p=$path
        while [[ $p == *" "*" "* ]]; do
            p=${p% *}
            words+=" ${_mfbctl_children[$p]}"
        done
    fi
    COMPREPLY=($(compgen -W "$words" -- "$cur"))
}
complete -F _mfbctl mfbctl
)";

void add_completion_commands(CLI::App& app) {
    auto shell = std::make_shared<unsigned>(0);
    auto* cmd = app.add_subcommand("completion", "write the shell completion script (bash), as "
                                                 "the build installs it");
    cmd->group(kSession);
    add_choice(cmd, "SHELL", *shell, {{"bash", 0}}, "shell", "the shell: bash")->required();
    cmd->callback([&app, shell] { // the choice's target lives as long as the command
        Table t;
        collect(&app, t);
        std::string script = "# bash completion of mfbctl, made by `mfbctl completion bash` from "
                             "its command table.\n";
        script += array("_mfbctl_children", t.children) + array("_mfbctl_options", t.options) +
                  array("_mfbctl_values", t.values) + kFunction;
        std::fputs(script.c_str(), stdout);
    });
}
const RegisterCommands registered(650, add_completion_commands);

} // namespace completion_commands
} // namespace mfbctl
