// The Qt view's wiring to the window model: what reaches the handlers (the user's clicks, keys
// and list changes, not the program's own), the dialog it keeps, its message box and its close,
// and the texts as Qt holds them. The handlers' behaviour itself is tested once against a view
// without a toolkit (tests/ui/model).

#include "core/fakes.hpp"
#include "core/paths.hpp"
#include "ui/qt/frm_main.hpp"
#include "ui_fakes.hpp"
#include "window_controls.hpp"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

using namespace quentra;
using namespace quentra::ui;
using namespace quentra::ui::testing;
using model::Control;
using namespace std::string_literals;

namespace {

// What the user sees in the job's controls, for before/after comparisons.
struct Snapshot {
    std::vector<QString> texts;
    int listIndex = -1;
    std::set<int> ticked;
    bool operator==(const Snapshot&) const = default;
};

Snapshot snapshot(const frmMain& w) {
    Snapshot s;
    for (const QLineEdit* box : {textBox(w, Control::txtType), textBox(w, Control::txtAddress),
                                 textBox(w, Control::txtFileName), textBox(w, Control::txtFileSize),
                                 textBox(w, Control::txtBlockSize), textBox(w, Control::txtWait),
                                 textBox(w, Control::txtConsole)}) {
        s.texts.push_back(box->text());
    }
    s.listIndex = moduleList(w)->currentIndex();
    for (int i = 0; i < 64; ++i) {
        if (gridBox(w, i)->isChecked()) {
            s.ticked.insert(i);
        }
    }
    return s;
}

std::set<int> tickedBoxes(const frmMain& w) {
    return snapshot(w).ticked;
}

class WiringTest : public ::testing::Test {
protected:
    ~WiringTest() override {
        EXPECT_EQ(presenter->texts.size(), expectedMessages)
            << presenter->texts.join(" | ").toStdString();
    }

    frmMain& open() {
        window = std::make_unique<frmMain>(dir.appDir(), services);
        return *window;
    }

    // The window shown, as the program shows it, with pending events run.
    void showAndSettle() {
        window->show();
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }

    frmMainServices withPresenter() {
        frmMainServices s;
        s.messages = presenter;
        return s;
    }

