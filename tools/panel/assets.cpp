#include "assets.h"

namespace mfbctl::panel {
namespace {
#include "panel_assets.inc"
} // namespace

const Asset* find_asset(std::string_view path) {
    for (const Asset& a : kAssets)
        if (path == a.path)
            return &a;
    return nullptr;
}

} // namespace mfbctl::panel
