// The panel's files, compiled in at build time from tools/panel/page/ and the charting library
// that scripts/setup.sh fetches (cmake/panel.cmake): the page needs nothing from elsewhere.
#pragma once

#include <cstddef>
#include <string_view>

namespace mfbctl::panel {

struct Asset {
    const char* path; // as the page asks for it: "/panel.js"
    const char* type; // its media type, text in UTF-8
    const unsigned char* data;
    std::size_t size;
    std::string_view text() const { return {reinterpret_cast<const char*>(data), size}; }
};

// The file at a path; null for none.
const Asset* find_asset(std::string_view path);

} // namespace mfbctl::panel
