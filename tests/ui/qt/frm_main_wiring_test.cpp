// The Qt view's wiring to the window model, as one table from control to handler: what the user
// does through Qt (a click, a key, a list change, an accessibility action, closing the window)
// and what shows the handler ran, or did not (the program's own changes are not reported). Then
// what only the Qt view does: the texts as Qt holds them, its message box, the unreadable saved
// job said after the window is shown, the real question's default answer, the default AppDir.
// The handlers' behaviour itself is tested once against a view without a toolkit (tests/ui/model).

#include "core/fakes.hpp"
#include "core/paths.hpp"
#include "core/platform/ini_file_store.hpp"
#include "core/platform/native_file_system.hpp"
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
#include <vector>

using namespace quentra;
using namespace quentra::ui;
using namespace quentra::ui::testing;
using model::Control;
using namespace std::string_literals;

namespace {

std::vector<QLineEdit*> jobTextBoxes(const frmMain& w) {
    return {textBox(w, Control::txtType),      textBox(w, Control::txtAddress),
            textBox(w, Control::txtFileName),  textBox(w, Control::txtFileSize),
            textBox(w, Control::txtBlockSize), textBox(w, Control::txtWait),
            textBox(w, Control::txtConsole)};
}

std::vector<QString> jobTexts(const frmMain& w) {
    std::vector<QString> texts;
    for (const QLineEdit* box : jobTextBoxes(w)) {
        texts.push_back(box->text());
    }
    return texts;
}

std::set<int> tickedBoxes(const frmMain& w) {
    std::set<int> ticked;
    for (int i = 0; i < 64; ++i) {
        if (gridBox(w, i)->isChecked()) {
            ticked.insert(i);
        }
    }
    return ticked;
}

class WiringTest : public ::testing::Test {
protected:
    ~WiringTest() override {
        EXPECT_EQ(presenter->texts.size(), expectedMessages)
            << presenter->texts.join(" | ").toStdString();
    }

    frmMain& open() {
        window = std::make_unique<frmMain>(*store, *fileSystem, dir.appDir(), services);
        return *window;
    }

    // The window shown, as the program shows it, with pending events run.
    void showAndSettle() {
        window->show();
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }

    frmMainServices withPresenter() const { return {.messages = presenter}; }