    TempDir dir;
    std::shared_ptr<RecordingPresenter> presenter = std::make_shared<RecordingPresenter>();
    frmMainServices services = withPresenter();
    std::unique_ptr<frmMain> window;
    qsizetype expectedMessages = 0;
};

// ---- Load ---------------------------------------------------------------------------------

// The Qt view hands the model its texts, list and boxes: one saved job shows whole.
TEST_F(WiringTest, LoadShowsTheSavedJobInTheQtControls) {
    writeFile(dir.config(), "[FILE INFO]\nType=6050\nAddress=0127\nFile Length=70000\n"
                            "Block Size=65536\nFile Name=vtl_2.bin\nWait=3\nConsole=5\n"
                            "Port #1=5\nPort #16=15\n");
    open();
    EXPECT_EQ(snapshot(*window).texts,
              (std::vector<QString>{"6050", "127", "vtl_2.bin", "70000", "65536", "3", "5"}));
    EXPECT_EQ(moduleList(*window)->currentIndex(), 8);
    EXPECT_EQ(tickedBoxes(*window), (std::set<int>{0, 2, 60, 61, 62, 63}));
    EXPECT_EQ(window->appDir(), dir.appDir());
}

TEST_F(WiringTest, AppDirDefaultsToTheProgramsDirectory) {
    frmMain w(std::nullopt, withPresenter());
    EXPECT_EQ(w.appDir(),
              core::withTrailingSeparator(
                  QDir::toNativeSeparators(QCoreApplication::applicationDirPath()).toStdString()));
}

// ---- Type selection and All ---------------------------------------------------------------

// Qt reports every change of the index; the user's reach the model, once each.
TEST_F(WiringTest, AUserChangeOfTheListRunsTypeSelection) {
    open();
    window->show();
    const QSignalSpy changes(moduleList(*window), &QComboBox::currentIndexChanged);
    textBox(*window, Control::txtType)->setText("typed by hand");
    moduleList(*window)->setFocus();
    QTest::keyClick(moduleList(*window), Qt::Key_Down);
    EXPECT_EQ(moduleList(*window)->currentIndex(), 10);
    EXPECT_EQ(textBox(*window, Control::txtType)->text(), "2301");

    moduleList(*window)->setCurrentIndex(31);
    EXPECT_EQ(textBox(*window, Control::txtType)->text(), "0");
    EXPECT_EQ(changes.count(), 2);
}

// Every way a user has of changing All ticks or clears all 64 boxes: a screen reader's "Toggle"
// changes the state without a click.
TEST_F(WiringTest, AllFollowsEveryChangeTheUserMakes) {
    const auto toggle = [](QCheckBox* box) {
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(box);
        ASSERT_NE(accessible->actionInterface(), nullptr);
        accessible->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    };
    const std::pair<const char*, std::function<void(QCheckBox*)>> rows[] = {
        {"mouse", [](QCheckBox* box) { QTest::mouseClick(box, Qt::LeftButton); }},
        {"Space", [](QCheckBox* box) { QTest::keyClick(box, Qt::Key_Space); }},
        {"accessibility action", toggle},
    };
    std::set<int> all;
    for (int i = 0; i < 64; ++i) {
        all.insert(i);
    }
    for (const auto& [how, change] : rows) {
        SCOPED_TRACE(how);
        writeFile(dir.config(), "[FILE INFO]\nType=6060\nPort #2=9\n");
        open();
        window->show();
        ASSERT_EQ(tickedBoxes(*window), (std::set<int>{4, 7}));

        change(allBox(*window));
        ASSERT_TRUE(allBox(*window)->isChecked());
        EXPECT_EQ(tickedBoxes(*window), all);

        // Boxes changed one by one afterwards leave All alone.
        gridBox(*window, 10)->click();
        EXPECT_TRUE(allBox(*window)->isChecked());

        change(allBox(*window));
        ASSERT_FALSE(allBox(*window)->isChecked());
        EXPECT_TRUE(tickedBoxes(*window).empty()) << "including the boxes load had ticked";
    }
}

// ---- Select, Ok, Cancel -------------------------------------------------------------------

// One dialog, made at the first press and kept; the list index the selection sets is the
// program's change: Qt does not report it, and the model runs type selection for it.
TEST_F(WiringTest, SelectUsesOneDialogAndItsListChangeIsNotReported) {
    const auto chosen = dir.path() / "VXA-12_r3.bin";
    makeFileOfLength(chosen, 512);
    int made = 0;
    core::testing::FakeFileDialog* dialog = nullptr;
    services.makeFileDialog = [&](QWidget* owner) {
        EXPECT_EQ(owner, window.get());
        ++made;
        auto fake = std::make_unique<core::testing::FakeFileDialog>();
        dialog = fake.get();
        dialog->chosen = chosen.string();
        return fake;
    };
    open();
    EXPECT_EQ(made, 0) << "the dialog is made at the first Select";
    const QSignalSpy changes(moduleList(*window), &QComboBox::currentIndexChanged);

    QTest::mouseClick(button(*window, Control::cmdSelect), Qt::LeftButton);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(snapshot(*window).texts,
              (std::vector<QString>{"7210", "127", "VXA-12_r3.bin", "512", "512", "0", ""}));
    EXPECT_EQ(moduleList(*window)->currentIndex(), 1);
    EXPECT_EQ(changes.count(), 0);

    dialog->calls.clear();
    QTest::mouseClick(button(*window, Control::cmdSelect), Qt::LeftButton);
    EXPECT_EQ(made, 1);
    EXPECT_FALSE(dialog->calls.empty());
}

TEST_F(WiringTest, OkClickedSavesWhatTheQtControlsHoldAndCloses) {
    open();
    window->show();
    textBox(*window, Control::txtAddress)->setText("12");
    textBox(*window, Control::txtConsole)->setText("1");
    gridBox(*window, 6)->setCheckState(Qt::PartiallyChecked);
    gridBox(*window, 63)->setChecked(true);
    QTest::mouseClick(button(*window, Control::cmdOk), Qt::LeftButton);

    EXPECT_FALSE(window->isVisible()) << "Ok closes the window";
    std::map<std::string, std::string> expected = {
        {"Type", "6060"},  {"Address", "12"}, {"File Length", "0"}, {"Block Size", "0"},
        {"File Name", ""}, {"Wait", "0"},     {"Console", "1"}};
    for (int n = 1; n <= 16; ++n) {
        expected["Port #" + std::to_string(n)] = "0";
    }
    expected["Port #16"] = "8"; // a greyed box counts as unticked
    EXPECT_EQ(readSection(dir.config()), expected);
}

// The consumer reads an unpaired surrogate in a UTF-16 Config.dat as its unit: shown and saved
// again, it stays that unit.
TEST_F(WiringTest, AnUnpairedSurrogateInAUtf16ValueIsShownAndSavedUnchanged) {
    const std::string value = "=\0x\0\x00\xD8\r\0\n\0"s;
    std::string file = "\xFF\xFE"s;
    for (const char c : std::string_view("[FILE INFO]\r\nFile Name")) {
        file += c;
        file += '\0';
    }
    writeFile(dir.config(), file + value);
    open();
    window->show();
    const QChar shown[] = {QChar(u'x'), QChar(char16_t{0xD800})};
    EXPECT_EQ(textBox(*window, Control::txtFileName)->text(), QString(shown, 2));
    QTest::mouseClick(button(*window, Control::cmdOk), Qt::LeftButton);
    EXPECT_NE(readFile(dir.config()).find(value), std::string::npos);
}

TEST_F(WiringTest, AccessKeysPressTheButtons) {
    const std::tuple<const char*, Qt::Key, bool> rows[] = {
        {"Alt+O saves", Qt::Key_O, true},
        {"Alt+C does not", Qt::Key_C, false},
    };
    for (const auto& [what, key, saves] : rows) {
        SCOPED_TRACE(what);
        std::filesystem::remove(dir.config());
        open();
        showAndSettle();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get(), kSettleMs));
        textBox(*window, Control::txtAddress)->setText("42");
        // Through the window system, as a real key press, so that access keys are looked up.
        QTest::keyClick(window->windowHandle(), key, Qt::AltModifier);
        // An access key animates the press: the click follows a moment later.
        EXPECT_TRUE(QTest::qWaitFor([this] { return !window->isVisible(); }, kSettleMs));
        ASSERT_EQ(std::filesystem::exists(dir.config()), saves);
        if (saves) {
            EXPECT_EQ(readSection(dir.config()).at("Address"), "42");
        }
    }
}

