#pragma once

#include "file_system.hpp"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quentra::core {

// Raised by FileDialog::showOpen when the user cancels and CancelError is set.
struct DialogCancelled : std::runtime_error {
    DialogCancelled() : std::runtime_error("the file dialog was cancelled") {}
};

// The open-file dialog as the selection drives it: five properties, ShowOpen, FileName.
class FileDialog {
public:
    virtual ~FileDialog() = default;
    virtual void setFlags(std::int32_t flags) = 0;
    virtual void setCancelError(bool raise) = 0;
    virtual void setInitDir(const std::string& dir) = 0;
    virtual void setFilter(const std::string& filter) = 0;
    virtual void setDialogTitle(const std::string& title) = 0;
    // Modal. Returns when a name was confirmed; throws DialogCancelled on Cancel.
    virtual void showOpen() = 0;
    virtual std::string fileName() = 0;
};

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

inline constexpr std::int32_t kOfnHideReadOnly = 4;
inline constexpr std::string_view kFirmwareFilter = "*.bin";
inline constexpr std::string_view kDialogTitle = "Specify File Name";

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
