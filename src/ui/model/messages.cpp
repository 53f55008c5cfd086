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

std::string unreadableConfigMessage(std::string_view appDir, std::string_view reason) {
    return "The saved job in " + quoted(core::configFilePath(appDir)) +
           " could not be read: " + std::string(reason) +
           "\nThe window shows what could be read of it.";
}

} // namespace quentra::ui::model
