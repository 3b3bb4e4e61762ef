// Redirecting a loaded module's imports: the entries of its import address table through which it
// calls named functions of a named DLL are overwritten with other addresses, so that from then on
// the module calls those instead. Nothing else changes: the module's other imports, and every
// other module's, still reach Windows.
#pragma once

#include "platform/win32.h"

#include <string>
#include <vector>

namespace mfb::sim::windows {

struct Redirect {
    const char* dll;      // as the import table names it, compared without regard to case
    const char* function; // imported by this name
    void* replacement;
};

// Patches every import of the module that a redirect names. Returns the redirects that found no
// such import, as "dll!function" (empty when all were patched).
std::vector<std::string> redirect_imports(HMODULE module, const std::vector<Redirect>& redirects);

} // namespace mfb::sim::windows
