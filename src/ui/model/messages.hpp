#pragma once

// The texts of the window's warnings and its one question, made here so that every view shows
// the same words. Each goes out through WindowView::warn or WindowView::confirm with
// kWindowTitle as its title.

#include "core/config_store.hpp"
#include "core/job_field.hpp"

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

// Ok did not save: the written file, read back, did not give a key as stored. `shown` is the
// window's text for that key.
std::string readBackMismatchMessage(std::string_view appDir, std::string_view shown,
                                    const core::ReadBackMismatchError& error);

// Ok could not save because another program holds a file of the save open or locked:
// Config.dat, its lock file, or the new file written to replace it.
std::string fileInUseMessage(std::string_view appDir, const core::FileInUseError& error);

// Config.dat existed at load but could not be read; said once the window is on screen.
std::string unreadableConfigMessage(std::string_view appDir, std::string_view reason);

// Ok asks this before it replaces a Config.dat that could not be read at load.
std::string replaceUnreadConfigQuestion(std::string_view appDir);

} // namespace quentra::ui::model
