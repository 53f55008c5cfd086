// The window as laid out after load: geometry, list, focus order, keys, captions, icon.

#include "core/platform/ini_file_store.hpp"
#include "core/platform/native_file_system.hpp"
#include "ui/model/layout.hpp"
#include "ui/qt/frm_main.hpp"
#include "ui_fakes.hpp"
#include "window_controls.hpp"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QTest>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

using namespace quentra;
using namespace quentra::ui;
using namespace quentra::ui::testing;
using model::Control;

namespace {

class LayoutTest : public ::testing::Test {
protected:
    LayoutTest() {
        window = std::make_unique<frmMain>(store, files, dir.appDir(),
                                           frmMainServices{.messages = presenter});
    }
    ~LayoutTest() override { EXPECT_TRUE(presenter->texts.isEmpty()) << "no message expected"; }

    QWidget* named(const char* name) const {
        auto* widget = window->findChild<QWidget*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    TempDir dir;
    core::IniFileStore store;
    core::NativeFileSystem files;
    std::shared_ptr<RecordingPresenter> presenter = std::make_shared<RecordingPresenter>();
    std::unique_ptr<frmMain> window;
};

bool isCaptionBox(model::ControlRef ref) {
    const auto boxes = model::captionBoxes();
    return std::any_of(boxes.begin(), boxes.end(),
                       [&ref](const model::CaptionBox& box) { return box.ref == ref; });
}

QString shownText(const QWidget* widget) {
    if (const auto* label = qobject_cast<const QLabel*>(widget)) {
        return label->text();
    }
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) {
        return button->text();
    }
    if (const auto* box = qobject_cast<const QLineEdit*>(widget)) {
        return box->text();
    }
    return {};
}

// Every designed control is made from its row of the design table: kind, text (the buttons'
// access keys with it) and place; its tooltip and name are what assistive technology reads (the
// accessibility test). Caption boxes may have widened into their room; the buttons' row follows
// the grown window.
TEST_F(LayoutTest, DesignedControlsArePlacedFromTheTable) {
    for (const model::DesignedControl& row : model::kDesignedControls) {
        SCOPED_TRACE(std::string(row.name));
        const QWidget* widget = named(std::string(row.name).c_str());
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget, window->control(row.ref));
        switch (row.kind) {
        case model::ControlKind::Label:
            EXPECT_NE(qobject_cast<const QLabel*>(widget), nullptr);
            break;
        case model::ControlKind::TextBox:
            EXPECT_NE(qobject_cast<const QLineEdit*>(widget), nullptr);
            break;
        case model::ControlKind::DropDownList:
            EXPECT_NE(qobject_cast<const QComboBox*>(widget), nullptr);
            break;
        case model::ControlKind::Button:
            EXPECT_NE(qobject_cast<const QPushButton*>(widget), nullptr);
            break;
        case model::ControlKind::CheckBox:
            EXPECT_NE(qobject_cast<const QCheckBox*>(widget), nullptr);
            break;
        }
        if (row.kind != model::ControlKind::TextBox) { // load fills some boxes
            EXPECT_EQ(shownText(widget), QString::fromUtf8(row.text.data(), row.text.size()));
        }

        const QRect g = widget->geometry();
        EXPECT_EQ(twips(g.x()), row.left);
        EXPECT_EQ(twips(g.height()), row.height);
        const bool button = row.ref == model::ControlRef{model::Control::cmdOk} ||
                            row.ref == model::ControlRef{model::Control::cmdCancel};
        EXPECT_EQ(twips(g.y()), button ? 9630 : row.top);
        if (isCaptionBox(row.ref)) {
            EXPECT_GE(twips(g.width()), row.width);
            EXPECT_LE(twips(g.width()), model::captionRoom(row.ref));
        } else {
            EXPECT_EQ(twips(g.width()), row.width);
        }
    }
}

TEST_F(LayoutTest, WindowHasTheGrownClientAreaAndCannotBeResized) {
    EXPECT_EQ(twips(window->width()), 4695);
    EXPECT_EQ(twips(window->height()), 10410);
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    EXPECT_EQ(window->windowTitle(), "Quentra Module Upgrade");

    // A resize attempt, as a window manager might make, moves nothing.
    window->show();
    const QRect okBefore = button(*window, Control::cmdOk)->geometry();
    window->resize(window->width() + 100, window->height() - 200);
    EXPECT_EQ(twips(window->height()), 10410);
    EXPECT_EQ(button(*window, Control::cmdOk)->geometry(), okBefore);
}