TEST_F(WiringTest, CancelAndClosingLeaveConfigDatByteForByte) {
    const std::string saved = "; kept as it is\r\n[FILE INFO]\r\nType=6050\r\nAddress = 7\r\n"
                              "Port #1=1\r\n\r\n[OTHER]\r\nx=y\r\n";
    const std::pair<const char*, bool> rows[] = {{"Cancel", true}, {"window closed", false}};
    for (const auto& [what, viaCancel] : rows) {
        SCOPED_TRACE(what);
        writeFile(dir.config(), saved);
        open();
        window->show();
        textBox(*window, Control::txtAddress)->setText("99");
        textBox(*window, Control::txtFileName)->setText("changed_1.bin");
        allBox(*window)->click();
        moduleList(*window)->setCurrentIndex(3);
        if (viaCancel) {
            QTest::mouseClick(button(*window, Control::cmdCancel), Qt::LeftButton);
        } else {
            window->close();
        }
        EXPECT_FALSE(window->isVisible());
        EXPECT_EQ(readFile(dir.config()), saved);
    }
}

// ---- Where Ok cannot do what the user asked -----------------------------------------------

TEST_F(WiringTest, AValueThatCannotBeStoredIsSaidInAMessageBoxOverTheOpenWindow) {
    const std::string saved = "[FILE INFO]\nType=6050\nPort #2=1\n";
    writeFile(dir.config(), saved);
    open();
    window->show();
    textBox(*window, Control::txtAddress)->setText("99999999999");
    QTest::mouseClick(button(*window, Control::cmdOk), Qt::LeftButton);
    ASSERT_EQ(presenter->texts.size(), 1);
    EXPECT_EQ(presenter->titles.front(), "Quentra Module Upgrade");
    EXPECT_TRUE(presenter->texts.front().startsWith(
        "\"Module Address\" holds a value that cannot be stored: "))
        << presenter->texts.front().toStdString();
    EXPECT_TRUE(window->isVisible());
    expectedMessages = 1;
}

// No limit of the design's on a text box: longer than Qt's default of 32767 characters too.
TEST_F(WiringTest, TextBoxesTakeTextsOfAnyLength) {
    open();
    const QString longText(40000, QLatin1Char('7'));
    for (QLineEdit* box :
         {textBox(*window, Control::txtType), textBox(*window, Control::txtAddress),
          textBox(*window, Control::txtFileName), textBox(*window, Control::txtFileSize),
          textBox(*window, Control::txtBlockSize), textBox(*window, Control::txtWait),
          textBox(*window, Control::txtConsole)}) {
        box->setText(longText);
        EXPECT_EQ(box->text().size(), longText.size()) << box->objectName().toStdString();
    }
}

