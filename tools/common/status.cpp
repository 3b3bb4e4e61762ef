#include "status.h"

#include <fmt/format.h>

#include <algorithm>

namespace mfbctl {
namespace {
#include "status_table.inc"
} // namespace

std::span<const ExportEntry> exports() {
    return kExports;
}

std::span<const StatusCode> codes(const ExportEntry& e) {
    return std::span<const StatusCode>(kStatusCodes).subspan(e.first, e.count);
}

const ExportEntry* find_export(std::string_view name) {
    auto it = std::find_if(std::begin(kExports), std::end(kExports),
                           [&](const ExportEntry& e) { return name == e.name; });
    return it == std::end(kExports) ? nullptr : &*it;
}

std::optional<long> driver_status(std::string_view function, int status) {
    const ExportEntry* e = find_export(function);
    if (!e)
        return std::nullopt;
    for (const StatusCode& c : codes(*e))
        if (c.code == status)
            return std::nullopt;
    const std::string_view rule = e->driver;
    if (rule == "minus_one")
        return status + 1L;
    if (rule == "negated")
        return -static_cast<long>(status);
    if (rule == "unchanged")
        return status;
    if (rule == "pwm")
        return -status - 100L;
    return std::nullopt;
}

std::string status_meaning(std::string_view function, int status) {
    const ExportEntry* e = find_export(function);
    if (!e)
        return "unknown function";
    for (const StatusCode& c : codes(*e))
        if (c.code == status)
            return c.meaning;
    if (const auto s = driver_status(function, status))
        return fmt::format("the board driver refused (driver status {})", *s);
    return "not a code of this function";
}

std::string describe_status(std::string_view function, int status) {
    return fmt::format("{}: {} {}", function, status, status_meaning(function, status));
}

CallFailed::CallFailed(const std::string& function, int status, const std::string& cause)
    : std::runtime_error(describe_status(function, status) + (cause.empty() ? "" : ": " + cause)),
      function(function), status(status) {}

void check(const char* function, int status) {
    if (status != 0)
        throw CallFailed(function, status);
}

} // namespace mfbctl
