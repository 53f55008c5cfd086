// What assistive technology reads of the window and does with it, through Qt's accessibility
// interfaces, which AT-SPI reads on Linux: the window's role, the controls' names and captions,
// the texts with their attribute runs, the list's value and its changes, a pick in the module
// list, and the tooltips.

#include "core/fakes.hpp"
#include "core/platform/ini_file_store.hpp"
#include "core/platform/native_file_system.hpp"
#include "ui/qt/frm_main.hpp"
#include "ui_fakes.hpp"
#include "window_controls.hpp"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QAccessible>
#include <QSignalSpy>
#include <QTest>

#include <functional>
#include <memory>
#include <utility>

using namespace quentra;
using namespace quentra::ui;
using namespace quentra::ui::testing;
using model::Control;

namespace {

class AccessibilityTest : public ::testing::Test {
protected:
    AccessibilityTest() {
        makeFileOfLength(dir.path() / "GRF_2.bin", 512);
        open();
    }
    ~AccessibilityTest() override { EXPECT_TRUE(presenter->texts.isEmpty()) << "no message"; }

    void open() {
        frmMainServices services;
        services.messages = presenter;
        services.makeFileDialog = [this](QWidget* /*owner*/) {
            auto dialog = std::make_unique<core::testing::FakeFileDialog>();
            dialog->chosen = (dir.path() / "GRF_2.bin").string();
            return dialog;
        };
        window = std::make_unique<frmMain>(store, files, dir.appDir(), services);
    }

    TempDir dir;
    core::IniFileStore store;
    core::NativeFileSystem files;
    std::shared_ptr<RecordingPresenter> presenter = std::make_shared<RecordingPresenter>();
    std::unique_ptr<frmMain> window;
};

QAccessibleInterface* accessible(QObject* object) {
    QAccessibleInterface* found = QAccessible::queryAccessibleInterface(object);
    EXPECT_NE(found, nullptr) << object->objectName().toStdString();
    return found;
}

// A screen reader announces the application's window by its role and title.
TEST_F(AccessibilityTest, TheWindowIsAWindowNamedByItsTitle) {
    QAccessibleInterface* frame = accessible(window.get());
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->role(), QAccessible::Window);
    EXPECT_EQ(frame->text(QAccessible::Name), "Quentra Module Upgrade");
    EXPECT_EQ(accessible(textBox(*window, Control::txtType))->parent(), frame);
}

// Every text box is named by its caption, the type code as such, and so are the list and the
// grid boxes, designed or created; the list is labelled by lblType.
TEST_F(AccessibilityTest, TextBoxesListAndGridBoxesAreNamedAndTheListLabelled) {
    const std::pair<model::ControlRef, const char*> names[] = {
        {{Control::txtType}, "Module Type code"}, {{Control::txtAddress}, "Module Address"},
        {{Control::txtFileName}, "File Name"},    {{Control::txtFileSize}, "File Size"},
        {{Control::txtBlockSize}, "Block Size"},  {{Control::txtWait}, "Wait"},
        {{Control::txtConsole}, "Console #"},     {{Control::cmbType}, "Module Type"},
        {{Control::ChkAddr, 0}, "Port #1 A0"},    {{Control::ChkAddr, 1}, "Port #1 A1"},
        {{Control::ChkAddr, 2}, "Port #1 A2"},    {{Control::ChkAddr, 3}, "Port #1 A3"},
        {{Control::ChkAddr, 37}, "Port #10 A1"},  {{Control::ChkAddr, 63}, "Port #16 A3"},
    };
    for (const auto& [ref, name] : names) {
        EXPECT_EQ(accessible(window->control(ref))->text(QAccessible::Name), name)
            << model::controlName(ref);
    }

    const auto labels = accessible(moduleList(*window))->relations(QAccessible::Label);
    ASSERT_EQ(labels.size(), 1);
    EXPECT_EQ(labels.front().first, accessible(label(*window, {Control::lblType})));
    EXPECT_EQ(labels.front().first->text(QAccessible::Name), "Module Type");
}

// The text and its attribute runs: a screen reader speaks the text run by run, so one run must
// cover the whole text, at every offset, and an empty text has the one empty run.
TEST_F(AccessibilityTest, ATextBoxIsOneAttributeRunOverItsWholeText) {
    const std::pair<Control, QString> rows[] = {
        {Control::txtType, "6060"},
        {Control::txtAddress, "127"},
        {Control::txtFileName, "VTL_201.bin"},
        {Control::txtFileSize, "70000"},
        {Control::txtBlockSize, "65536"},
        {Control::txtWait, "0"},
        {Control::txtConsole, ""},
        {Control::txtWait, "a b"},
    };
    for (const auto& [box, value] : rows) {
        SCOPED_TRACE(model::controlName({box}) + " = '" + value.toStdString() + "'");
        textBox(*window, box)->setText(value);
        QAccessibleInterface* edit = accessible(textBox(*window, box));
        QAccessibleTextInterface* text = edit->textInterface();
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(edit->text(QAccessible::Value), value);
        EXPECT_EQ(text->text(0, text->characterCount()), value);
        for (int offset = 0; offset <= value.size(); ++offset) {
            int start = -1;
            int end = -1;
            text->attributes(offset, &start, &end);
            EXPECT_EQ(start, 0) << "at " << offset;
            EXPECT_EQ(end, value.size()) << "at " << offset;
        }
    }
}

