// mfbctl: the command-line tool of the library. Each group of commands lives in a file of its
// own and registers itself (common/group.h); the pieces they share are in common/:
//   group.h    command groups, help sections, sessions, the step chains of the module families
//   options.h  checked numbers, choices, times with units, -b/--board and -m/--module
//   output.h   records printed as text, JSON (--json) or bare values (-q)
//   board.h    boards and module positions, and the calls checked against the status table
//   status.h   the status table: every export's codes and their meanings
#pragma once

#include "common/board.h"
#include "common/group.h"
#include "common/options.h"
#include "common/output.h"
#include "common/status.h"

#include "mfb.h"

#include <CLI/CLI.hpp>
#include <fmt/format.h>

#include <string>
#include <vector>

namespace mfbctl {

// Runs one command line of a session (the words after `mfbctl`) on the session's boards, as
// `mfbctl shell` runs each line: what it prints goes to the standard output, an error to the
// standard error after `prefix`. Returns the exit status.
int run_session_line(const std::vector<std::string>& words, const std::string& prefix);

} // namespace mfbctl
