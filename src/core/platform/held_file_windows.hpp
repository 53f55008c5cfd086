#pragma once

// Windows only: opening a file that another program (a virus scanner, an indexer, a sync client)
// may hold for a moment without sharing it.

#include "core/config_store.hpp"

#include <cstdint>
#include <string>

#include <windows.h>

namespace quentra::core::detail {

// Opens `path` (UTF-8) with CreateFileW as asked, waiting out such a holder for
// kMomentaryHolderPatience; -1 with GetLastError's error in `error` when it does not open for
// another reason. A holder that keeps it past the wait throws FileInUseError naming `held`:
// `what` "path": the reason.
std::intptr_t openWaiting(const std::string& path, DWORD access, DWORD share, DWORD disposition,
                          DWORD attributes, HeldFile held, const std::string& what, DWORD& error);

} // namespace quentra::core::detail