    TempDir dir;
    std::shared_ptr<core::ConfigStore> store = std::make_shared<core::IniFileStore>();
    std::shared_ptr<core::FileSystem> fileSystem = std::make_shared<core::NativeFileSystem>();
    std::shared_ptr<RecordingPresenter> presenter = std::make_shared<RecordingPresenter>();
    frmMainServices services = withPresenter();
    std::unique_ptr<frmMain> window;
    qsizetype expectedMessages = 0;
};

// ---- From control to handler --------------------------------------------------------------

// Only Ok saves; Ok, Cancel and closing close the window.
enum class Window { staysOpen, savesAndCloses, closesWithoutSaving };

struct WiringRow {
    const char* control;          // as the design names it
    const char* how;              // what the user does, through Qt
    std::string config;           // Config.dat before the window opens; empty: none
    std::function<void()> edit;   // the user's changes before the action; empty: none
    std::function<void()> act;    // on the shown window; empty: none
    Window after;                 // unless saved, Config.dat stays byte for byte (or absent)
    std::function<void()> expect; // what else shows the handler ran, or did not
};

// Each row opens a window over its Config.dat and shows it. Select's dialog (a fake) returns
// VXA-12_r3.bin, 512 bytes long; listChanges counts every change of the list's index Qt reports.
TEST_F(WiringTest, EachUserActionReachesItsHandler) {
    const auto chosen = dir.path() / "VXA-12_r3.bin";
    makeFileOfLength(chosen, 512);
    int dialogsMade = 0;
    core::testing::FakeFileDialog* dialog = nullptr;
    services.makeFileDialog = [&](QWidget* owner) {
        EXPECT_EQ(owner, window.get());
        ++dialogsMade;
        auto fake = std::make_unique<core::testing::FakeFileDialog>();
        dialog = fake.get();
        dialog->chosen = chosen.string();
        return fake;
    };
    std::unique_ptr<QSignalSpy> listChanges;

    const auto click = [this](Control control) {
        QTest::mouseClick(button(*window, control), Qt::LeftButton);
    };
    // Through the window system, as a real key press, so that access keys are looked up.
    const auto altKey = [this](Qt::Key key) {
        showAndSettle();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get(), kSettleMs));
        QTest::keyClick(window->windowHandle(), key, Qt::AltModifier);
    };
    const auto editForOk = [this] {
        textBox(*window, Control::txtAddress)->setText("12");
        textBox(*window, Control::txtConsole)->setText("1");
        gridBox(*window, 6)->setCheckState(Qt::PartiallyChecked);
        gridBox(*window, 63)->setChecked(true);
    };
    const auto savedAsEdited = [this] {
        ASSERT_TRUE(std::filesystem::exists(dir.config())) << "nothing saved";
        std::map<std::string, std::string> expected = {
            {"Type", "6060"},  {"Address", "12"}, {"File Length", "0"}, {"Block Size", "0"},
            {"File Name", ""}, {"Wait", "0"},     {"Console", "1"}};
        for (int n = 1; n <= 16; ++n) {
            expected["Port #" + std::to_string(n)] = "0";
        }
        expected["Port #16"] = "8"; // a greyed box counts as unticked
        EXPECT_EQ(readSection(dir.config()), expected);
    };
    // Changes that Cancel and closing must not save.
    const auto changeTheJob = [this] {
        textBox(*window, Control::txtAddress)->setText("99");
        textBox(*window, Control::txtFileName)->setText("changed_1.bin");
        allBox(*window)->click();
        moduleList(*window)->setCurrentIndex(3);
    };
    const std::string kept = "; kept as it is\r\n[FILE INFO]\r\nType=6050\r\nAddress = 7\r\n"
                             "Port #1=1\r\n\r\n[OTHER]\r\nx=y\r\n";

    // chkAll changed one way twice: all 64 ticked, a box changed by itself afterwards leaves All
    // alone, and the second change clears all 64, those load ticked included.
    const auto allTwice = [this](const std::function<void(QCheckBox*)>& change) {
        ASSERT_EQ(tickedBoxes(*window), (std::set<int>{4, 7}));
        change(allBox(*window));
        ASSERT_TRUE(allBox(*window)->isChecked());
        EXPECT_EQ(tickedBoxes(*window).size(), 64U);
        gridBox(*window, 10)->click();
        EXPECT_TRUE(allBox(*window)->isChecked()) << "a box by itself leaves All alone";
        change(allBox(*window));
    };
    const auto allCleared = [this] {
        EXPECT_FALSE(allBox(*window)->isChecked());
        EXPECT_TRUE(tickedBoxes(*window).empty()) << "including the boxes load had ticked";
    };
    const auto byMouse = [](QCheckBox* box) { QTest::mouseClick(box, Qt::LeftButton); };
    const auto bySpace = [](QCheckBox* box) { QTest::keyClick(box, Qt::Key_Space); };
    // A screen reader's "Toggle" changes the state without a click.
    const auto byToggle = [](QCheckBox* box) {
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(box);
        ASSERT_NE(accessible->actionInterface(), nullptr);
        accessible->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    };
    const std::string twoTicked = "[FILE INFO]\nType=6060\nPort #2=9\n";

    const WiringRow rows[] = {
        {"form load", "opens the window",
         "[FILE INFO]\nType=6050\nAddress=0127\nFile Length=70000\nBlock Size=65536\n"
         "File Name=vtl_2.bin\nWait=3\nConsole=5\nPort #1=5\nPort #16=15\n",
         nullptr, nullptr, Window::staysOpen,
         [&] {
             EXPECT_EQ(jobTexts(*window), (std::vector<QString>{"6050", "127", "vtl_2.bin", "70000",
                                                                "65536", "3", "5"}));
             EXPECT_EQ(moduleList(*window)->currentIndex(), 8);
             EXPECT_EQ(tickedBoxes(*window), (std::set<int>{0, 2, 60, 61, 62, 63}));
             EXPECT_EQ(dialogsMade, 0) << "the dialog is made at the first Select";
         }},
        // Qt reports every change of the index; the user's reach the model, once each.
        {"cmbType", "Down key, then an entry chosen", "",
         [this] { textBox(*window, Control::txtType)->setText("typed by hand"); },
         [this] {
             moduleList(*window)->setFocus();
             QTest::keyClick(moduleList(*window), Qt::Key_Down);
             EXPECT_EQ(moduleList(*window)->currentIndex(), 10);
             EXPECT_EQ(textBox(*window, Control::txtType)->text(), "2301");
             moduleList(*window)->setCurrentIndex(31);
         },
         Window::staysOpen,
         [&] {
             EXPECT_EQ(textBox(*window, Control::txtType)->text(), "0");
             EXPECT_EQ(listChanges->count(), 2);
         }},
        {"chkAll", "mouse click", twoTicked, nullptr, [&] { allTwice(byMouse); }, Window::staysOpen,
         allCleared},
        {"chkAll", "Space", twoTicked, nullptr, [&] { allTwice(bySpace); }, Window::staysOpen,
         allCleared},
        {"chkAll", "accessibility action Toggle", twoTicked, nullptr, [&] { allTwice(byToggle); },
         Window::staysOpen, allCleared},
        // One dialog, made at the first press and kept; the list index Select's guess sets is
        // the program's change: Qt does not report it, and the model runs type selection for it.
        {"cmdSelect", "mouse click, twice", "", nullptr,
         [&] {
             click(Control::cmdSelect);
             ASSERT_NE(dialog, nullptr);
             dialog->calls.clear();
             click(Control::cmdSelect);
         },
         Window::staysOpen,
         [&] {
             EXPECT_EQ(jobTexts(*window), (std::vector<QString>{"7210", "127", "VXA-12_r3.bin",
                                                                "512", "512", "0", ""}));
             EXPECT_EQ(moduleList(*window)->currentIndex(), 1);
             EXPECT_EQ(listChanges->count(), 0);
             EXPECT_EQ(dialogsMade, 1);
             ASSERT_NE(dialog, nullptr);
             EXPECT_FALSE(dialog->calls.empty()) << "the second press uses the same dialog";
         }},
        {"cmdOk", "mouse click", "", editForOk, [&] { click(Control::cmdOk); },
         Window::savesAndCloses, savedAsEdited},
        {"cmdOk", "Alt+O", "", editForOk, [&] { altKey(Qt::Key_O); }, Window::savesAndCloses,
         savedAsEdited},
        {"cmdCancel", "Alt+C", "", changeTheJob, [&] { altKey(Qt::Key_C); },
         Window::closesWithoutSaving, nullptr},
        {"cmdCancel", "mouse click", kept, changeTheJob, [&] { click(Control::cmdCancel); },
         Window::closesWithoutSaving, nullptr},
        {"form close", "the window closed", kept, changeTheJob, [this] { window->close(); },
         Window::closesWithoutSaving, nullptr},
    };
    const auto configDat = [this] {
        return std::filesystem::exists(dir.config()) ? readFile(dir.config()) : "(none)"s;
    };
    for (const WiringRow& row : rows) {
        SCOPED_TRACE(std::string(row.control) + ", " + row.how);
        std::filesystem::remove(dir.config());
        if (!row.config.empty()) {
            writeFile(dir.config(), row.config);
        }
        dialogsMade = 0;
        dialog = nullptr;
        open();
        listChanges =
            std::make_unique<QSignalSpy>(moduleList(*window), &QComboBox::currentIndexChanged);
        window->show();
        for (const auto& step : {row.edit, row.act}) {
            if (step) {
                step();
            }
        }
        if (row.after == Window::staysOpen) {
            EXPECT_TRUE(window->isVisible());
        } else {
            // An access key animates the press: the click follows a moment later.
            EXPECT_TRUE(QTest::qWaitFor([this] { return !window->isVisible(); }, kSettleMs));
        }
        if (row.after != Window::savesAndCloses) {
            EXPECT_EQ(configDat(), row.config.empty() ? "(none)"s : row.config);
        }
        if (row.expect) {
            row.expect();
        }
    }
}

