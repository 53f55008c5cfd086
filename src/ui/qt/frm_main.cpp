#include "ui/qt/frm_main.hpp"

#include "core/platform/ini_file_store.hpp"
#include "core/platform/native_file_system.hpp"
#include "core/text_encoding.hpp"
#include "ui/model/caption_fit.hpp"
#include "ui/qt/accessibility.hpp"
#include "ui/qt/module_list.hpp"
#include "ui/qt/qt_file_dialog.hpp"

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
#include <QTimer>

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <optional>
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

namespace {

constexpr qreal kSmallestFontPoints = 6.0;
constexpr int kSmallestFontPixels = 8;

QString fromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A job's texts may hold an unpaired surrogate read from a UTF-16 Config.dat, which Qt's own
// UTF-8 conversions would turn into U+FFFD: the core's conversions keep it as its unit.
constexpr core::ByteOrder kNativeOrder =
    std::endian::native == std::endian::little ? core::ByteOrder::Little : core::ByteOrder::Big;

QString fromJobText(std::string_view text) {
    std::string units;
    core::appendUtf16FromUtf8(units, text, kNativeOrder);
    return QString(reinterpret_cast<const QChar*>(units.data()),
                   static_cast<qsizetype>(units.size() / 2));
}

std::string toJobText(const QString& text) {
    std::string out;
    core::appendUtf8FromUtf16(out,
                              std::string_view(reinterpret_cast<const char*>(text.utf16()),
                                               static_cast<std::size_t>(text.size()) * 2),
                              kNativeOrder);
    return out;
}

// The captions measured at the window's font (size 0) and at smaller sizes of its family: half a
// point a size down to kSmallestFontPoints, or for a font set in pixels one pixel a size down to
// kSmallestFontPixels.
class CaptionMetrics final : public model::CaptionMeasure {
public:
    explicit CaptionMetrics(const frmMain& window) : window_(window), base_(window.font()) {
        // What the check box needs besides its text (indicator, spacing, the style's margins).
        const auto* all = window.control<QCheckBox>({Control::chkAll});
        indicator_ = all->sizeHint().width() -
                     QFontMetrics(all->font()).size(Qt::TextShowMnemonic, all->text()).width();
    }

    int sizeCount() const override {
        if (base_.pointSizeF() > 0) {
            const qreal above = base_.pointSizeF() - kSmallestFontPoints;
            return above < 0 ? 1 : static_cast<int>(std::floor(above / kPointStep)) + 1;
        }
        return std::max(base_.pixelSize() - kSmallestFontPixels, 0) + 1;
    }

    std::optional<int> need(const model::CaptionBox& caption, int size) override {
        if (!metrics_ || size != measuredSize_) {
            metrics_.emplace(fontAt(size));
            measuredSize_ = size;
        }
        if (metrics_->height() > window_.control(caption.ref)->height()) {
            return std::nullopt;
        }
        const int besideText = caption.ref.control == Control::chkAll ? indicator_ : 0;
        return twips(metrics_->size(Qt::TextShowMnemonic, fromUtf8(caption.text)).width() +
                     besideText);
    }

    QFont fontAt(int size) const {
        QFont font = base_;
        if (base_.pointSizeF() > 0) {
            font.setPointSizeF(base_.pointSizeF() - kPointStep * size);
        } else {
            font.setPixelSize(base_.pixelSize() - size);
        }
        return font;
    }

private:
    static constexpr qreal kPointStep = 0.5;

    const frmMain& window_;
    QFont base_;
    int indicator_ = 0;
    std::optional<QFontMetrics> metrics_;
    int measuredSize_ = 0;
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
        return toJobText(textBox(field)->text());
    }
    void setText(core::JobField field, const std::string& text) override {
        textBox(field)->setText(fromJobText(text));
    }

