#pragma once

#include "core/config_store.hpp"
#include "core/file_system.hpp"
#include "core/firmware_selection.hpp"
#include "core/upgrade_settings.hpp"
#include "ui/model/layout.hpp"
#include "ui/model/window_model.hpp"
#include "ui/qt/message_presenter.hpp"

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

// Design units to Qt's logical pixels: 15 twips make one, Qt scales them to the screen.
constexpr int px(int twips) {
    return model::pixelsFromTwips(twips);
}
constexpr int twips(int pixels) {
    return model::twipsFromPixels(pixels);
}

// The program's only window: the Qt view of the window model, which runs its handlers. Load
// runs in the constructor, so the window is complete before it is first shown.
class frmMain : public QWidget {
    Q_OBJECT

public:
    // `appDir` replaces the executable's directory (tests use a temporary one).
    explicit frmMain(std::optional<std::string> appDir = std::nullopt,
                     frmMainServices services = {}, QWidget* parent = nullptr);
    ~frmMain() override;

    const std::string& appDir() const { return model_->appDir(); }

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

    // The Qt control of a designed or created control.
    QWidget* control(model::ControlRef ref) const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    class View;

    void createDesignedControls();
    void bind(model::ControlRef ref, QWidget* widget);
    void fitCaptions();
    void setFocusOrder();
    void connectHandlers();

    std::optional<std::string> requestedAppDir_;
    frmMainServices services_;
    std::unique_ptr<core::FileDialog> dlgFile;
    std::unique_ptr<View> view_;
    std::unique_ptr<model::WindowModel> model_;
    QWidget* lastInFocus_ = nullptr;
    bool shown_ = false;
};

} // namespace quentra::ui