// ---- What only the Qt view does -----------------------------------------------------------

TEST_F(WiringTest, AppDirDefaultsToTheProgramsDirectory) {
    core::testing::FakeFileSystem files;
    const frmMain w(*store, files, std::nullopt, withPresenter());
    const QString programDir = QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
    EXPECT_EQ(files.queries.at(0), "exists " + core::configFilePath(programDir.toStdString()));
}

// No limit of the design's on a text box: longer than Qt's default of 32767 characters too.
TEST_F(WiringTest, TextBoxesTakeTextsOfAnyLength) {
    open();
    const QString longText(40000, QLatin1Char('7'));
    for (QLineEdit* box : jobTextBoxes(*window)) {
        box->setText(longText);
        EXPECT_EQ(box->text().size(), longText.size()) << box->objectName().toStdString();
    }
}

struct NameRow {
    const char* what;
    std::string config; // empty: no Config.dat
    QString shown;      // txtFileName after load
    QString typed;      // empty: left as loaded
    std::string saved;  // expected in the file after Ok
};

// The file keeps its encoding: ANSI (no byte order mark) for a new file and an ANSI one, UTF-16
// for a UTF-16 one, whose unpaired surrogate the consumer reads as its unit.
TEST_F(WiringTest, FileNamesReachTheFileAsTheConsumerReadsThem) {
    const QString melange = QString::fromUtf8("M\xC3\xA9lange_2.bin");
    const std::string longName = std::string(40000, 'n') + ".bin";
    std::string utf16 = "\xFF\xFE"s;
    for (const char c : std::string_view("[FILE INFO]\r\nFile Name")) {
        utf16 += c;
        utf16 += '\0';
    }
    const std::string surrogateValue = "=\0x\0\x00\xD8\r\0\n\0"s;
    const QChar surrogateShown[] = {QChar(u'x'), QChar(char16_t{0xD800})};
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
        {"unpaired surrogate in a UTF-16 value is shown and saved unchanged",
         utf16 + surrogateValue,
         QString(surrogateShown, 2),
         {},
         surrogateValue},
    };
    for (const NameRow& row : rows) {
        SCOPED_TRACE(row.what);
        TempDir rowDir;
        if (!row.config.empty()) {
            writeFile(rowDir.config(), row.config);
        }
        frmMain w(*store, *fileSystem, rowDir.appDir(), withPresenter());
        w.show();
        EXPECT_EQ(textBox(w, Control::txtFileName)->text().size(), row.shown.size());
        EXPECT_TRUE(textBox(w, Control::txtFileName)->text() == row.shown);
        if (!row.typed.isEmpty()) {
            textBox(w, Control::txtFileName)->setText(row.typed);
        }
        QTest::mouseClick(button(w, Control::cmdOk), Qt::LeftButton);
        EXPECT_FALSE(w.isVisible());
        const std::string file = readFile(rowDir.config());
        EXPECT_EQ(file.starts_with("\xFF\xFE"), row.config.starts_with("\xFF\xFE"));
        EXPECT_FALSE(file.starts_with("\xEF\xBB\xBF"));
        EXPECT_NE(file.find(row.saved), std::string::npos) << file.substr(0, 200);
    }
}

TEST_F(WiringTest, AValueThatCannotBeStoredIsSaidInAMessageBoxOverTheOpenWindow) {
    writeFile(dir.config(), "[FILE INFO]\nType=6050\nPort #2=1\n");
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

// Said once, after the window is on screen; Ok then asks through the window's question before it
// replaces the job, and the answer decides (each answer: the model's table).
TEST_F(WiringTest, AnUnreadableSavedJobIsSaidOnceAfterShowingAndReplacedOnlyAfterYes) {
    auto recording = std::make_shared<core::testing::RecordingConfigStore>();
    auto files = std::make_shared<core::testing::FakeFileSystem>();
    files->files[core::configFilePath(dir.appDir())] = 100;
    recording->readFailure = "Permission denied";
    store = recording;
    fileSystem = files;
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

    presenter->answer = true;
    button(*window, Control::cmdOk)->click();
    ASSERT_EQ(presenter->questions.size(), 1);
    EXPECT_TRUE(presenter->questions.front().contains("could not be read"));
    EXPECT_EQ(std::count(recording->calls.begin(), recording->calls.end(), "commit"), 1);
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

} // namespace
