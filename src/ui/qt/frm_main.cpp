#include "ui/qt/frm_main.hpp"

#include "core/platform/ini_file_store.hpp"
#include "core/platform/native_file_system.hpp"
#include "ui/qt/qt_file_dialog.hpp"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFontMetrics>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QStyle>
#include <QTimer>

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <utility>
#include <vector>

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

namespace {

constexpr qreal kSmallestFontPoints = 6.0;

QString fromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The module list. The closed list is narrow; its drop-down shows every entry whole. The
// drop-down is widened when it first opens: measuring the 32 names and building the drop-down
// at load cost start-up about 2 of the 8 million instructions it took above a bare window.
class ModuleList final : public QComboBox {
public:
    using QComboBox::QComboBox;

    void showPopup() override {
        if (!widened_) {
            widened_ = true;
            const QFontMetrics metrics(font());
            int widest = 0;
            for (int i = 0; i < count(); ++i) {
                widest = std::max(widest, metrics.horizontalAdvance(itemText(i)));
            }
            view()->setMinimumWidth(widest + 4 * metrics.averageCharWidth() +
                                    style()->pixelMetric(QStyle::PM_ScrollBarExtent));
        }
        QComboBox::showPopup();
    }

private:
    bool widened_ = false;
};

} // namespace

// The model's view of this window: its operations on the Qt controls, in twips.
class frmMain::View final : public model::WindowView {
public:
    explicit View(frmMain& window) : w_(window) {}

    std::string programDirectory() const override {
        if (w_.requestedAppDir_) {
            return *w_.requestedAppDir_;
        }
        return QDir::toNativeSeparators(QCoreApplication::applicationDirPath()).toStdString();
    }

    std::string text(core::JobField field) const override {
        return textBox(field)->text().toStdString();
    }
    void setText(core::JobField field, const std::string& text) override {
        textBox(field)->setText(QString::fromStdString(text));
    }

    // Qt reports the program's own changes of the list too, and filling an empty list selects
    // its first entry: the signals stay blocked, as the model runs type selection itself.
    void clearList() override {
        const QSignalBlocker quiet(w_.cmbType);
        w_.cmbType->clear();
    }
    void addListEntry(std::string_view text) override {
        const QSignalBlocker quiet(w_.cmbType);
        w_.cmbType->addItem(fromUtf8(text));
    }
    int listIndex() const override { return w_.cmbType->currentIndex(); }
    void setListIndex(int index) override {
        {
            const QSignalBlocker quiet(w_.cmbType);
            w_.cmbType->setCurrentIndex(index);
        }
        w_.cmbType->setToolTip(w_.cmbType->currentText());
    }

    int checkState(ControlRef box) const override {
        switch (checkBox(box)->checkState()) {
        case Qt::Checked:
            return 1;
        case Qt::PartiallyChecked:
            return 2;
        case Qt::Unchecked:
            break;
        }
        return 0;
    }
    void setChecked(ControlRef box, bool ticked) override { checkBox(box)->setChecked(ticked); }

    void createCopy(ControlRef member) override {
        if (member.control == Control::lblPort) {
            const QLabel* original = w_.lblPort.at(0);
            auto* label = new QLabel(original->text(), &w_);
            label->setVisible(false);
            label->setGeometry(original->geometry());
            label->setAlignment(original->alignment());
            label->setObjectName(QString::fromStdString(model::controlName(member)));
            w_.lblPort.at(static_cast<std::size_t>(member.index)) = label;
        } else if (member.control == Control::ChkAddr) {
            const QCheckBox* original = w_.ChkAddr.at(0);
            auto* box = new QCheckBox(original->text(), &w_);
            box->setVisible(false);
            box->setGeometry(original->geometry());
            box->setChecked(false);
            box->setObjectName(QString::fromStdString(model::controlName(member)));
            box->setAccessibleName(
                QString::fromStdString(model::gridBoxAccessibleName(member.index)));
            w_.ChkAddr.at(static_cast<std::size_t>(member.index)) = box;
            // The created boxes follow the designed controls, in creation order.
            setTabOrder(w_.lastInFocus_, box);
            w_.lastInFocus_ = box;
        } else {
            throw std::invalid_argument("only lblPort and ChkAddr have copies");
        }
    }
    void setVisible(ControlRef control, bool visible) override {
        w_.control(control)->setVisible(visible);
    }
    int top(ControlRef control) const override { return twips(w_.control(control)->y()); }
    void setTop(ControlRef control, int value) override {
        QWidget* widget = w_.control(control);
        widget->move(widget->x(), px(value));
    }
    void setLeft(ControlRef control, int value) override {
        QWidget* widget = w_.control(control);
        widget->move(px(value), widget->y());
    }
    void setCaption(ControlRef control, std::string_view text) override {
        QWidget* widget = w_.control(control);
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            label->setText(fromUtf8(text));
        } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            button->setText(fromUtf8(text));
        }
    }
    // Qt sizes the client area: the outer heights go through the frame of the design.
    void setOuterHeight(int value) override {
        w_.setFixedHeight(px(value - model::kDesignFrameHeight));
    }
    int outerHeight() const override { return twips(w_.height()) + model::kDesignFrameHeight; }

    void warn(std::string_view title, std::string_view text) override {
        w_.services_.messages->showWarning(&w_, fromUtf8(title), fromUtf8(text));
    }
    void close() override { w_.close(); }
    core::FileDialog& fileDialog() override {
        if (!w_.dlgFile) {
            w_.dlgFile = w_.services_.makeFileDialog(&w_);
        }
        return *w_.dlgFile;
    }

