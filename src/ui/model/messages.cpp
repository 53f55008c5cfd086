#include "ui/model/messages.hpp"

#include "core/paths.hpp"
#include "ui/model/layout.hpp"

namespace quentra::ui::model {

namespace {

std::string quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

} // namespace

std::string invalidValueMessage(core::JobField field, std::string_view reason) {
    return quoted(fieldCaption(field)) +
           " holds a value that cannot be stored: " + std::string(reason) + "\nNothing was saved.";
}

std::string failedCommitMessage(std::string_view appDir, std::string_view reason) {
    return "The job could not be saved to " + quoted(core::configFilePath(appDir)) + ": " +
           std::string(reason) + "\nThe file was left as it was.";
}

std::string notDurableMessage(std::string_view appDir, std::string_view reason) {
    return "The job was saved to " + quoted(core::configFilePath(appDir)) +
           ", but the system could not confirm that it reached the disk: " + std::string(reason) +
           "\nThe saved job may not survive a power loss.";
}

std::string readBackMismatchMessage(std::string_view appDir, std::string_view key,
                                    std::string_view put, const std::optional<std::string>& read) {
    return "The job was not saved: in the new " + quoted(core::configFilePath(appDir)) +
           ", the upgrade consumer would " +
           (read ? "read " + quoted(key) + " as " + quoted(*read) : "not find " + quoted(key)) +
           ", where the window holds " + quoted(put) + ".\nThe file was left as it was.";
}

std::string fileInUseMessage(std::string_view appDir) {
    return "The job was not saved: " + quoted(core::configFilePath(appDir)) +
           " is in use by another program.\nClose it there, then press Ok again to save the job. "
           "The file was left as it was.";
}

std::string unreadableConfigMessage(std::string_view appDir, std::string_view reason) {
    return "The saved job in " + quoted(core::configFilePath(appDir)) +
           " could not be read: " + std::string(reason) +
           "\nThe window shows what could be read of it.";
}

std::string replaceUnreadConfigQuestion(std::string_view appDir) {
    return "The saved job in " + quoted(core::configFilePath(appDir)) +
           " could not be read when the window opened, so the window may not show all of it."
           "\nReplace the saved job with the one shown here?";
}

} // namespace quentra::ui::model
