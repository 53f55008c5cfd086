#include "ui/model/messages.hpp"

#include "core/in_quotes.hpp"
#include "core/paths.hpp"
#include "ui/model/layout.hpp"

namespace quentra::ui::model {

using core::inQuotes;

std::string invalidValueMessage(core::JobField field, std::string_view reason) {
    return inQuotes(fieldCaption(field)) +
           " holds a value that cannot be stored: " + std::string(reason) + "\nNothing was saved.";
}

std::string failedCommitMessage(std::string_view appDir, std::string_view reason) {
    return "The job could not be saved to " + inQuotes(core::configFilePath(appDir)) + ": " +
           std::string(reason) + "\nThe file was left as it was.";
}

std::string notDurableMessage(std::string_view appDir, std::string_view reason) {
    return "The job was saved to " + inQuotes(core::configFilePath(appDir)) +
           ", but the system could not confirm that it reached the disk: " + std::string(reason) +
           "\nThe saved job may not survive a power loss.";
}

std::string readBackMismatchMessage(std::string_view appDir, std::string_view shown,
                                    const core::ReadBackMismatchError& error) {
    const std::string key = inQuotes(error.key);
    const std::string reading =
        error.read ? "gives " + key + " as " + inQuotes(*error.read) : "has no " + key;
    std::string text =
        "The job was not saved: the new " + inQuotes(core::configFilePath(appDir)) +
        (error.asTheConsumer ? ", read as the upgrade consumer reads it, " : ", read back, ") +
        reading + ".\nThe window holds " + inQuotes(shown) + ", stored as " + inQuotes(error.put) +
        ".";
    if (error.asTheConsumer && error.utf8File) {
        text += "\nThe file is in UTF-8, an encoding that Windows does not read in such files: "
                "save it as ANSI or UTF-16 in a text editor, or remove it to start from the "
                "defaults.";
    }
    return text + "\nThe file was left as it was.";
}

std::string fileInUseMessage(std::string_view appDir, const core::FileInUseError& error) {
    const std::string config = inQuotes(core::configFilePath(appDir));
    switch (error.file) {
    case core::HeldFile::Lock:
        return "The job was not saved: the lock file " + inQuotes(error.path) + " beside " +
               config +
               " is held by another program, such as a second save of the job.\nPress Ok again "
               "once it has let go. The file was left as it was.";
    case core::HeldFile::NewFile:
        return "The job was not saved: another program, such as a virus scanner or a sync "
               "client, held the new file written to replace " +
               config + ", " + inQuotes(error.path) +
               ", for longer than a save waits.\nPress Ok again to save the job. The file was "
               "left as it was.";
    case core::HeldFile::Settings:
        break;
    }
    return "The job was not saved: " + config +
           " is in use by another program.\nClose it there, then press Ok again to save the job. "
           "The file was left as it was.";
}

std::string unreadableConfigMessage(std::string_view appDir, std::string_view reason) {
    return "The saved job in " + inQuotes(core::configFilePath(appDir)) +
           " could not be read: " + std::string(reason) +
           "\nThe window shows what could be read of it.";
}

std::string replaceUnreadConfigQuestion(std::string_view appDir) {
    return "The saved job in " + inQuotes(core::configFilePath(appDir)) +
           " could not be read when the window opened, so the window may not show all of it."
           "\nReplace the saved job with the one shown here?";
}

} // namespace quentra::ui::model
