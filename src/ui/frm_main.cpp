#include "ui/frm_main.hpp"

#include "core/catalogue.hpp"
#include "core/paths.hpp"
#include "core/platform/ini_file_store.hpp"
#include "core/platform/native_file_system.hpp"
#include "ui/model/layout.hpp"
#include "ui/qt_file_dialog.hpp"

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
#include <utility>

// The window icon, compiled in as its image array: read from a file or resource, it would go
// through the image reader, which loads every image-format plugin to learn the format.
#include "ui/resources/icon.xpm"

// Resources of a static library have to be registered by hand, outside any namespace.
static void initUiResources() {
    Q_INIT_RESOURCE(qmu_ui);
}

namespace quentra::ui {

namespace {

// Designed client area; load replaces the height.
constexpr int kClientWidth = 4695;
constexpr int kDesignClientHeight = 5910;
// The frame the layout was designed for: 345 above the client area, 60 below it. Qt sizes the
// client area, so the designed outer heights are turned into client heights with it.
constexpr int kDesignFrameHeight = 345 + 60;
constexpr int kRowPitch = 300;
constexpr int kColumnPitch = 480;
constexpr int kFirstColumnLeft = 1920;
constexpr int kOuterHeightBelowLastRow = 1635;
constexpr int kButtonsAboveOuterBottom = 1185;
constexpr qreal kSmallestFontPoints = 6.0;
// Least room left between a widened caption and the next control on its row.
constexpr int kCaptionGap = 60;

const QString kTitle = QStringLiteral("Quentra Module Upgrade");

QString fromStd(const std::string& text) {
    return QString::fromStdString(text);
}

void place(QWidget* widget, const QString& name, int left, int top, int width, int height) {
    widget->setObjectName(name);
    widget->setGeometry(px(left), px(top), px(width), px(height));
}

QLabel* makeLabel(QWidget* parent, const QString& name, const QString& text, int left, int top,
                  int width, int height) {
    auto* label = new QLabel(text, parent);
    place(label, name, left, top, width, height);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

QLineEdit* makeTextBox(QWidget* parent, const QString& name, const QString& text, int left, int top,
                       int width, int height, const QString& accessibleName) {
    auto* box = new QLineEdit(text, parent);
    place(box, name, left, top, width, height);
    box->setMaxLength(32767); // Qt's own maximum: no limit of the design's
    box->setAccessibleName(accessibleName);
    return box;
}

QPushButton* makeButton(QWidget* parent, const QString& name, const QString& text, int left,
                        int top, int width, int height) {
    auto* button = new QPushButton(text, parent);
    place(button, name, left, top, width, height);
    // Enter and Esc must press nothing: no default button, none that becomes one on focus.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

QString gridBoxName(int index) {
    return QStringLiteral("ChkAddr(%1)").arg(index);
}

QString gridBoxAccessibleName(int index) {
    return fromStd(core::portKey(index / core::kAddressColumns + 1)) +
           QStringLiteral(" A%1").arg(index % core::kAddressColumns);
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

// Where the firmware selection writes its results: straight into the window's controls.
class frmMain::FieldSink final : public core::SelectionSink {
public:
    explicit FieldSink(frmMain& window) : window_(window) {}
    void setFileNameText(const std::string& text) override {
        window_.txtFileName->setText(fromStd(text));
    }
    void setFileSizeText(const std::string& text) override {
        window_.txtFileSize->setText(fromStd(text));
    }
    void setBlockSizeText(const std::string& text) override {
        window_.txtBlockSize->setText(fromStd(text));
    }
    void setListIndex(std::int16_t index) override { window_.cmbType->setCurrentIndex(index); }

private:
    frmMain& window_;
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
    iniFile = services_.store;

    createDesignedControls();
    fitCaptions();
    setFocusOrder();

    connect(cmbType, &QComboBox::currentIndexChanged, this, &frmMain::cmbType_Click);
    // The closed list is narrower than the longest names; the whole entry shows on hovering.
    connect(cmbType, &QComboBox::currentTextChanged, cmbType, &QWidget::setToolTip);
    connect(chkAll, &QCheckBox::clicked, this, &frmMain::chkAll_Click);
    connect(cmdSelect, &QPushButton::clicked, this, &frmMain::cmdSelect_Click);
    connect(cmdOk, &QPushButton::clicked, this, &frmMain::cmdOk_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmMain::cmdCancel_Click);

    Form_Load();
}

// The dialog adapter goes first: it owns a child of this window.
frmMain::~frmMain() {
    dlgFile.reset();
}

void frmMain::createDesignedControls() {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(kTitle);
    setWindowIcon(QIcon(QPixmap(quentra_icon)));
    setWindowFlag(Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(px(kClientWidth), px(kDesignClientHeight));

    lblType = makeLabel(this, "lblType", "Module Type", 240, 240, 1335, 255);
    txtType = makeTextBox(this, "txtType", "", 1920, 120, 975, 375, lblType->text());
    cmbType = new ModuleList(this);
    place(cmbType, "cmbType", 3000, 120, 1455, 315);
    cmbType->setEditable(false);
    cmbType->setAccessibleName(lblType->text());
    lblAddress = makeLabel(this, "lblAddress", "Module Address", 240, 810, 1335, 255);
    txtAddress = makeTextBox(this, "txtAddress", "", 1920, 720, 1695, 375, lblAddress->text());
    lblFileName = makeLabel(this, "lblFileName", "File Name", 240, 1440, 1335, 255);
    txtFileName = makeTextBox(this, "txtFileName", "", 1920, 1320, 1695, 375, lblFileName->text());
    cmdSelect = makeButton(this, "cmdSelect", "Select", 3840, 1320, 735, 375);
    lblFileSize = makeLabel(this, "lblFileSize", "File Size", 240, 2010, 1335, 255);
    txtFileSize = makeTextBox(this, "txtFileSize", "", 1920, 1920, 1695, 375, lblFileSize->text());
    lblBlockSize = makeLabel(this, "lblBlockSize", "Block Size", 240, 2640, 1335, 255);
    txtBlockSize =
        makeTextBox(this, "txtBlockSize", "", 1920, 2520, 1695, 375, lblBlockSize->text());
    lblWait = makeLabel(this, "lblWait", "Wait", 240, 3240, 1335, 255);
    txtWait = makeTextBox(this, "txtWait", "0", 1920, 3120, 1695, 375, lblWait->text());
    lblConsole = makeLabel(this, "lblConsole", "Console #", 240, 3810, 1335, 255);
    txtConsole = makeTextBox(this, "txtConsole", "", 1920, 3720, 1695, 375, lblConsole->text());
    chkAll = new QCheckBox(QStringLiteral("All"), this);
    place(chkAll, "chkAll", 3840, 3840, 615, 255);
    chkAll->setToolTip(QStringLiteral("Upgrade all console modules"));
    for (int c = 0; c < core::kAddressColumns; ++c) {
        const int left = kFirstColumnLeft + kColumnPitch * c;
        LblAddr[c] = makeLabel(this, QStringLiteral("LblAddr(%1)").arg(c),
                               QStringLiteral("A%1").arg(c), left, 4320, 255, 255);
    }
    lblPort[0] = makeLabel(this, "lblPort(0)", "Port #1", 240, 4680, 1335, 255);
    for (int c = 0; c < core::kAddressColumns; ++c) {
        ChkAddr[c] = new QCheckBox(this);
        place(ChkAddr[c], gridBoxName(c), kFirstColumnLeft + kColumnPitch * c, 4680, 255, 255);
        ChkAddr[c]->setAccessibleName(gridBoxAccessibleName(c));
    }
    cmdOk = makeButton(this, "cmdOk", "&Ok", 360, 5280, 1215, 495);
    cmdCancel = makeButton(this, "cmdCancel", "&Cancel", 3120, 5280, 1215, 495);
}

// The design was laid out for a smaller UI font than most platforms use, and some captions
// ("Module Address") are wider than their boxes at the platform's default. A caption box has no
// border or background, so it may grow to the right into the empty room before the next control
// on its row, and the window keeps the platform's font. Only where that room is not enough is
// the same family used at the largest size at which every caption is whole; changing the font
// costs a second font engine and a re-layout of every control.
void frmMain::fitCaptions() {
    struct Caption {
        QWidget* box;
        QString text;
        int besideText; // pixels the control needs besides its text
        int room;       // widest the box may become
    };
    // What the check box needs besides its text (indicator, spacing, the style's margins).
    const int indicator =
        chkAll->sizeHint().width() -
        QFontMetrics(chkAll->font()).size(Qt::TextShowMnemonic, chkAll->text()).width();
    const auto roomOf = [this](const QWidget* box) {
        const QRect own = box->geometry();
        int limit = width();
        for (const QObject* child : children()) {
            const auto* other = qobject_cast<const QWidget*>(child);
            if (other != nullptr && other != box && other->x() > own.right() &&
                other->y() <= own.bottom() && other->geometry().bottom() >= own.y()) {
                limit = std::min(limit, other->x() - px(kCaptionGap));
            }
        }
        return std::max(own.width(), limit - own.x());
    };
    std::vector<Caption> captions;
    for (QLabel* label : {lblType, lblAddress, lblFileName, lblFileSize, lblBlockSize, lblWait,
                          lblConsole, LblAddr[0], LblAddr[1], LblAddr[2], LblAddr[3]}) {
        captions.push_back({label, label->text(), 0, roomOf(label)});
    }
    // The grid's port labels are copies of the first one: its box must hold the widest of them.
    captions.push_back(
        {lblPort[0], fromStd(core::portKey(core::kPortCount)), 0, roomOf(lblPort[0])});
    captions.push_back({chkAll, chkAll->text(), indicator, roomOf(chkAll)});

    const auto widthsAt = [&captions](const QFont& font) {
        const QFontMetrics metrics(font);
        std::vector<int> widths;
        for (const Caption& caption : captions) {
            const int needed =
                metrics.size(Qt::TextShowMnemonic, caption.text).width() + caption.besideText;
            if (needed > caption.room || metrics.height() > caption.box->height()) {
                return std::vector<int>{};
            }
            widths.push_back(std::max(needed, caption.box->width()));
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
        captions[i].box->resize(widths[i], captions[i].box->height());
    }
}

void frmMain::setFocusOrder() {
    const std::array<QWidget*, 16> order{txtType,     txtAddress, txtFileSize, txtBlockSize,
                                         txtFileName, cmdSelect,  cmdOk,       cmdCancel,
                                         cmbType,     txtWait,    txtConsole,  ChkAddr[0],
                                         ChkAddr[1],  ChkAddr[2], ChkAddr[3],  chkAll};
    for (std::size_t i = 1; i < order.size(); ++i) {
        setTabOrder(order[i - 1], order[i]);
    }
    txtType->setFocus();
}

QLabel* frmMain::copyOfLblPort0() {
    auto* label = new QLabel(lblPort[0]->text(), this);
    label->setVisible(false);
    label->setGeometry(lblPort[0]->geometry());
    label->setAlignment(lblPort[0]->alignment());
    return label;
}

QCheckBox* frmMain::copyOfChkAddr0() {
    auto* box = new QCheckBox(ChkAddr[0]->text(), this);
    box->setVisible(false);
    box->setGeometry(ChkAddr[0]->geometry());
    box->setChecked(false);
    return box;
}

void frmMain::buildGridAndSizeWindow() {
    QWidget* previousInFocus = chkAll;
    for (int p = 1; p < core::kPortCount; ++p) {
        QLabel* label = copyOfLblPort0();
        lblPort[p] = label;
        label->setObjectName(QStringLiteral("lblPort(%1)").arg(p));
        label->setVisible(true);
        label->move(label->x(), lblPort[p - 1]->y() + px(kRowPitch));
        label->setText(fromStd(core::portKey(p + 1)));
        for (int c = 0; c < core::kAddressColumns; ++c) {
            const int i = core::boxIndex(p, c);
            QCheckBox* box = copyOfChkAddr0();
            ChkAddr[i] = box;
            box->setObjectName(gridBoxName(i));
            box->setAccessibleName(gridBoxAccessibleName(i));
            box->setVisible(true);
            box->move(box->x(), ChkAddr[i - core::kAddressColumns]->y() + px(kRowPitch));
            box->move(px(c * kColumnPitch + kFirstColumnLeft), box->y());
            // The created boxes follow the designed controls, in creation order.
            setTabOrder(previousInFocus, box);
            previousInFocus = box;
        }
    }
    setFixedHeight(px(twips(lblPort[core::kPortCount - 1]->y()) + kOuterHeightBelowLastRow -
                      kDesignFrameHeight));
    const int outerHeight = twips(height()) + kDesignFrameHeight;
    cmdOk->move(cmdOk->x(), px(outerHeight - kButtonsAboveOuterBottom));
    cmdCancel->move(cmdCancel->x(), cmdOk->y());
}

void frmMain::Form_Load() {
    AppDir = core::withTrailingSeparator(
        requestedAppDir_
            ? *requestedAppDir_
            : QDir::toNativeSeparators(QCoreApplication::applicationDirPath()).toStdString());

    {
        // Filling an empty Qt list selects its first entry; the list must end with none.
        const QSignalBlocker quiet(cmbType);
        cmbType->clear();
        for (std::string_view name : core::displayNames()) {
            cmbType->addItem(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
        }
        cmbType->setCurrentIndex(-1);
    }
    buildGridAndSizeWindow();

    const core::LoadedJob job = core::loadSettings(*iniFile, *services_.fileSystem, AppDir);
    const auto apply = [](QLineEdit* box, const std::optional<std::string>& text) {
        if (text) {
            box->setText(fromStd(*text));
        }
    };
    apply(txtType, job.type);
    apply(txtAddress, job.address);
    apply(txtFileSize, job.fileSize);
    apply(txtBlockSize, job.blockSize);
    apply(txtWait, job.wait);
    apply(txtFileName, job.fileName);
    apply(txtConsole, job.console);
    cmbType->setCurrentIndex(job.listIndex);
    for (int i = 0; i < core::kBoxCount; ++i) {
        if (job.ticked.test(static_cast<std::size_t>(i))) {
            ChkAddr[i]->setChecked(true);
        }
    }
    if (job.readError) {
        pendingReadError_ =
            tr("The saved job in \"%1\" could not be read: %2\n"
               "The window shows what could be read of it.")
                .arg(fromStd(core::configFilePath(AppDir)), fromStd(*job.readError));
    }
}

void frmMain::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (pendingReadError_) {
        // Said once, after the window is on screen, so the message has the window behind it.
        QTimer::singleShot(0, this, [this, text = *pendingReadError_] { warn(text); });
        pendingReadError_.reset();
    }
}

void frmMain::cmbType_Click() {
    txtType->setText(QString::number(core::codeForIndex(cmbType->currentIndex())));
}

void frmMain::chkAll_Click() {
    const bool ticked = chkAll->checkState() == Qt::Checked;
    for (int p = 0; p < core::kPortCount; ++p) {
        for (int c = 0; c < core::kAddressColumns; ++c) {
            ChkAddr[core::boxIndex(p, c)]->setChecked(ticked);
        }
    }
}

void frmMain::cmdSelect_Click() {
    if (!dlgFile) {
        dlgFile = services_.makeFileDialog(this);
    }
    FieldSink sink(*this);
    core::selectFirmwareFile(*dlgFile, *services_.fileSystem, sink, AppDir);
}

core::JobControls frmMain::jobControls() const {
    core::JobControls controls;
    controls.type = txtType->text().toStdString();
    controls.address = txtAddress->text().toStdString();
    controls.fileName = txtFileName->text().toStdString();
    controls.fileSize = txtFileSize->text().toStdString();
    controls.blockSize = txtBlockSize->text().toStdString();
    controls.wait = txtWait->text().toStdString();
    controls.console = txtConsole->text().toStdString();
    for (int i = 0; i < core::kBoxCount; ++i) {
        switch (ChkAddr[i]->checkState()) {
        case Qt::Checked:
            controls.boxStates[i] = 1;
            break;
        case Qt::PartiallyChecked:
            controls.boxStates[i] = 2;
            break;
        case Qt::Unchecked:
            controls.boxStates[i] = 0;
            break;
        }
    }
    return controls;
}

void frmMain::cmdOk_Click() {
    core::UpgradeSettings settings;
    try {
        settings = core::settingsFromControls(jobControls());
    } catch (const core::InvalidValueError& error) {
        const QString field = fromStd(std::string(model::fieldCaption(error.field)));
        warn(tr("\"%1\" holds a value that cannot be stored: %2\nNothing was saved.")
                 .arg(field, QString::fromStdString(error.what())));
        return;
    }
    try {
        core::saveSettings(*iniFile, AppDir, settings);
        iniFile->commit();
    } catch (const core::StoreError& error) {
        warn(tr("The job could not be saved to \"%1\": %2\nThe file was left as it was.")
                 .arg(fromStd(core::configFilePath(AppDir)), QString::fromStdString(error.what())));
        return;
    }
    close();
}

void frmMain::cmdCancel_Click() {
    close();
}

void frmMain::warn(const QString& text) {
    services_.messages->showWarning(this, kTitle, text);
}

} // namespace quentra::ui
