#pragma once

#include "core/config_store.hpp"
#include "core/file_dialog.hpp"
#include "core/file_system.hpp"
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
class QLabel;
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

    // The Qt control of a designed or created control, as its class: QLabel, QLineEdit,
    // QComboBox, QPushButton or QCheckBox by the control's kind; nullptr for another class, or
    // for a member of lblPort or ChkAddr that load has not created.
    template <class Widget = QWidget> Widget* control(model::ControlRef ref) const {
        return qobject_cast<Widget*>(widgetOf(ref));
    }

protected:
    void showEvent(QShowEvent* event) override;

private:
    class View;

    QWidget* widgetOf(model::ControlRef ref) const;
    void createDesignedControls();
    void fitCaptions();
    void setFocusOrder();
    void connectHandlers();
    void runHandler(void (model::WindowModel::*handler)());

    std::optional<std::string> requestedAppDir_;
    frmMainServices services_;
    std::unique_ptr<core::FileDialog> dlgFile;
    // The controls: one per row of the design table, in its order, and the two arrays that load
    // completes (their member 0 is a designed row too).
    std::array<QWidget*, model::kDesignedControlCount> designed_{};
    std::array<QLabel*, core::kPortCount> lblPort{};
    std::array<QCheckBox*, core::kBoxCount> ChkAddr{};
    std::unique_ptr<View> view_;
    std::unique_ptr<model::WindowModel> model_;
    QWidget* lastInFocus_ = nullptr;
    bool shown_ = false;
};

} // namespace quentra::ui
