#include "ui/model/window_model.hpp"

#include "core/catalogue.hpp"
#include "core/firmware.hpp"
#include "core/paths.hpp"
#include "core/upgrade_settings.hpp"
#include "ui/model/messages.hpp"

#include <utility>

namespace quentra::ui::model {

namespace {

ControlRef gridBox(int index) {
    return {Control::ChkAddr, index};
}

ControlRef portLabel(int port) {
    return {Control::lblPort, port};
}

} // namespace

WindowModel::WindowModel(WindowView& view, core::ConfigStore& store, core::FileSystem& fileSystem)
    : view_(view), iniFile(store), fileSystem_(fileSystem) {}

void WindowModel::selectListIndex(int index) {
    // A toolkit reports no change when the index stays; neither does the model.
    if (view_.listIndex() == index) {
        return;
    }
    view_.setListIndex(index);
    cmbType_Click();
}

void WindowModel::buildGridAndSizeWindow() {
    for (int p = 1; p < core::kPortCount; ++p) {
        const ControlRef label = portLabel(p);
        view_.createCopy(label);
        view_.setVisible(label, true);
        view_.setTop(label, view_.top(portLabel(p - 1)) + kRowPitch);
        view_.setCaption(label, portCaption(p));
        for (int c = 0; c < core::kAddressColumns; ++c) {
            const int i = core::boxIndex(p, c);
            const ControlRef box = gridBox(i);
            view_.createCopy(box);
            view_.setVisible(box, true);
            view_.setTop(box, view_.top(gridBox(i - core::kAddressColumns)) + kRowPitch);
            view_.setLeft(box, columnLeft(c));
        }
    }
    view_.setOuterHeight(view_.top(portLabel(core::kPortCount - 1)) + kOuterHeightBelowLastRow);
    view_.setTop({Control::cmdOk}, view_.outerHeight() - kButtonsAboveOuterBottom);
    view_.setTop({Control::cmdCancel}, view_.top({Control::cmdOk}));
}

void WindowModel::Form_Load() {
    AppDir = core::withTrailingSeparator(view_.programDirectory());

    view_.clearList();
    for (std::string_view name : core::displayNames()) {
        view_.addListEntry(name);
    }
    view_.setListIndex(-1);

    buildGridAndSizeWindow();

    const core::LoadedJob job = core::loadSettings(iniFile, fileSystem_, AppDir);
    // txtType before the list index, so that type selection has the last word on it.
    for (const core::JobFieldKey& row : core::kJobFields) {
        if (const std::optional<std::string>& text = job.texts[row.field]) {
            view_.setText(row.field, *text);
        }
    }
    selectListIndex(job.listIndex);
    for (int i = 0; i < core::kBoxCount; ++i) {
        if (job.ticked.test(static_cast<std::size_t>(i))) {
            view_.setChecked(gridBox(i), true);
        }
    }
    if (job.readError) {
        pendingLoadWarning_ = unreadableConfigMessage(AppDir, *job.readError);
        unreadAtLoad_ = true;
    }
}

void WindowModel::windowShown() {
    if (pendingLoadWarning_) {
        const std::string text = std::move(*pendingLoadWarning_);
        pendingLoadWarning_.reset();
        view_.warn(kWindowTitle, text);
    }
}

void WindowModel::cmbType_Click() {
    view_.setText(core::JobField::Type, std::to_string(core::codeForIndex(view_.listIndex())));
}

void WindowModel::chkAll_Click() {
    const bool ticked = view_.checkState({Control::chkAll}) == 1;
    for (int i = 0; i < core::kBoxCount; ++i) {
        view_.setChecked(gridBox(i), ticked);
    }
}

void WindowModel::cmdSelect_Click() {
    core::FileDialog& dialog = view_.fileDialog();
    try {
        dialog.setFlags(core::kOfnHideReadOnly);
        dialog.setCancelError(true);
        dialog.setInitDir(AppDir);
        dialog.setFilter(std::string(core::kFirmwareFilter));
        dialog.setDialogTitle(std::string(core::kDialogTitle));
        dialog.showOpen();
        const std::string fullPath = dialog.fileName();

        // Each result reaches the window before the next step asks for anything.
        const std::string_view shortName = core::shortNameForPath(fullPath);
        view_.setText(core::JobField::FileName, std::string(shortName));
        // The full path, not the short name: the image need not lie in the current directory.
        const std::int32_t length = fileSystem_.fileLength(fullPath);
        view_.setText(core::JobField::FileSize, std::to_string(length));
        view_.setText(core::JobField::BlockSize, core::blockSizeForLength(length));
        if (const auto prefix = core::prefixForShortName(shortName)) {
            selectListIndex(core::indexForPrefix(core::toUpperAscii(*prefix)));
        }
    } catch (...) {
        // Cancel, or a fault of the dialog, the file system or the window: Select ends where it
        // stands and says nothing; what the window was given before stays.
    }
}

void WindowModel::cmdOk_Click() {
    core::JobControls controls;
    for (const core::JobFieldKey& row : core::kJobFields) {
        controls.texts[row.field] = view_.text(row.field);
    }
    for (int i = 0; i < core::kBoxCount; ++i) {
        controls.boxStates.at(static_cast<std::size_t>(i)) = view_.checkState(gridBox(i));
    }

    core::UpgradeSettings settings;
    try {
        settings = core::settingsFromControls(controls);
    } catch (const core::InvalidValueError& error) {
        view_.warn(kWindowTitle, invalidValueMessage(error.field, error.what()));
        return;
    }
    if (unreadAtLoad_) {
        if (!view_.confirm(kWindowTitle, replaceUnreadConfigQuestion(AppDir))) {
            return;
        }
        unreadAtLoad_ = false;
    }
    try {
        core::saveSettings(iniFile, AppDir, settings);
        iniFile.commit();
    } catch (const core::FileInUseError& error) {
        view_.warn(kWindowTitle, fileInUseMessage(AppDir, error));
        return;
    } catch (const core::ReadBackMismatchError& error) {
        view_.warn(kWindowTitle, readBackMismatchMessage(AppDir, shownText(error.key), error));
        return;
    } catch (const core::NotDurableError& error) {
        view_.warn(kWindowTitle, notDurableMessage(AppDir, error.what())); // saved all the same
    } catch (const core::StoreError& error) {
        view_.warn(kWindowTitle, failedCommitMessage(AppDir, error.what()));
        return;
    }
    view_.close();
}

std::string WindowModel::shownText(std::string_view key) const {
    for (const core::JobFieldKey& row : core::kJobFields) {
        if (row.key == key) {
            return view_.text(row.field);
        }
    }
    // A port key: the captions of its ticked columns.
    for (int p = 0; p < core::kPortCount; ++p) {
        if (core::portKey(p + 1) != key) {
            continue;
        }
        std::string ticked;
        for (int c = 0; c < core::kAddressColumns; ++c) {
            if (view_.checkState(gridBox(core::boxIndex(p, c))) == 1) {
                ticked.append(ticked.empty() ? "" : " ")
                    .append(designOf({Control::LblAddr, c}).text);
            }
        }
        return ticked.empty() ? "no box ticked" : ticked + " ticked";
    }
    return {};
}

void WindowModel::cmdCancel_Click() {
    view_.close();
}

} // namespace quentra::ui::model
