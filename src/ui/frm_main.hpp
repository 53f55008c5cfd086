#pragma once

#include "core/config_store.hpp"
#include "core/file_system.hpp"
#include "core/firmware_selection.hpp"
#include "core/upgrade_settings.hpp"
#include "ui/message_presenter.hpp"

#include <QString>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QShowEvent;

namespace quentra::ui {

// The platform services the window uses. Anything left empty gets the real one: the
// initialization-file store, the native file system, the Qt file dialog and QMessageBox.
struct frmMainServices {
    std::function<std::unique_ptr<core::FileDialog>(QWidget* parent)> makeFileDialog;
    std::shared_ptr<MessagePresenter> messages;
    std::shared_ptr<core::ConfigStore> store;
    std::shared_ptr<core::FileSystem> fileSystem;
};

// Design units: 15 twips make one logical pixel.
inline constexpr int kTwipsPerPixel = 15;
constexpr int px(int twips) {
    return twips / kTwipsPerPixel;
}
constexpr int twips(int pixels) {
    return pixels * kTwipsPerPixel;
}

// The program's only window. Load runs in the constructor, so the window is complete before
// it is first shown.
class frmMain : public QWidget {
    Q_OBJECT

public:
    // `appDir` replaces the executable's directory (tests use a temporary one).
    explicit frmMain(std::optional<std::string> appDir = std::nullopt,
                     frmMainServices services = {}, QWidget* parent = nullptr);
    ~frmMain() override;

    const std::string& appDir() const { return AppDir; }

    // The designed controls.
    QLabel* lblType = nullptr;
    QLineEdit* txtType = nullptr;
    QComboBox* cmbType = nullptr;
    QLabel* lblAddress = nullptr;
    QLineEdit* txtAddress = nullptr;
    QLabel* lblFileName = nullptr;
    QLineEdit* txtFileName = nullptr;
    QPushButton* cmdSelect = nullptr;
    QLabel* lblFileSize = nullptr;
    QLineEdit* txtFileSize = nullptr;
    QLabel* lblBlockSize = nullptr;
    QLineEdit* txtBlockSize = nullptr;
    QLabel* lblWait = nullptr;
    QLineEdit* txtWait = nullptr;
    QLabel* lblConsole = nullptr;
    QLineEdit* txtConsole = nullptr;
    QCheckBox* chkAll = nullptr;
    std::array<QLabel*, 4> LblAddr{};
    std::array<QLabel*, core::kPortCount> lblPort{};
    std::array<QCheckBox*, core::kBoxCount> ChkAddr{};
    QPushButton* cmdOk = nullptr;
    QPushButton* cmdCancel = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    class FieldSink;

    void createDesignedControls();
    void setFocusOrder();
    void buildGridAndSizeWindow();
    void fitCaptions();
    QLabel* copyOfLblPort0();
    QCheckBox* copyOfChkAddr0();
    core::JobControls jobControls() const;
    void warn(const QString& text);

    void Form_Load();
    void cmbType_Click();
    void chkAll_Click();
    void cmdSelect_Click();
    void cmdOk_Click();
    void cmdCancel_Click();

    std::optional<std::string> requestedAppDir_;
    std::string AppDir;
    frmMainServices services_;
    std::shared_ptr<core::ConfigStore> iniFile;
    std::unique_ptr<core::FileDialog> dlgFile;
    std::optional<QString> pendingReadError_;
};

} // namespace quentra::ui