private:
    QLineEdit* textBox(core::JobField field) const {
        return static_cast<QLineEdit*>(w_.control(model::textBoxOf(field).ref));
    }
    QCheckBox* checkBox(ControlRef box) const { return static_cast<QCheckBox*>(w_.control(box)); }

    frmMain& w_;
};

frmMain::frmMain(std::optional<std::string> appDir, frmMainServices services, QWidget* parent)
    : QWidget(parent), requestedAppDir_(std::move(appDir)), services_(std::move(services)) {
    initUiResources();
    if (!services_.makeFileDialog) {
        services_.makeFileDialog = [](QWidget* owner) -> std::unique_ptr<core::FileDialog> {
            return std::make_unique<QtFileDialog>(owner);
        };
    }
    if (!services_.messages) {
        services_.messages = std::make_shared<MessageBoxPresenter>();
    }
    if (!services_.store) {
        services_.store = std::make_shared<core::IniFileStore>();
    }
    if (!services_.fileSystem) {
        services_.fileSystem = std::make_shared<core::NativeFileSystem>();
    }

    createDesignedControls();
    fitCaptions();
    setFocusOrder();
    connectHandlers();

    view_ = std::make_unique<View>(*this);
    model_ = std::make_unique<model::WindowModel>(*view_, *services_.store, *services_.fileSystem);
    model_->Form_Load();
}

// The dialog adapter goes first: it owns a child of this window.
frmMain::~frmMain() {
    dlgFile.reset();
}

QWidget* frmMain::control(ControlRef ref) const {
    const auto at = [&ref](const auto& array) -> QWidget* {
        return array.at(static_cast<std::size_t>(ref.index));
    };
    switch (ref.control) {
    case Control::lblType:
        return lblType;
    case Control::txtType:
        return txtType;
    case Control::cmbType:
        return cmbType;
    case Control::lblAddress:
        return lblAddress;
    case Control::txtAddress:
        return txtAddress;
    case Control::lblFileName:
        return lblFileName;
    case Control::txtFileName:
        return txtFileName;
    case Control::cmdSelect:
        return cmdSelect;
    case Control::lblFileSize:
        return lblFileSize;
    case Control::txtFileSize:
        return txtFileSize;
    case Control::lblBlockSize:
        return lblBlockSize;
    case Control::txtBlockSize:
        return txtBlockSize;
    case Control::lblWait:
        return lblWait;
    case Control::txtWait:
        return txtWait;
    case Control::lblConsole:
        return lblConsole;
    case Control::txtConsole:
        return txtConsole;
    case Control::chkAll:
        return chkAll;
    case Control::LblAddr:
        return at(LblAddr);
    case Control::lblPort:
        return at(lblPort);
    case Control::ChkAddr:
        return at(ChkAddr);
    case Control::cmdOk:
        return cmdOk;
    case Control::cmdCancel:
        return cmdCancel;
    }
    return nullptr;
}

