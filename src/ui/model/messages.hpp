#pragma once

// The texts of the window's warnings and its one question, made here so that every view shows
// the same words. Each goes out through WindowView::warn or WindowView::confirm with
// kWindowTitle as its title.

#include "core/job_field.hpp"

#include <optional>
#include <string>
#include <string_view>

namespace quentra::ui::model {

// Ok found a value that cannot be stored; `reason` is the core's explanation. Names the field by
// its caption: "\"Module Address\" holds a value that cannot be stored: ...".
std::string invalidValueMessage(core::JobField field, std::string_view reason);

// Ok could not make Config.dat durable; `reason` is the system's own.
std::string failedCommitMessage(std::string_view appDir, std::string_view reason);

// Ok saved the job, but the system could not make the save durable; `reason` is the system's own.
std::string notDurableMessage(std::string_view appDir, std::string_view reason);

// Ok did not save: the consumer would read `key` of the written file as `read` (none: would not
// find it), not as `put`, the value the window holds.
std::string readBackMismatchMessage(std::string_view appDir, std::string_view key,
                                    std::string_view put, const std::optional<std::string>& read);

// Ok could not save because another program holds Config.dat open or locked.
std::string fileInUseMessage(std::string_view appDir);

// Config.dat existed at load but could not be read; said once the window is on screen.
std::string unreadableConfigMessage(std::string_view appDir, std::string_view reason);

// Ok asks this before it replaces a Config.dat that could not be read at load.
std::string replaceUnreadConfigQuestion(std::string_view appDir);

} // namespace quentra::ui::model