// The list's value is its entry, as value and as text, after each change of the user's; the text
// reads as selected while the list has the focus. (The change is reported as that text put in
// the list's text, which a screen reader speaks as it is put in a selection; the event reaches
// only a real accessibility bridge, which the offscreen platform lacks: the run under Orca hears
// it.)
TEST_F(AccessibilityTest, TheListsValueIsItsEntryReadAsSelectedWhileFocused) {
    QComboBox* combo = moduleList(*window);
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get(), kSettleMs));
    combo->setFocus();
    QAccessibleInterface* list = accessible(combo);
    ASSERT_NE(list->child(0), nullptr); // a screen reader reads the entries
    ASSERT_NE(list->textInterface(), nullptr);
    const std::pair<Qt::Key, QString> rows[] = {{Qt::Key_unknown, "VWL"},
                                                {Qt::Key_Down, "GRF"},
                                                {Qt::Key_Up, "VWL"},
                                                {Qt::Key_End, "Unknown"},
                                                {Qt::Key_Home, "VXO12"}};
    for (const auto& [key, entry] : rows) {
        SCOPED_TRACE(entry.toStdString());
        if (key != Qt::Key_unknown) {
            QTest::keyClick(combo, key);
        }
        EXPECT_EQ(list->text(QAccessible::Value), entry);
        QAccessibleTextInterface* text = list->textInterface();
        const std::pair whole(0, static_cast<int>(entry.size()));
        EXPECT_EQ(text->text(0, text->characterCount()), entry);
        int start = -1;
        int end = -1;
        text->attributes(0, &start, &end);
        EXPECT_EQ(std::pair(start, end), whole);
        ASSERT_EQ(text->selectionCount(), 1);
        text->selection(0, &start, &end);
        EXPECT_EQ(std::pair(start, end), whole);
    }
    textBox(*window, Control::txtType)->setFocus();
    EXPECT_EQ(list->textInterface()->selectionCount(), 0);
    EXPECT_EQ(list->text(QAccessible::Name), "Module Type");
    EXPECT_EQ(list->relations(QAccessible::Label).size(), 1);
}

// An entry picked through the list that assistive technology shows (the entry's action, the
// list's selection) is the user's change: the list shows it and type selection runs, once.
TEST_F(AccessibilityTest, APickInTheModuleListIsTheUsersChangeOfItsEntry) {
    using Pick = std::function<void(QAccessibleInterface * list, int row)>;
    const std::pair<const char*, Pick> rows[] = {
        {"the entry's action",
         [](QAccessibleInterface* list, int row) {
             QAccessibleInterface* entry = list->tableInterface()->cellAt(row, 0);
             ASSERT_NE(entry, nullptr);
             entry->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
         }},
        {"the list's selection",
         [](QAccessibleInterface* list, int row) {
             ASSERT_TRUE(list->tableInterface()->selectRow(row));
         }},
    };
    for (const auto& [how, pick] : rows) {
        SCOPED_TRACE(how);
        open();
        QComboBox* combo = moduleList(*window);
        ASSERT_EQ(combo->currentIndex(), 9);
        const QSignalSpy changes(combo, &QComboBox::currentIndexChanged);
        QAccessibleInterface* list = accessible(combo)->child(0);
        ASSERT_NE(list, nullptr);

        textBox(*window, Control::txtType)->setText("typed by hand");
        pick(list, 1);
        EXPECT_EQ(combo->currentIndex(), 1);
        EXPECT_EQ(textBox(*window, Control::txtType)->text(), "7210");
        EXPECT_TRUE(list->tableInterface()->cellAt(1, 0)->state().selected);

        // The list follows the program's change too (Select guesses GRF), so that the entry
        // picked before can be picked again.
        button(*window, Control::cmdSelect)->click();
        ASSERT_EQ(combo->currentIndex(), 10);
        EXPECT_TRUE(list->tableInterface()->cellAt(10, 0)->state().selected);
        EXPECT_FALSE(list->tableInterface()->cellAt(1, 0)->state().selected);
        pick(list, 1);
        EXPECT_EQ(combo->currentIndex(), 1);
        EXPECT_EQ(textBox(*window, Control::txtType)->text(), "7210");

        pick(list, 31);
        EXPECT_EQ(combo->currentIndex(), 31);
        EXPECT_EQ(textBox(*window, Control::txtType)->text(), "0");
        EXPECT_EQ(changes.count(), 3) << "the user's picks, each once";
    }

    // While the drop-down is open, the keys move its selection; the entry changes only when one
    // is activated.
    QComboBox* combo = moduleList(*window);
    window->show();
    combo->showPopup();
    QTest::keyClick(combo->view(), Qt::Key_Up);
    EXPECT_EQ(combo->currentIndex(), 31);
    QTest::keyClick(combo->view(), Qt::Key_Return);
    EXPECT_EQ(combo->currentIndex(), 30);
    EXPECT_EQ(textBox(*window, Control::txtType)->text(), "3125");
}

// A screen reader reads a tooltip as the control's description: only All has one, whatever the
// list shows.
TEST_F(AccessibilityTest, OnlyAllHasATooltip) {
    writeFile(dir.config(), "[FILE INFO]\nType=6050\n");
    open();
    moduleList(*window)->setCurrentIndex(16); // the user's change
    for (const QWidget* widget : window->findChildren<QWidget*>()) {
        EXPECT_EQ(widget->toolTip(), widget == allBox(*window) ? "Upgrade all console modules" : "")
            << widget->objectName().toStdString();
    }
    EXPECT_TRUE(accessible(moduleList(*window))->text(QAccessible::Description).isEmpty());
}

} // namespace
