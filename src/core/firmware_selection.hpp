#pragma once

#include "file_dialog.hpp"
#include "file_system.hpp"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quentra::core {

// Where the selection writes its results: the window's fields and module list.
class SelectionSink {
public:
    virtual ~SelectionSink() = default;
    virtual void setFileNameText(const std::string& text) = 0;
    virtual void setFileSizeText(const std::string& text) = 0;
    virtual void setBlockSizeText(const std::string& text) = 0;
    // Selecting the row runs type selection, which rewrites the type code box.
    virtual void setListIndex(std::int16_t index) = 0;
};

enum class SelectOutcome {
    Complete,        // all three fields and the list index written
    DialogFailed,    // Cancel, or an error while the dialog was set up, shown or read: nothing
    StoppedAtLength, // only the file name written
    StoppedAtPrefix, // file name, size and block size written; list untouched
};

// Shows the dialog, analyses the chosen path and writes the results in order. Any error ends the
// action at once, keeping what was written before it; nothing escapes.
SelectOutcome selectFirmwareFile(FileDialog& dialog, FileSystem& fs, SelectionSink& sink,
                                 const std::string& appDir) noexcept;

} // namespace quentra::core