TEST_F(LayoutTest, GridHasSixteenRowsOfFourShownUntickedBoxes) {
    EXPECT_EQ(window->findChildren<QCheckBox*>(QRegularExpression("^ChkAddr\\(")).size(), 64);
    EXPECT_EQ(window->findChildren<QLabel*>(QRegularExpression("^lblPort\\(")).size(), 16);
    for (int p = 0; p < 16; ++p) {
        const QLabel* caption = label(*window, {Control::lblPort, p});
        ASSERT_NE(caption, nullptr);
        EXPECT_EQ(caption->text(), QStringLiteral("Port #%1").arg(p + 1));
        EXPECT_EQ(twips(caption->y()), 4680 + 300 * p);
        // The port labels are copies of the first: all have its box.
        EXPECT_EQ(caption->geometry().size(),
                  label(*window, {Control::lblPort, 0})->geometry().size());
        EXPECT_EQ(caption->x(), label(*window, {Control::lblPort, 0})->x());
        EXPECT_FALSE(caption->isHidden());
        for (int c = 0; c < 4; ++c) {
            const QCheckBox* box = gridBox(*window, p * 4 + c);
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(twips(box->x()), 1920 + 480 * c) << p << "," << c;
            EXPECT_EQ(twips(box->y()), 4680 + 300 * p) << p << "," << c;
            EXPECT_TRUE(box->text().isEmpty());
            EXPECT_FALSE(box->isHidden());
            EXPECT_FALSE(box->isChecked());
        }
    }
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(label(*window, {Control::LblAddr, c})->text(), QStringLiteral("A%1").arg(c));
        EXPECT_EQ(label(*window, {Control::LblAddr, c})->x(), gridBox(*window, c)->x());
    }
}

TEST_F(LayoutTest, ModuleListHoldsTheCatalogueInOrderAndAdmitsNoTyping) {
    const QComboBox* list = moduleList(*window);
    ASSERT_EQ(list->count(), 32);
    EXPECT_FALSE(list->isEditable());
    const std::pair<int, const char*> rows[] = {
        {0, "VXO12"},
        {1, "VXA12"},
        {9, "VWL"},
        {13, "VPQ-A"},
        {17, "Corvane Remote Control"},
        {19, "Corvane Console COntrol"},
        {22, "TZ Console COntrol"},
        {28, "HX-12"},
        {30, "HX24A"},
        {31, "Unknown"},
    };
    for (const auto& [index, text] : rows) {
        EXPECT_EQ(list->itemText(index), QString::fromLatin1(text)) << index;
    }
}

TEST_F(LayoutTest, FocusRunsThroughTheDesignedOrderThenTheCreatedBoxes) {
    std::vector<QWidget*> expected = {textBox(*window, Control::txtType),
                                      textBox(*window, Control::txtAddress),
                                      textBox(*window, Control::txtFileSize),
                                      textBox(*window, Control::txtBlockSize),
                                      textBox(*window, Control::txtFileName),
                                      button(*window, Control::cmdSelect),
                                      button(*window, Control::cmdOk),
                                      button(*window, Control::cmdCancel),
                                      moduleList(*window),
                                      textBox(*window, Control::txtWait),
                                      textBox(*window, Control::txtConsole),
                                      gridBox(*window, 0),
                                      gridBox(*window, 1),
                                      gridBox(*window, 2),
                                      gridBox(*window, 3),
                                      allBox(*window)};
    for (int i = 4; i < 64; ++i) {
        expected.push_back(gridBox(*window, i));
    }

    std::vector<QWidget*> chain;
    QWidget* widget = textBox(*window, Control::txtType);
    do {
        if ((widget->focusPolicy() & Qt::TabFocus) != 0 && widget != window.get()) {
            chain.push_back(widget);
        }
        widget = widget->nextInFocusChain();
    } while (widget != textBox(*window, Control::txtType) && chain.size() < 200);
    ASSERT_EQ(chain.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(chain[i], expected[i])
            << "position " << i << ": " << chain[i]->objectName().toStdString();
    }

    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get(), kSettleMs));
    EXPECT_EQ(QApplication::focusWidget(), textBox(*window, Control::txtType));
}

TEST_F(LayoutTest, NoButtonIsADefaultOne) {
    for (const Control name : {Control::cmdOk, Control::cmdCancel, Control::cmdSelect}) {
        EXPECT_FALSE(button(*window, name)->isDefault()) << model::controlName({name});
        EXPECT_FALSE(button(*window, name)->autoDefault()) << model::controlName({name});
    }
}