    // Qt reports the program's own changes of the list too, and filling an empty list selects
    // its first entry: the signals stay blocked, as the model runs type selection itself.
    void clearList() override {
        const QSignalBlocker quiet(list());
        list()->clear();
    }
    void addListEntry(std::string_view text) override {
        const QSignalBlocker quiet(list());
        list()->addItem(fromUtf8(text));
    }
    int listIndex() const override { return list()->currentIndex(); }
    void setListIndex(int index) override {
        {
            const QSignalBlocker quiet(list());
            list()->setCurrentIndex(index);
        }
        list()->markCurrentEntry();
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
    // Any change of chkAll's state reaches the model as the user's (see connectHandlers): the
    // program's own is kept from it.
    void setChecked(ControlRef box, bool ticked) override {
        const QSignalBlocker quiet(checkBox(box));
        checkBox(box)->setChecked(ticked);
    }

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
        w_.widgetOf(control)->setVisible(visible);
    }
    int top(ControlRef control) const override { return twips(w_.widgetOf(control)->y()); }
    void setTop(ControlRef control, int value) override {
        QWidget* widget = w_.widgetOf(control);
        widget->move(widget->x(), px(value));
    }
    void setLeft(ControlRef control, int value) override {
        QWidget* widget = w_.widgetOf(control);
        widget->move(px(value), widget->y());
    }
    void setCaption(ControlRef control, std::string_view text) override {
        QWidget* widget = w_.widgetOf(control);
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
    bool confirm(std::string_view title, std::string_view text) override {
        return w_.services_.messages->askYesNo(&w_, fromUtf8(title), fromUtf8(text));
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
        return w_.control<QLineEdit>(model::textBoxOf(field).ref);
    }
    ModuleList* list() const { return w_.control<ModuleList>({Control::cmbType}); }
    QCheckBox* checkBox(ControlRef box) const { return w_.control<QCheckBox>(box); }

    frmMain& w_;
};

frmMain::frmMain(std::optional<std::string> appDir, frmMainServices services, QWidget* parent)
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

QWidget* frmMain::widgetOf(ControlRef ref) const {
    const auto index = static_cast<std::size_t>(ref.index);
    switch (ref.control) {
    case Control::lblPort:
        return lblPort.at(index);
    case Control::ChkAddr:
        return ChkAddr.at(index);
    default:
        return designed_.at(
            static_cast<std::size_t>(&model::designOf(ref) - model::kDesignedControls.data()));
    }
}

void frmMain::createDesignedControls() {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(fromUtf8(model::kWindowTitle));
    setWindowIcon(QIcon(QPixmap(quentra_icon)));
    setWindowFlag(Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(px(model::kClientWidth), px(model::kDesignClientHeight));

    for (std::size_t n = 0; n < model::kDesignedControls.size(); ++n) {
        const model::DesignedControl& row = model::kDesignedControls.at(n);
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
        designed_.at(n) = widget;
        if (row.ref.control == Control::lblPort) {
            lblPort.at(0) = qobject_cast<QLabel*>(widget);
        } else if (row.ref.control == Control::ChkAddr) {
            ChkAddr.at(static_cast<std::size_t>(row.ref.index)) = qobject_cast<QCheckBox*>(widget);
        }
    }
    // The list takes the caption "Module Type" from the label that has it as its buddy; the
    // box beside them, which the same caption stands for, is told apart as the type code.
    control<QLabel>({Control::lblType})->setBuddy(widgetOf({Control::cmbType}));
    widgetOf({Control::txtType})->setAccessibleName(QStringLiteral("Module Type code"));
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
        QWidget* box = widgetOf(captions.at(i).ref);
        box->resize(px(fit.widths.at(i)), box->height());
    }
}

void frmMain::setFocusOrder() {
    QWidget* previous = nullptr;
    for (const ControlRef ref : model::designedFocusOrder()) {
        QWidget* next = widgetOf(ref);
        if (previous != nullptr) {
            setTabOrder(previous, next);
        }
        previous = next;
    }
    lastInFocus_ = previous;
    widgetOf({Control::txtType})->setFocus();
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
