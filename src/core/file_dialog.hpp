#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quentra::core {

// Raised by FileDialog::showOpen when the user cancels and CancelError is set.
struct DialogCancelled : std::runtime_error {
    DialogCancelled() : std::runtime_error("the file dialog was cancelled") {}
};

// The open-file dialog as Select drives it: five properties, ShowOpen, FileName.
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

inline constexpr std::int32_t kOfnHideReadOnly = 4;
inline constexpr std::string_view kFirmwareFilter = "*.bin";
inline constexpr std::string_view kDialogTitle = "Specify File Name";

} // namespace quentra::core
