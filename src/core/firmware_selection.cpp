#include "core/firmware_selection.hpp"

#include "core/catalogue.hpp"
#include "core/firmware.hpp"

namespace quentra::core {

SelectOutcome selectFirmwareFile(FileDialog& dialog, FileSystem& fs, SelectionSink& sink,
                                 const std::string& appDir) noexcept {
    // Each stage reports how far the action got; any error ends it there, keeping what the
    // window was already given and writing nothing more.
    SelectOutcome stage = SelectOutcome::DialogFailed;
    try {
        dialog.setFlags(kOfnHideReadOnly);
        dialog.setCancelError(true);
        dialog.setInitDir(appDir);
        dialog.setFilter(std::string(kFirmwareFilter));
        dialog.setDialogTitle(std::string(kDialogTitle));
        dialog.showOpen();
        const std::string fullPath = dialog.fileName();

        const std::string shortName(shortNameForPath(fullPath));
        sink.setFileNameText(shortName);

        stage = SelectOutcome::StoppedAtLength;
        const std::int32_t length = fs.fileLength(fullPath);
        sink.setFileSizeText(std::to_string(length));
        sink.setBlockSizeText(blockSizeForLength(length));

        stage = SelectOutcome::StoppedAtPrefix;
        const auto prefix = prefixForShortName(shortName);
        if (!prefix) {
            return stage;
        }
        // Setting the row runs type selection, which rewrites the type code box.
        sink.setListIndex(indexForPrefix(toUpperAscii(*prefix)));
        return SelectOutcome::Complete;
    } catch (...) {
        return stage;
    }
}

} // namespace quentra::core
