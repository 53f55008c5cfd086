#include "core/firmware_selection.hpp"

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

        // Each result goes to the window as soon as it is known, before the next step runs.
        analyseFirmwareFile(fullPath, fs, [&](AnalysisStep step, const FirmwareFileInfo& info) {
            switch (step) {
            case AnalysisStep::ShortName:
                sink.setFileNameText(info.shortName);
                stage = SelectOutcome::StoppedAtLength;
                break;
            case AnalysisStep::Length:
                sink.setFileSizeText(*info.lengthText);
                sink.setBlockSizeText(*info.blockSizeText);
                stage = SelectOutcome::StoppedAtPrefix;
                break;
            case AnalysisStep::Prefix:
                // Setting the row runs type selection, which rewrites the type code box.
                sink.setListIndex(*info.catalogueIndex);
                stage = SelectOutcome::Complete;
                break;
            }
        });
        return stage;
    } catch (...) {
        return stage;
    }
}

} // namespace quentra::core