TEST_F(WiringTest, AnUnreadableSavedJobIsSaidOnceAfterTheWindowIsShown) {
    auto store = std::make_shared<core::testing::RecordingConfigStore>();
    auto files = std::make_shared<core::testing::FakeFileSystem>();
    const std::string path = core::configFilePath(dir.appDir());
    files->files[path] = 100;
    store->readFailure = "Permission denied";
    services.store = store;
    services.fileSystem = files;

    open();
    QCoreApplication::processEvents();
    EXPECT_TRUE(presenter->texts.isEmpty()) << "not before the window is shown";

    showAndSettle();
    ASSERT_EQ(presenter->texts.size(), 1);
    EXPECT_TRUE(presenter->texts.front().contains("Permission denied"));
    window->hide();
    showAndSettle();
    EXPECT_EQ(presenter->texts.size(), 1) << "said once";
    expectedMessages = 1;
}

// Ok asks through the window's question before it replaces a saved job it could not read, and
// the answer decides (each answer: the model's table).
TEST_F(WiringTest, AnUnreadableSavedJobIsReplacedOnlyAfterTheUsersYes) {
    auto store = std::make_shared<core::testing::RecordingConfigStore>();
    auto files = std::make_shared<core::testing::FakeFileSystem>();
    files->files[core::configFilePath(dir.appDir())] = 100;
    store->readFailure = "Permission denied";
    services.store = store;
    services.fileSystem = files;
    presenter->answer = true;
    open();
    window->show();

    button(*window, Control::cmdOk)->click();
    ASSERT_EQ(presenter->questions.size(), 1);
    EXPECT_TRUE(presenter->questions.front().contains("could not be read"));
    EXPECT_EQ(std::count(store->calls.begin(), store->calls.end(), "commit"), 1);
    EXPECT_FALSE(window->isVisible());
}

// The real question: No is the default button and Esc's answer; only Yes says yes.
TEST_F(WiringTest, TheQuestionsDefaultAnswerIsNo) {
    const std::pair<const char*, std::function<void(QMessageBox*)>> rows[] = {
        {"Enter", [](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Return); }},
        {"Esc", [](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); }},
        {"Yes", [](QMessageBox* box) { box->button(QMessageBox::Yes)->click(); }},
    };
    open();
    window->show();
    for (const auto& [how, answerWith] : rows) {
        SCOPED_TRACE(how);
        const std::function<void(QMessageBox*)>& answer = answerWith;
        // Answers the question once it is on screen.
        QTimer waiter;
        QObject::connect(&waiter, &QTimer::timeout, [&waiter, &answer] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                waiter.stop();
                answer(box);
            }
        });
        waiter.start(10);
        MessageBoxPresenter real;
        EXPECT_EQ(real.askYesNo(window.get(), "Quentra Module Upgrade", "Replace it?"),
                  std::string(how) == "Yes");
    }
}

// ---- File names as the consumer reads them ------------------------------------------------

struct NameRow {
    const char* what;
    std::string config; // empty: no Config.dat
    QString shown;      // txtFileName after load
    QString typed;      // empty: left as loaded
    std::string saved;  // expected in the file after Ok
};

TEST_F(WiringTest, FileNamesReachTheFileAsTheConsumerReadsThem) {
    const QString melange = QString::fromUtf8("M\xC3\xA9lange_2.bin");
    const std::string longName = std::string(40000, 'n') + ".bin";
    const NameRow rows[] = {
        {"untouched Windows-1252 name keeps its bytes",
         "[FILE INFO]\r\nType=6050\r\nFile Name=M\xE9lange_2.bin\r\n",
         melange,
         {},
         "File Name=M\xE9lange_2.bin\r\n"},
        {"name beyond 32767 characters round-trips",
         "[FILE INFO]\r\nFile Name=" + longName + "\r\n",
         QString::fromStdString(longName),
         {},
         "File Name=" + longName + "\r\n"},
        {"accent typed into a new file", "", "", melange, "File Name=M\xE9lange_2.bin\r\n"},
    };
    for (const NameRow& row : rows) {
        SCOPED_TRACE(row.what);
        TempDir rowDir;
        if (!row.config.empty()) {
            writeFile(rowDir.config(), row.config);
        }
        frmMain w(rowDir.appDir(), withPresenter());
        w.show();
        EXPECT_EQ(textBox(w, Control::txtFileName)->text().size(), row.shown.size());
        EXPECT_TRUE(textBox(w, Control::txtFileName)->text() == row.shown);
        if (!row.typed.isEmpty()) {
            textBox(w, Control::txtFileName)->setText(row.typed);
        }
        button(w, Control::cmdOk)->click();
        EXPECT_FALSE(w.isVisible());
        const std::string file = readFile(rowDir.config());
        EXPECT_FALSE(file.starts_with("\xFF\xFE") || file.starts_with("\xEF\xBB\xBF"));
        EXPECT_NE(file.find(row.saved), std::string::npos) << file.substr(0, 200);
    }
}

} // namespace