// Enter and Esc, wherever the focus is, neither save nor close.
TEST_F(LayoutTest, EnterAndEscPressNothing) {
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get(), kSettleMs));
    const std::pair<QWidget*, Qt::Key> rows[] = {
        {textBox(*window, Control::txtType), Qt::Key_Return},
        {textBox(*window, Control::txtType), Qt::Key_Escape},
        {button(*window, Control::cmdOk), Qt::Key_Return},
        {button(*window, Control::cmdOk), Qt::Key_Enter},
        {button(*window, Control::cmdCancel), Qt::Key_Return},
        {button(*window, Control::cmdCancel), Qt::Key_Escape},
        {gridBox(*window, 5), Qt::Key_Return},
    };
    for (const auto& [target, key] : rows) {
        target->setFocus();
        QTest::keyClick(target, key);
        EXPECT_TRUE(window->isVisible()) << target->objectName().toStdString() << " " << key;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.config()));
}

void expectEveryCaptionWhole(const frmMain& window) {
    for (const QLabel* label : window.findChildren<QLabel*>()) {
        const QFontMetrics metrics(label->font());
        EXPECT_LE(metrics.horizontalAdvance(label->text()), label->width())
            << label->objectName().toStdString();
        EXPECT_LE(metrics.height(), label->height()) << label->objectName().toStdString();
    }
    const QCheckBox* all = allBox(window);
    EXPECT_LE(all->sizeHint().width(), all->width());
    for (const Control name : {Control::cmdOk, Control::cmdCancel, Control::cmdSelect}) {
        const QPushButton* pressed = button(window, name);
        EXPECT_LE(QFontMetrics(pressed->font()).horizontalAdvance(pressed->text().remove('&')),
                  pressed->width())
            << model::controlName({name});
    }
}

// Sets the application's font for one test and puts the platform's back afterwards.
class ApplicationFont {
public:
    explicit ApplicationFont(const QFont& font) { QApplication::setFont(font); }
    ~ApplicationFont() { QApplication::setFont(saved_); }
    ApplicationFont(const ApplicationFont&) = delete;
    ApplicationFont& operator=(const ApplicationFont&) = delete;

private:
    QFont saved_ = QApplication::font();
};

TEST_F(LayoutTest, EveryCaptionIsWholeInItsBox) {
    expectEveryCaptionWhole(*window);
    // Widening the caption boxes was enough here: every control keeps the platform's font.
    for (const QWidget* widget : window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        EXPECT_EQ(widget->font(), QApplication::font()) << widget->objectName().toStdString();
    }
    // The closed list is narrow; its drop-down shows the longest entry whole.
    const QFontMetrics listMetrics(moduleList(*window)->font());
    moduleList(*window)->showPopup();
    EXPECT_GE(moduleList(*window)->view()->minimumWidth(),
              listMetrics.horizontalAdvance("Corvane Control Room Monitor"));
    moduleList(*window)->hidePopup();
}

// Where even the widened boxes cannot hold the captions, the window takes a smaller size of the
// platform's family, and only then.
TEST_F(LayoutTest, APlatformFontTooLargeForTheBoxesIsSteppedDown) {
    QFont large = QApplication::font();
    large.setPointSizeF(14);
    const ApplicationFont scoped(large);
    const frmMain big(store, files, dir.appDir(), {.messages = presenter});
    EXPECT_LT(big.font().pointSizeF(), 14);
    EXPECT_EQ(big.font().family(), large.family());
    expectEveryCaptionWhole(big);
}

TEST_F(LayoutTest, WindowIconIsOurSixteenColourImage) {
    const QImage icon(QStringLiteral(":/quentra/icon.xpm"));
    ASSERT_FALSE(icon.isNull());
    EXPECT_EQ(icon.size(), QSize(32, 32));
    QSet<QRgb> colours;
    for (int y = 0; y < icon.height(); ++y) {
        for (int x = 0; x < icon.width(); ++x) {
            if (qAlpha(icon.pixel(x, y)) == 255) {
                colours.insert(icon.pixel(x, y));
            }
        }
    }
    EXPECT_GT(colours.size(), 1);
    EXPECT_LE(colours.size(), 16);
    EXPECT_FALSE(window->windowIcon().isNull());
}

} // namespace
