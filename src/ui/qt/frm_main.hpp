#pragma once

#include "core/config_store.hpp"
#include "core/file_dialog.hpp"
#include "core/file_system.hpp"
#include "ui/model/control_map.hpp"
#include "ui/model/layout.hpp"
#include "ui/model/window_model.hpp"
#include "ui/qt/message_presenter.hpp"

#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QShowEvent;

namespace quentra::ui {

// The platform services that tests replace beside the store and the file system. Anything left
// empty gets the real one: the Qt file dialog and QMessageBox.
struct frmMainServices {
    std::function<std::unique_ptr<core::FileDialog>(QWidget* parent)> makeFileDialog{};
    std::shared_ptr<MessagePresenter> messages{};
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
    // Load reads the job through `store` and `fileSystem`, which outlive the window. `appDir`
    // replaces the executable's directory (tests use a temporary one).
    frmMain(core::ConfigStore& store, core::FileSystem& fileSystem,
            std::optional<std::string> appDir = std::nullopt, frmMainServices services = {},
            QWidget* parent = nullptr);
    ~frmMain() override;

    // The Qt control of a designed or created control, as its class: QLabel, QLineEdit,
    // QComboBox, QPushButton or QCheckBox by the control's kind; nullptr for another class, or
    // for a member of lblPort or ChkAddr that load has not created.
    template <class Widget = QWidget> Widget* control(model::ControlRef ref) const {
        return qobject_cast<Widget*>(controls_.at(model::slotOf(ref)));
    }

protected:
    void showEvent(QShowEvent* event) override;

private:
    class View;

    std::unique_ptr<model::WindowView> makeView();
    QWidget* makeControl(const model::DesignedControl& row);
    void createDesignedControls();
    void fitCaptions();
    void setFocusOrder();
    void connectHandlers();
    void runHandler(void (model::WindowModel::*handler)());

    std::optional<std::string> requestedAppDir_;
    frmMainServices services_;
    std::unique_ptr<core::FileDialog> dlgFile;
    // Every control by its slot: the designed ones, and the members of lblPort and ChkAddr as
    // load creates them.
    std::array<QWidget*, model::kSlotCount> controls_{};
    std::unique_ptr<model::WindowView> view_;
    std::unique_ptr<model::WindowModel> model_;
    QWidget* lastInFocus_ = nullptr;
    bool shown_ = false;
};

} // namespace quentra::ui