void frmMain::createDesignedControls() {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(fromUtf8(model::kWindowTitle));
    setWindowIcon(QIcon(QPixmap(quentra_icon)));
    setWindowFlag(Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(px(model::kClientWidth), px(model::kDesignClientHeight));

    for (const model::DesignedControl& row : model::kDesignedControls) {
        const QString text = fromUtf8(row.text);
        QWidget* widget = nullptr;
        switch (row.kind) {
        case ControlKind::Label: {
            auto* label = new QLabel(text, this);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            widget = label;
            break;
        }
        case ControlKind::TextBox: {
            auto* box = new QLineEdit(text, this);
            box->setMaxLength(std::numeric_limits<int>::max()); // no limit of the design's
            widget = box;
            break;
        }
        case ControlKind::DropDownList: {
            auto* list = new ModuleList(this);
            list->setEditable(false);
            widget = list;
            break;
        }
        case ControlKind::Button: {
            auto* button = new QPushButton(text, this);
            // Enter and Esc must press nothing: no default button, none that becomes one on focus.
            button->setAutoDefault(false);
            button->setDefault(false);
            widget = button;
            break;
        }
        case ControlKind::CheckBox:
            widget = new QCheckBox(text, this);
            break;
        }
        widget->setObjectName(fromUtf8(row.name));
        widget->setGeometry(px(row.left), px(row.top), px(row.width), px(row.height));
        if (!row.tooltip.empty()) {
            widget->setToolTip(fromUtf8(row.tooltip));
        }
        if (!row.accessibleName.empty()) {
            widget->setAccessibleName(fromUtf8(row.accessibleName));
        }
        bind(row.ref, widget);
    }
}

// Keeps a designed control under its name.
void frmMain::bind(ControlRef ref, QWidget* widget) {
    const auto label = [widget] { return qobject_cast<QLabel*>(widget); };
    const auto textBox = [widget] { return qobject_cast<QLineEdit*>(widget); };
    const auto button = [widget] { return qobject_cast<QPushButton*>(widget); };
    const auto index = static_cast<std::size_t>(ref.index);
    switch (ref.control) {
    case Control::lblType:
        lblType = label();
        break;
    case Control::txtType:
        txtType = textBox();
        break;
    case Control::cmbType:
        cmbType = qobject_cast<QComboBox*>(widget);
        break;
    case Control::lblAddress:
        lblAddress = label();
        break;
    case Control::txtAddress:
        txtAddress = textBox();
        break;
    case Control::lblFileName:
        lblFileName = label();
        break;
    case Control::txtFileName:
        txtFileName = textBox();
        break;
    case Control::cmdSelect:
        cmdSelect = button();
        break;
    case Control::lblFileSize:
        lblFileSize = label();
        break;
    case Control::txtFileSize:
        txtFileSize = textBox();
        break;
    case Control::lblBlockSize:
        lblBlockSize = label();
        break;
    case Control::txtBlockSize:
        txtBlockSize = textBox();
        break;
    case Control::lblWait:
        lblWait = label();
        break;
    case Control::txtWait:
        txtWait = textBox();
        break;
    case Control::lblConsole:
        lblConsole = label();
        break;
    case Control::txtConsole:
        txtConsole = textBox();
        break;
    case Control::chkAll:
        chkAll = qobject_cast<QCheckBox*>(widget);
        break;
    case Control::LblAddr:
        LblAddr.at(index) = label();
        break;
    case Control::lblPort:
        lblPort.at(index) = label();
        break;
    case Control::ChkAddr:
        ChkAddr.at(index) = qobject_cast<QCheckBox*>(widget);
        break;
    case Control::cmdOk:
        cmdOk = button();
        break;
    case Control::cmdCancel:
        cmdCancel = button();
        break;
    }
}

// The design was laid out for a smaller UI font than most platforms use, and some captions
// ("Module Address") are wider than their boxes at the platform's default. The caption boxes
// widen into the free room the model allows them, and the window keeps the platform's font.
// Only where that room is not enough is the same family used at the largest size at which every
// caption is whole; changing the font costs a second font engine and a re-layout of every
// control.
void frmMain::fitCaptions() {
    const auto captions = model::captionBoxes();
    // What the check box needs besides its text (indicator, spacing, the style's margins).
    const int indicator =
        chkAll->sizeHint().width() -
        QFontMetrics(chkAll->font()).size(Qt::TextShowMnemonic, chkAll->text()).width();

    const auto widthsAt = [&](const QFont& font) {
        const QFontMetrics metrics(font);
        std::vector<int> widths;
        for (const model::CaptionBox& caption : captions) {
            const QWidget* box = control(caption.ref);
            const int besideText = caption.ref.control == Control::chkAll ? indicator : 0;
            const int needed =
                metrics.size(Qt::TextShowMnemonic, fromUtf8(caption.text)).width() + besideText;
            const auto width = model::widenedCaptionWidth(caption.ref, twips(needed));
            if (!width || metrics.height() > box->height()) {
                return std::vector<int>{};
            }
            widths.push_back(px(*width));
        }
        return widths;
    };

    QFont chosen = font();
    std::vector<int> widths = widthsAt(chosen);
    while (widths.empty()) {
        if (chosen.pointSizeF() > 0) {
            if (chosen.pointSizeF() - 0.5 < kSmallestFontPoints) {
                break;
            }
            chosen.setPointSizeF(chosen.pointSizeF() - 0.5);
        } else {
            if (chosen.pixelSize() <= 8) {
                break;
            }
            chosen.setPixelSize(chosen.pixelSize() - 1);
        }
        widths = widthsAt(chosen);
    }
    if (chosen != font()) {
        setFont(chosen);
    }
    for (std::size_t i = 0; i < widths.size(); ++i) {
        QWidget* box = control(captions.at(i).ref);
        box->resize(widths[i], box->height());
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
    txtType->setFocus();
}

// Only the user's actions reach the model: Qt reports a change of the list index made by the
// program too, so the view blocks it (see View::setListIndex); `clicked` is never emitted for a
// state set by the program.
void frmMain::connectHandlers() {
    connect(cmbType, &QComboBox::currentIndexChanged, this, [this] {
        // The closed list is narrower than the longest names; the whole entry shows on hovering.
        cmbType->setToolTip(cmbType->currentText());
        model_->cmbType_Click();
    });
    connect(chkAll, &QCheckBox::clicked, this, [this] { model_->chkAll_Click(); });
    connect(cmdSelect, &QPushButton::clicked, this, [this] { model_->cmdSelect_Click(); });
    connect(cmdOk, &QPushButton::clicked, this, [this] { model_->cmdOk_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { model_->cmdCancel_Click(); });
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
