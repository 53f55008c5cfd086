#include "ui/qt/frm_main.hpp"

#include "ui/qt/accessibility.hpp"
#include "ui/qt/caption_metrics.hpp"
#include "ui/qt/module_list.hpp"
#include "ui/qt/qt_file_dialog.hpp"
#include "ui/qt/qt_text.hpp"

#include <QCheckBox>
#include <QComboBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>

#include <limits>
#include <stdexcept>
#include <utility>

// The window icon, compiled in as its image array: read from a file or resource, it would go
// through the image reader, which loads every image-format plugin to learn the format.
#include "ui/resources/icon.xpm"

// Resources of a static library have to be registered by hand, outside any namespace.
static void initUiResources() {
    Q_INIT_RESOURCE(qmu_ui);
}

namespace quentra::ui {

using model::Control;
using model::ControlKind;
using model::ControlRef;

frmMain::frmMain(core::ConfigStore& store, core::FileSystem& fileSystem,
                 std::optional<std::string> appDir, frmMainServices services, QWidget* parent)
    : QWidget(parent), requestedAppDir_(std::move(appDir)), services_(std::move(services)) {
    initUiResources();
    installAccessibility();
    if (!services_.makeFileDialog) {
        services_.makeFileDialog = [](QWidget* owner) -> std::unique_ptr<core::FileDialog> {
            return std::make_unique<QtFileDialog>(owner);
        };
    }
    if (!services_.messages) {
        services_.messages = std::make_shared<MessageBoxPresenter>();
    }

    createDesignedControls();
    fitCaptions();
    setFocusOrder();
    connectHandlers();

    view_ = makeView();
    model_ = std::make_unique<model::WindowModel>(*view_, store, fileSystem);
    model_->Form_Load();
}

// The dialog adapter goes first: it owns a child of this window.
frmMain::~frmMain() {
    dlgFile.reset();
}

// The Qt control of a designed row, by its kind, with the row's text.
QWidget* frmMain::makeControl(const model::DesignedControl& row) {
    const QString text = fromUtf8(row.text);
    switch (row.kind) {
    case ControlKind::Label: {
        auto* label = new QLabel(text, this);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        return label;
    }
    case ControlKind::TextBox: {
        auto* box = new QLineEdit(text, this);
        box->setMaxLength(std::numeric_limits<int>::max()); // no limit of the design's
        return box;
    }
    case ControlKind::DropDownList: {
        auto* list = new ModuleList(this);
        list->setEditable(false);
        return list;
    }
    case ControlKind::Button: {
        auto* button = new QPushButton(text, this);
        // Enter and Esc must press nothing: no default button, none that becomes one on focus.
        button->setAutoDefault(false);
        button->setDefault(false);
        return button;
    }
    case ControlKind::CheckBox:
        return new QCheckBox(text, this);
    }
    throw std::invalid_argument("no such kind of control");
}

void frmMain::createDesignedControls() {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(fromUtf8(model::kWindowTitle));
    setWindowIcon(QIcon(QPixmap(quentra_icon)));
    setWindowFlag(Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(px(model::kClientWidth), px(model::kDesignClientHeight));

    for (const model::DesignedControl& row : model::kDesignedControls) {
        QWidget* widget = makeControl(row);
        widget->setObjectName(fromUtf8(row.name));
        widget->setGeometry(px(row.left), px(row.top), px(row.width), px(row.height));
        if (!row.tooltip.empty()) {
            widget->setToolTip(fromUtf8(row.tooltip));
        }
        if (!row.accessibleName.empty()) {
            widget->setAccessibleName(fromUtf8(row.accessibleName));
        }
        controls_.at(model::slotOf(row.ref)) = widget;
    }
    // The list takes the caption "Module Type" from the label that has it as its buddy; the
    // box beside them, which the same caption stands for, is told apart as the type code.
    control<QLabel>({Control::lblType})->setBuddy(control({Control::cmbType}));
    control({Control::txtType})->setAccessibleName(QStringLiteral("Module Type code"));
}

// The design was laid out for a smaller UI font than most platforms use, and some captions
// ("Module Address") are wider than their boxes at the platform's default. The caption boxes
// widen into the free room the model allows them, and the window keeps the platform's font.
// Only where that room is not enough is the same family used at the largest size at which every
// caption is whole; changing the font costs a second font engine and a re-layout of every
// control.
void frmMain::fitCaptions() {
    CaptionMetrics metrics(*this);
    const model::CaptionFit fit = model::fitCaptions(metrics);
    if (fit.size != 0) {
        setFont(metrics.fontAt(fit.size));
    }
    const auto captions = model::captionBoxes();
    for (std::size_t i = 0; i < captions.size(); ++i) {
        QWidget* box = control(captions.at(i).ref);
        box->resize(px(fit.widths.at(i)), box->height());
    }
}

void frmMain::setFocusOrder() {
    QWidget* previous = nullptr;
    for (const ControlRef ref : model::designedFocusOrder()) {
        QWidget* next = control(ref);
        if (previous != nullptr) {
            setTabOrder(previous, next);
        }
        previous = next;
    }
    lastInFocus_ = previous;
    control({Control::txtType})->setFocus();
}

// Only the user's actions reach the model: Qt reports the program's own changes of the list index
// and of a box's state too, so the view blocks them (View::setListIndex, View::setChecked).
// chkAll follows every change of its state, not only `clicked`: the accessibility action
// "Toggle" changes the state without a click, and the program never sets chkAll.
void frmMain::connectHandlers() {
    const std::pair<Control, void (model::WindowModel::*)()> buttons[] = {
        {Control::cmdSelect, &model::WindowModel::cmdSelect_Click},
        {Control::cmdOk, &model::WindowModel::cmdOk_Click},
        {Control::cmdCancel, &model::WindowModel::cmdCancel_Click},
    };
    connect(control<QComboBox>({Control::cmbType}), &QComboBox::currentIndexChanged, this,
            [this] { runHandler(&model::WindowModel::cmbType_Click); });
    connect(control<QCheckBox>({Control::chkAll}), &QCheckBox::toggled, this,
            [this] { runHandler(&model::WindowModel::chkAll_Click); });
    for (const auto& button : buttons) {
        connect(control<QPushButton>({button.first}), &QPushButton::clicked, this,
                [this, handler = button.second] { runHandler(handler); });
    }
}

// An exception must not unwind through Qt's event loop, which would end the program: a fault of
// a handler is shown, and the window stays.
void frmMain::runHandler(void (model::WindowModel::*handler)()) {
    try {
        (model_.get()->*handler)();
    } catch (const std::exception& error) {
        services_.messages->showWarning(this, fromUtf8(model::kWindowTitle),
                                        QString::fromUtf8(error.what()));
    }
}

void frmMain::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!shown_) {
        shown_ = true;
        // After the window is on screen, so that a message has the window behind it.
        QTimer::singleShot(0, this, [this] { model_->windowShown(); });
    }
}

} // namespace quentra::ui
