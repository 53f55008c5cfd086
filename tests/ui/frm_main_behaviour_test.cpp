// The window's handlers: load, type selection, All, Select, Ok, Cancel and the cases where Ok
// cannot do what the user asked.

#include "core/fakes.hpp"
#include "core/paths.hpp"
#include "ui/qt/frm_main.hpp"
#include "ui_fakes.hpp"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

using namespace quentra;
using namespace quentra::ui;
using namespace quentra::ui::testing;

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
    for (const QLineEdit* box : {w.txtType, w.txtAddress, w.txtFileName, w.txtFileSize,
                                 w.txtBlockSize, w.txtWait, w.txtConsole}) {
        s.texts.push_back(box->text());
    }
    s.listIndex = w.cmbType->currentIndex();
    for (int i = 0; i < 64; ++i) {
        if (w.ChkAddr[i]->isChecked()) {
            s.ticked.insert(i);
        }
    }
    return s;
}

std::set<int> tickedBoxes(const frmMain& w) {
    return snapshot(w).ticked;
}

class BehaviourTest : public ::testing::Test {
protected:
    ~BehaviourTest() override {
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

struct LoadRow {
    const char* what;
    const char* config; // nullptr: no Config.dat
    const char* type;
    const char* address;
    const char* fileName;
    const char* fileSize;
    const char* blockSize;
    const char* wait;
    const char* console;
    int listIndex;
    std::set<int> ticked;
};

TEST_F(BehaviourTest, LoadShowsTheSavedJobOrTheDefaults) {
    const LoadRow rows[] = {
        {"first start", nullptr, "6060", "127", "", "", "", "0", "", 9, {}},
        {"saved job",
         "[FILE INFO]\nType=6050\nAddress=0127\nFile Length=70000\nBlock Size=65536\n"
         "File Name=vtl_2.bin\nWait=3\nConsole=5\nPort #1=5\nPort #2=0\nPort #3=16\n"
         "Port #4=21\nPort #5=-1\nPort #16=15\n",
         "6050",
         "127",
         "vtl_2.bin",
         "70000",
         "65536",
         "3",
         "5",
         8,
         {0, 2, 12, 14, 16, 60, 61, 62, 63}},
        {"code not in the catalogue",
         "[FILE INFO]\nType=999\n",
         "0",
         "0",
         "",
         "0",
         "0",
         "",
         "",
         31,
         {}},
        {"numbers shown unrounded and unlimited",
         "[FILE INFO]\nType=7210\nAddress=300\nFile Length=12.5\nBlock Size=&H10\n",
         "7210",
         "300",
         "",
         "12.5",
         "16",
         "",
         "",
         1,
         {}},
        {"texts kept as stored",
         "[FILE INFO]\nType=3612\nWait=2.5x\nConsole=abc\n",
         "3612",
         "0",
         "",
         "0",
         "0",
         "2.5x",
         "abc",
         17,
         {}},
        {"file without the section",
         "[OTHER]\nType=6050\n",
         "0",
         "0",
         "",
         "0",
         "0",
         "",
         "",
         31,
         {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        TempDir rowDir;
        if (row.config != nullptr) {
            writeFile(rowDir.config(), row.config);
        }
        frmMain w(rowDir.appDir(), withPresenter());
        EXPECT_EQ(w.txtType->text(), row.type);
        EXPECT_EQ(w.txtAddress->text(), row.address);
        EXPECT_EQ(w.txtFileName->text(), row.fileName);
        EXPECT_EQ(w.txtFileSize->text(), row.fileSize);
        EXPECT_EQ(w.txtBlockSize->text(), row.blockSize);
        EXPECT_EQ(w.txtWait->text(), row.wait);
        EXPECT_EQ(w.txtConsole->text(), row.console);
        EXPECT_EQ(w.cmbType->currentIndex(), row.listIndex);
        EXPECT_EQ(tickedBoxes(w), row.ticked);
        EXPECT_FALSE(w.chkAll->isChecked());
    }
}

TEST_F(BehaviourTest, AppDirEndsInOneSeparatorAndLocatesConfigDat) {
    writeFile(dir.config(), "[FILE INFO]\nType=7220\n");
    const std::string bare = dir.path().string();
    const std::string rows[] = {bare, bare + core::kPathSeparator};
    for (const auto& given : rows) {
        SCOPED_TRACE(given);
        frmMain w(given, withPresenter());
        EXPECT_EQ(w.appDir(), bare + core::kPathSeparator);
        EXPECT_EQ(w.cmbType->currentIndex(), 0);
    }
    frmMain root(std::string(1, core::kPathSeparator), withPresenter());
    EXPECT_EQ(root.appDir(), std::string(1, core::kPathSeparator));
}

TEST_F(BehaviourTest, AppDirDefaultsToTheProgramsDirectory) {
    frmMain w(std::nullopt, withPresenter());
    EXPECT_EQ(w.appDir(),
              core::withTrailingSeparator(
                  QDir::toNativeSeparators(QCoreApplication::applicationDirPath()).toStdString()));
}

TEST_F(BehaviourTest, ConfigDatThatIsADirectoryCountsAsAbsent) {
    std::filesystem::create_directory(dir.config());
    open();
    EXPECT_EQ(window->txtAddress->text(), "127");
    EXPECT_EQ(window->cmbType->currentIndex(), 9);
}

// ---- Type selection and All ---------------------------------------------------------------

TEST_F(BehaviourTest, EveryChangeOfTheListIndexRewritesTheTypeCode) {
    open();
    const std::pair<int, const char*> rows[] = {
        {0, "7220"}, {8, "6050"}, {17, "3612"}, {18, "3616"}, {30, "3125"}, {31, "0"}, {9, "6060"},
    };
    for (const auto& [index, code] : rows) {
        window->txtType->setText("typed by hand");
        window->cmbType->setCurrentIndex(index);
        EXPECT_EQ(window->txtType->text(), code) << index;
    }
    // A typed code stays until the list changes again.
    window->txtType->setText("40000");
    EXPECT_EQ(window->txtType->text(), "40000");
}

TEST_F(BehaviourTest, AllFollowsTheUsersClickOnly) {
    writeFile(dir.config(), "[FILE INFO]\nType=6060\nPort #2=9\n");
    open();
    ASSERT_EQ(tickedBoxes(*window), (std::set<int>{4, 7}));

    std::set<int> all;
    for (int i = 0; i < 64; ++i) {
        all.insert(i);
    }
    QTest::mouseClick(window->chkAll, Qt::LeftButton);
    EXPECT_EQ(tickedBoxes(*window), all);

    // Boxes changed one by one afterwards leave All alone.
    window->ChkAddr[10]->click();
    EXPECT_TRUE(window->chkAll->isChecked());

    QTest::mouseClick(window->chkAll, Qt::LeftButton);
    EXPECT_TRUE(tickedBoxes(*window).empty()) << "including the boxes load had ticked";

    // A change made by the program is no click.
    window->chkAll->setChecked(true);
    EXPECT_TRUE(tickedBoxes(*window).empty());
}

// ---- Select -------------------------------------------------------------------------------

struct SelectRow {
    const char* what;
    const char* shortName;
    long long length; // < 0: the file does not exist
    bool cancel;
    const char* fileName;
    const char* fileSize;
    const char* blockSize;
    int listIndex;
    const char* type;
};

TEST_F(BehaviourTest, SelectWritesWhatTheAnalysisReached) {
    const SelectRow rows[] = {
        {"complete", "VXA-12_r3.bin", 512, false, "VXA-12_r3.bin", "512", "512", 1, "7210"},
        {"long file", "vtl_2.bin", 65537, false, "vtl_2.bin", "65537", "65536", 8, "6050"},
        {"unknown prefix", "Lectern_2_1.bin", 0, false, "Lectern_2_1.bin", "0", "0", 31, "0"},
        {"cancel", "VXA-12_r3.bin", 512, true, "old.bin", "11", "22", 9, "6060"},
        {"missing file", "ghost_1.bin", -1, false, "ghost_1.bin", "11", "22", 9, "6060"},
        {"neither _ nor .", "HX24A", 300, false, "HX24A", "300", "300", 9, "6060"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        TempDir rowDir;
        const auto chosen = rowDir.path() / row.shortName;
        if (row.length >= 0) {
            makeFileOfLength(chosen, static_cast<std::uintmax_t>(row.length));
        }
        int made = 0;
        core::testing::FakeFileDialog* dialog = nullptr;
        frmMainServices s = withPresenter();
        s.makeFileDialog = [&](QWidget*) {
            ++made;
            auto fake = std::make_unique<core::testing::FakeFileDialog>();
            dialog = fake.get();
            dialog->chosen = chosen.string();
            dialog->cancel = row.cancel;
            return fake;
        };
        frmMain w(rowDir.appDir(), s);
        EXPECT_EQ(made, 0) << "the dialog is made at the first Select";
        w.txtFileName->setText("old.bin");
        w.txtFileSize->setText("11");
        w.txtBlockSize->setText("22");

        QTest::mouseClick(w.cmdSelect, Qt::LeftButton);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(w.txtFileName->text(), row.fileName);
        EXPECT_EQ(w.txtFileSize->text(), row.fileSize);
        EXPECT_EQ(w.txtBlockSize->text(), row.blockSize);
        EXPECT_EQ(w.cmbType->currentIndex(), row.listIndex);
        EXPECT_EQ(w.txtType->text(), row.type);
        EXPECT_NE(
            std::find(dialog->calls.begin(), dialog->calls.end(), "InitDir=" + rowDir.appDir()),
            dialog->calls.end());

        // The same dialog object serves the next Select.
        dialog->calls.clear();
        QTest::mouseClick(w.cmdSelect, Qt::LeftButton);
        EXPECT_EQ(made, 1);
        EXPECT_FALSE(dialog->calls.empty());
    }
}

TEST_F(BehaviourTest, CancelRightAfterASuccessfulSelectChangesNothing) {
    makeFileOfLength(dir.path() / "vpq.bin", 0);
    core::testing::FakeFileDialog* dialog = nullptr;
    services.makeFileDialog = [&](QWidget*) {
        auto fake = std::make_unique<core::testing::FakeFileDialog>();
        dialog = fake.get();
        return fake;
    };
    open();
    window->cmdSelect->click();
    ASSERT_NE(dialog, nullptr);
    dialog->chosen = (dir.path() / "vpq.bin").string();
    window->cmdSelect->click();
    ASSERT_EQ(window->cmbType->currentIndex(), 13);
    const Snapshot before = snapshot(*window);
    dialog->cancel = true;
    window->cmdSelect->click();
    EXPECT_EQ(snapshot(*window), before);
}

// ---- Ok and Cancel ------------------------------------------------------------------------

struct OkRow {
    const char* what;
    const char* config; // loaded first; nullptr for none
    const char* address;
    const char* wait;
    const char* console;
    std::set<int> tick;
    bool clickAll;
    std::map<std::string, std::string> expected; // keys that differ from `base` below
};

TEST_F(BehaviourTest, OkWritesTheTwentyThreeKeysAndCloses) {
    std::map<std::string, std::string> base = {
        {"Type", "6060"},  {"Address", "127"}, {"File Length", "0"}, {"Block Size", "0"},
        {"File Name", ""}, {"Wait", "0"},      {"Console", "16383"}};
    for (int n = 1; n <= 16; ++n) {
        base["Port #" + std::to_string(n)] = "0";
    }
    const OkRow rows[] = {
        {"defaults", nullptr, nullptr, nullptr, nullptr, {}, false, {}},
        {"limits and rounding",
         nullptr,
         "200",
         "2.5",
         "256",
         {8, 10},
         false,
         {{"Wait", "2"}, {"Console", "256"}, {"Port #3", "5"}}},
        {"negative address, console out of range",
         nullptr,
         "-3",
         "-1",
         "257",
         {63},
         false,
         {{"Address", "-3"}, {"Wait", "-1"}, {"Port #16", "8"}}},
        {"all boxes",
         nullptr,
         "12",
         nullptr,
         "1",
         {},
         true,
         {{"Address", "12"},
          {"Console", "1"},
          {"Port #1", "15"},
          {"Port #2", "15"},
          {"Port #3", "15"},
          {"Port #4", "15"},
          {"Port #5", "15"},
          {"Port #6", "15"},
          {"Port #7", "15"},
          {"Port #8", "15"},
          {"Port #9", "15"},
          {"Port #10", "15"},
          {"Port #11", "15"},
          {"Port #12", "15"},
          {"Port #13", "15"},
          {"Port #14", "15"},
          {"Port #15", "15"},
          {"Port #16", "15"}}},
        {"unknown code loaded",
         "[FILE INFO]\nType=999\nAddress=300\nFile Name=x_1.bin\n"
         "Console=16383\nPort #2=3\n",
         nullptr,
         nullptr,
         nullptr,
         {},
         false,
         {{"Type", "0"}, {"File Name", "x_1.bin"}, {"Wait", "0"}, {"Port #2", "3"}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        TempDir rowDir;
        if (row.config != nullptr) {
            writeFile(rowDir.config(), row.config);
        }
        frmMain w(rowDir.appDir(), withPresenter());
        w.show();
        if (row.address != nullptr) {
            w.txtAddress->setText(row.address);
        }
        if (row.wait != nullptr) {
            w.txtWait->setText(row.wait);
        }
        if (row.console != nullptr) {
            w.txtConsole->setText(row.console);
        }
        for (int box : row.tick) {
            w.ChkAddr[box]->setChecked(true);
        }
        if (row.clickAll) {
            w.chkAll->click();
        }
        QTest::mouseClick(w.cmdOk, Qt::LeftButton);

        EXPECT_FALSE(w.isVisible()) << "Ok closes the window";
        auto expected = base;
        for (const auto& [key, value] : row.expected) {
            expected[key] = value;
        }
        EXPECT_EQ(readSection(rowDir.config()), expected);
    }
}

TEST_F(BehaviourTest, AccessKeysPressTheButtons) {
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
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        window->txtAddress->setText("42");
        // Through the window system, as a real key press, so that access keys are looked up.
        QTest::keyClick(window->windowHandle(), key, Qt::AltModifier);
        // An access key animates the press: the click follows a moment later.
        EXPECT_TRUE(QTest::qWaitFor([this] { return !window->isVisible(); }, 2000));
        ASSERT_EQ(std::filesystem::exists(dir.config()), saves);
        if (saves) {
            EXPECT_EQ(readSection(dir.config()).at("Address"), "42");
        }
    }
}

TEST_F(BehaviourTest, CancelAndClosingLeaveConfigDatByteForByte) {
    const std::string saved = "; kept as it is\r\n[FILE INFO]\r\nType=6050\r\nAddress = 7\r\n"
                              "Port #1=1\r\n\r\n[OTHER]\r\nx=y\r\n";
    const std::pair<const char*, bool> rows[] = {{"Cancel", true}, {"window closed", false}};
    for (const auto& [what, viaCancel] : rows) {
        SCOPED_TRACE(what);
        writeFile(dir.config(), saved);
        open();
        window->show();
        window->txtAddress->setText("99");
        window->txtFileName->setText("changed_1.bin");
        window->chkAll->click();
        window->cmbType->setCurrentIndex(3);
        if (viaCancel) {
            QTest::mouseClick(window->cmdCancel, Qt::LeftButton);
        } else {
            window->close();
        }
        EXPECT_FALSE(window->isVisible());
        EXPECT_EQ(readFile(dir.config()), saved);
    }
    // Without a Config.dat, Cancel creates none.
    std::filesystem::remove(dir.config());
    open();
    window->cmdCancel->click();
    EXPECT_FALSE(std::filesystem::exists(dir.config()));
}

// ---- Where Ok cannot do what the user asked -----------------------------------------------

struct InvalidRow {
    QLineEdit* frmMain::*box;
    const char* text;
    const char* fieldCaption;
};

TEST_F(BehaviourTest, AValueThatCannotBeStoredIsNamedAndNothingIsWritten) {
    const InvalidRow rows[] = {
        {&frmMain::txtAddress, "99999999999", "Module Address"},
        {&frmMain::txtType, "-2147483649", "Module Type"},
        {&frmMain::txtFileSize, "1E12", "File Size"},
        {&frmMain::txtBlockSize, "&HFFFFFFFFF", "Block Size"},
        {&frmMain::txtWait, "3000000000", "Wait"},
        {&frmMain::txtConsole, "-1e300", "Console #"},
    };
    const std::string saved = "[FILE INFO]\nType=6050\nPort #2=1\n";
    for (const auto& row : rows) {
        SCOPED_TRACE(row.fieldCaption);
        writeFile(dir.config(), saved);
        presenter->texts.clear();
        open();
        window->show();
        window->ChkAddr[33]->setChecked(true);
        (window.get()->*row.box)->setText(row.text);
        const Snapshot before = snapshot(*window);

        window->cmdOk->click();

        ASSERT_EQ(presenter->texts.size(), 1);
        EXPECT_TRUE(presenter->texts.front().contains(row.fieldCaption))
            << presenter->texts.front().toStdString();
        EXPECT_TRUE(window->isVisible());
        EXPECT_EQ(snapshot(*window), before);
        EXPECT_EQ(readFile(dir.config()), saved);
    }
    expectedMessages = 1;
}

TEST_F(BehaviourTest, AFileNameWithALineBreakIsNamedAndNothingIsWritten) {
    open();
    window->show();
    window->txtFileName->setText(QStringLiteral("a_1.bin\nType=1"));
    ASSERT_TRUE(window->txtFileName->text().contains('\n'));
    window->cmdOk->click();
    ASSERT_EQ(presenter->texts.size(), 1);
    EXPECT_TRUE(presenter->texts.front().contains("File Name"));
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(std::filesystem::exists(dir.config()));
    expectedMessages = 1;
}

TEST_F(BehaviourTest, AFailedCommitGivesTheReasonAndKeepsTheWindowOpen) {
    // A directory in the place of Config.dat: load takes the defaults, the commit must fail.
    std::filesystem::create_directory(dir.config());
    open();
    window->show();
    window->txtAddress->setText("5");
    const Snapshot before = snapshot(*window);
    window->cmdOk->click();
    ASSERT_EQ(presenter->texts.size(), 1);
    EXPECT_TRUE(presenter->texts.front().contains("Config.dat"));
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(snapshot(*window), before);
    EXPECT_TRUE(std::filesystem::is_directory(dir.config()));
    EXPECT_TRUE(std::filesystem::is_empty(dir.config()));

    // The system's own reason reaches the user unchanged.
    auto store = std::make_shared<core::testing::RecordingConfigStore>();
    store->commitError = "No space left on device";
    services.store = store;
    presenter->texts.clear();
    open();
    window->show();
    window->cmdOk->click();
    ASSERT_EQ(presenter->texts.size(), 1);
    EXPECT_TRUE(presenter->texts.front().contains("No space left on device"));
    EXPECT_TRUE(window->isVisible());
    expectedMessages = 1;
}

TEST_F(BehaviourTest, AnUnreadableSavedJobIsSaidOnceAfterTheWindowIsShown) {
    auto store = std::make_shared<core::testing::RecordingConfigStore>();
    auto files = std::make_shared<core::testing::FakeFileSystem>();
    const std::string path = core::configFilePath(dir.appDir());
    files->files[path] = 100;
    store->values[{path, "FILE INFO", "Type"}] = "6050";
    store->values[{path, "FILE INFO", "Port #1"}] = "2";
    store->readFailure = "Permission denied";
    services.store = store;
    services.fileSystem = files;

    open();
    EXPECT_EQ(window->cmbType->currentIndex(), 8);
    EXPECT_EQ(tickedBoxes(*window), (std::set<int>{1}));
    EXPECT_EQ(window->txtConsole->text(), "");
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

} // namespace
