// The status table: every export of the library with its status codes and their meanings, compiled
// in from include/mfb_status.json. Every failure mfbctl prints comes from here.
#pragma once

#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace mfbctl {

struct StatusCode {
    int code;
    const char* meaning;
};

struct ExportEntry {
    int ordinal;
    const char* name;
    const char* family;
    const char* driver; // how unlisted codes come from the board driver's status; "" when none do
    unsigned first;     // the export's codes in status_codes()
    unsigned count;
};

std::span<const ExportEntry> exports();
std::span<const StatusCode> codes(const ExportEntry& e);
const ExportEntry* find_export(std::string_view name);

// What a function's status means, in words: the table's meaning, or for a code the board driver
// gave, the driver status it stands for.
std::string status_meaning(std::string_view function, int status);

// The board driver's status that a code the table does not list stands for, under the export's
// driver rule; nullopt for a listed code or an export whose codes are all listed.
std::optional<long> driver_status(std::string_view function, int status);

// "i_MFB_ReadTimerValue: -3 timer number above 2"
std::string describe_status(std::string_view function, int status);

// A library call that returned a nonzero status: the function, the code, its meaning and, where
// known, the cause on the board. main prints it and exits with 1.
struct CallFailed : std::runtime_error {
    CallFailed(const std::string& function, int status, const std::string& cause = "");
    std::string function;
    int status;
};

// Throws CallFailed unless the status is 0.
void check(const char* function, int status);

} // namespace mfbctl
