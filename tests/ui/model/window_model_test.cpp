// The window's handlers against a view without a toolkit: load with the grid build, type
// selection, All, Select, Ok, Cancel and the cases where Ok cannot do what the user asked. The
// store and the file system are the real ones, over a temporary AppDir.

#include "core/catalogue.hpp"
#include "core/fakes.hpp"
#include "core/paths.hpp"
#include "core/platform/ini_file_store.hpp"
#include "core/platform/native_file_system.hpp"
#include "fake_view.hpp"
#include "support/test_support.hpp"
#include "ui/model/window_model.hpp"
#include "window_fixture.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <vector>

using namespace quentra;
using namespace quentra::ui;
using namespace quentra::ui::testing;
using namespace quentra::test_support;
using core::JobField;
using model::Control;

namespace {

std::vector<std::string> typeWrites(const std::vector<std::string>& log) {
    std::vector<std::string> writes;
    std::copy_if(log.begin(), log.end(), std::back_inserter(writes),
                 [](const std::string& call) { return call.rfind("txtType=", 0) == 0; });
    return writes;
}

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

TEST(WindowModel, LoadShowsTheSavedJobOrTheDefaults) {
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
        TempDir dir;
        if (row.config != nullptr) {
            writeFile(dir.config(), row.config);
        }
        Window w(dir.appDir());
        w.load();
        const FakeView& v = w.view;
        EXPECT_EQ(v.texts.at(JobField::Type), row.type);
        EXPECT_EQ(v.texts.at(JobField::Address), row.address);
        EXPECT_EQ(v.texts.at(JobField::FileName), row.fileName);
        EXPECT_EQ(v.texts.at(JobField::FileSize), row.fileSize);
        EXPECT_EQ(v.texts.at(JobField::BlockSize), row.blockSize);
        EXPECT_EQ(v.texts.at(JobField::Wait), row.wait);
        EXPECT_EQ(v.texts.at(JobField::Console), row.console);
        EXPECT_EQ(v.index, row.listIndex);
        EXPECT_EQ(v.ticked(), row.ticked);
        EXPECT_EQ(v.checkState({Control::chkAll}), 0);
        EXPECT_TRUE(v.warnings.empty());
        EXPECT_FALSE(v.closed);
    }
}

TEST(WindowModel, AppDirEndsInOneSeparatorAndLocatesConfigDat) {
    TempDir dir;
    writeFile(dir.config(), "[FILE INFO]\nType=7220\n");
    const std::string bare = dir.path().string();
    for (const std::string& given : {bare, bare + core::kPathSeparator}) {
        SCOPED_TRACE(given);
        Window w(given);
        w.load();
        EXPECT_EQ(w.model.appDir(), bare + core::kPathSeparator);
        EXPECT_EQ(w.view.index, 0);
    }
    Window root(std::string(1, core::kPathSeparator));
    root.load();
    EXPECT_EQ(root.model.appDir(), std::string(1, core::kPathSeparator));
}

// ---- The list and the grid build ----------------------------------------------------------

TEST(WindowModel, LoadFillsTheListThenBuildsTheGridInTheDesignedSteps) {
    TempDir dir;
    Window w(dir.appDir());
    w.load();

    const auto names = core::displayNames();
    EXPECT_EQ(w.view.entries, std::vector<std::string>(names.begin(), names.end()));

    std::vector<std::string> expected = {"clearList", "cmbType=-1"};
    for (int p = 1; p < 16; ++p) {
        const std::string label = "lblPort(" + std::to_string(p) + ")";
        expected.push_back("create " + label);
        expected.push_back("show " + label);
        expected.push_back(label + ".Top=" + std::to_string(4680 + 300 * p));
        expected.push_back(label + ".Caption=Port #" + std::to_string(p + 1));
        for (int c = 0; c < 4; ++c) {
            const std::string box = "ChkAddr(" + std::to_string(p * 4 + c) + ")";
            expected.push_back("create " + box);
            expected.push_back("show " + box);
            expected.push_back(box + ".Top=" + std::to_string(4680 + 300 * p));
            expected.push_back(box + ".Left=" + std::to_string(1920 + 480 * c));
        }
    }
    expected.insert(expected.end(), {"Height=10815", "cmdOk.Top=9630", "cmdCancel.Top=9630",
                                     // the defaults: the address, the list index, then its type
                                     // selection
                                     "txtAddress=127", "cmbType=9", "txtType=6060"});
    EXPECT_EQ(w.view.log, expected);

    for (int i = 0; i < 64; ++i) {
        EXPECT_TRUE(w.view.isVisible({Control::ChkAddr, i})) << i;
    }
    EXPECT_EQ(w.view.captions.at({Control::lblPort, 15}), "Port #16");
    EXPECT_EQ(w.view.lefts.at({Control::ChkAddr, 63}), 3360);
    EXPECT_EQ(w.view.lefts.at({Control::lblPort, 9}), 240);
    EXPECT_EQ(w.view.lefts.at({Control::cmdOk, 0}), 360);
    EXPECT_EQ(w.view.lefts.at({Control::cmdCancel, 0}), 3120);
    EXPECT_TRUE(w.view.ticked().empty());
}

// The buttons follow the height the platform granted, not the one asked for.
TEST(WindowModel, ButtonsFollowTheGrantedOuterHeight) {
    TempDir dir;
    Window w(dir.appDir());
    w.view.grantedHeight = 9000;
    w.load();
    EXPECT_EQ(w.view.tops.at({Control::cmdOk, 0}), 7815);
    EXPECT_EQ(w.view.tops.at({Control::cmdCancel, 0}), 7815);
}

// ---- Type selection and All ---------------------------------------------------------------

TEST(WindowModel, EveryUserChangeOfTheListIndexRewritesTheTypeCode) {
    TempDir dir;
    Window w(dir.appDir());
    w.load();
    const std::pair<int, const char*> rows[] = {
        {0, "7220"},  {8, "6050"}, {17, "3612"}, {18, "3616"},
        {30, "3125"}, {31, "0"},   {9, "6060"},  {-1, "0"},
    };
    for (const auto& [index, code] : rows) {
        w.view.texts[JobField::Type] = "typed by hand";
        w.view.index = index; // as the user picked it
        w.model.cmbType_Click();
        EXPECT_EQ(w.view.texts.at(JobField::Type), code) << index;
    }
}

// The program's own changes of the index run type selection exactly once each; setting the index
// that is already selected is no change and keeps a code typed by hand.
TEST(WindowModel, TypeSelectionRunsOncePerChangeMadeByTheProgram) {
    TempDir dir;
    writeFile(dir.config(), "[FILE INFO]\nType=999\n");
    makeFileOfLength(dir.path() / "VXA-12_r3.bin", 1);
    makeFileOfLength(dir.path() / "vtl_9.bin", 1);
    Window w(dir.appDir());
    w.load();
    // Load writes the stored code first, then type selection has the last word.
    EXPECT_EQ(typeWrites(w.view.log), (std::vector<std::string>{"txtType=999", "txtType=0"}));
    EXPECT_EQ(w.view.index, 31);

    struct Row {
        const char* chosen;
        const char* typed;
        std::vector<std::string> writes;
        const char* type;
    };
    const Row rows[] = {
        {"VXA-12_r3.bin", "1", {"txtType=7210"}, "7210"},
        {"vtl_9.bin", "2", {"txtType=6050"}, "6050"},
        {"vtl_9.bin", "40000", {}, "40000"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.chosen);
        w.view.log.clear();
        w.view.texts[JobField::Type] = row.typed;
        w.view.dialog.chosen = (dir.path() / row.chosen).string();
        w.model.cmdSelect_Click();
        EXPECT_EQ(typeWrites(w.view.log), row.writes);
        EXPECT_EQ(w.view.texts.at(JobField::Type), row.type);
    }
}

TEST(WindowModel, AllSetsEveryBoxToItsOwnState) {
    TempDir dir;
    writeFile(dir.config(), "[FILE INFO]\nType=6060\nPort #2=9\n");
    Window w(dir.appDir());
    w.load();
    ASSERT_EQ(w.view.ticked(), (std::set<int>{4, 7}));

    std::set<int> all;
    for (int i = 0; i < 64; ++i) {
        all.insert(i);
    }
    w.view.tickAll(true);
    w.model.chkAll_Click();
    EXPECT_EQ(w.view.ticked(), all);

    // Boxes changed one by one afterwards leave All alone.
    w.view.setChecked({Control::ChkAddr, 10}, false);
    EXPECT_EQ(w.view.checkState({Control::chkAll}), 1);

    w.view.tickAll(false);
    w.model.chkAll_Click();
    EXPECT_TRUE(w.view.ticked().empty()) << "including the boxes load had ticked";

    // A greyed All is no tick.
    w.view.setChecked({Control::ChkAddr, 3}, true);
    w.view.states[{Control::chkAll, 0}] = 2;
    w.model.chkAll_Click();
    EXPECT_TRUE(w.view.ticked().empty());
}

// ---- Select -------------------------------------------------------------------------------

// A file system that knows one file, or whose length query fails as no std::exception does; it
// logs each query into the view's log, so that a row shows each write before the next query.
class SelectFiles final : public core::FileSystem {
public:
    bool isOrdinaryFile(const std::string&) override { return false; }
    std::int32_t fileLength(const std::string& path) override {
        log->push_back("length " + path);
        if (throws) {
            throw "unreachable";
        }
        if (path != file || !length) {
            throw core::FileSystemError("\"" + path + "\": No such file or directory");
        }
        return *length;
    }
    std::string file;
    std::optional<std::int32_t> length;
    bool throws = false;
    std::vector<std::string>* log = nullptr;
};

// The dialog's set-up, ShowOpen and FileName, in order; a row says how many of them ran.
std::vector<std::string> dialogUse(const std::string& appDir, std::size_t steps) {
    const std::vector<std::string> all = {"Flags=4",
                                          "CancelError=True",
                                          "InitDir=" + appDir,
                                          "Filter=*.bin",
                                          "DialogTitle=Specify File Name",
                                          "ShowOpen",
                                          "FileName"};
    return {all.begin(), all.begin() + static_cast<std::ptrdiff_t>(steps)};
}

// Where a selection fails. The window and the file system throw no std::exception at all.
enum class Fault { None, Title, FileName, Cancel, SizeWrite, ListWrite, LengthQuery };

struct SelectRow {
    const char* what;
    std::string chosen;                 // "@": a directory whose names hold "_" and "."
    std::optional<std::int32_t> length; // none: no such file
    Fault fault;
    std::size_t dialogSteps; // how many of the dialog's calls ran
    std::string writes;      // the window's writes and the length query in order, joined by "; "
    std::string in(const std::string& dir, std::string text) const {
        for (auto at = text.find('@'); at != std::string::npos; at = text.find('@')) {
            text.replace(at, 1, dir);
        }
        return text;
    }
};

// No error escapes and nothing is said; nothing is written after an error.
TEST(WindowModel, SelectWritesEachResultInOrderAndStopsWhereTheAnalysisStops) {
    const std::string sep(1, core::kPathSeparator);
    const std::string dir = sep + "fw_images" + sep + "v1.2_old" + sep;
    const SelectRow rows[] = {
        {"complete", "@vtl_2.bin", 70000, Fault::None, 7,
         "txtFileName=vtl_2.bin; length @vtl_2.bin; txtFileSize=70000; txtBlockSize=65536; "
         "cmbType=8; txtType=6050"},
        {"small", "@VXA-12_r3.bin", 512, Fault::None, 7,
         "txtFileName=VXA-12_r3.bin; length @VXA-12_r3.bin; txtFileSize=512; txtBlockSize=512; "
         "cmbType=1; txtType=7210"},
        {"cancel", "@VXA-12_r3.bin", 512, Fault::Cancel, 6, ""},
        {"title set-up fails", "@vtl_2.bin", 1, Fault::Title, 5, ""},
        {"name unreadable", "@vtl_2.bin", 1, Fault::FileName, 7, ""},
        {"missing file", "@typed_name.bin", std::nullopt, Fault::None, 7,
         "txtFileName=typed_name.bin; length @typed_name.bin"},
        {"no _ or .", "@HX24A", 300, Fault::None, 7,
         "txtFileName=HX24A; length @HX24A; txtFileSize=300; txtBlockSize=300"},
        {"size write fails", "@vtl_2.bin", 70000, Fault::SizeWrite, 7,
         "txtFileName=vtl_2.bin; length @vtl_2.bin; txtFileSize=70000"},
        {"list write fails", "@vtl_2.bin", 70000, Fault::ListWrite, 7,
         "txtFileName=vtl_2.bin; length @vtl_2.bin; txtFileSize=70000; txtBlockSize=65536; "
         "cmbType=8"},
        {"length query throws", "@vtl_2.bin", 70000, Fault::LengthQuery, 7,
         "txtFileName=vtl_2.bin; length @vtl_2.bin"},
        {"empty", "@vpq.bin", 0, Fault::None, 7,
         "txtFileName=vpq.bin; length @vpq.bin; txtFileSize=0; txtBlockSize=0; cmbType=13; "
         "txtType=5010"},
        {"below the limit", "@vpq.bin", 65535, Fault::None, 7,
         "txtFileName=vpq.bin; length @vpq.bin; txtFileSize=65535; txtBlockSize=65535; "
         "cmbType=13; txtType=5010"},
        {"at the limit", "@vpq.bin", 65536, Fault::None, 7,
         "txtFileName=vpq.bin; length @vpq.bin; txtFileSize=65536; txtBlockSize=65536; "
         "cmbType=13; txtType=5010"},
        {"above the limit", "@vpq.bin", 65537, Fault::None, 7,
         "txtFileName=vpq.bin; length @vpq.bin; txtFileSize=65537; txtBlockSize=65536; "
         "cmbType=13; txtType=5010"},
        {"largest length, a name beyond ASCII", "@\xc3\xa9vtl_2.bin", 2147483647, Fault::None, 7,
         "txtFileName=\xc3\xa9vtl_2.bin; length @\xc3\xa9vtl_2.bin; txtFileSize=2147483647; "
         "txtBlockSize=65536; cmbType=31; txtType=0"},
        {"no directory", "Lectern_2_1.bin", 65537, Fault::None, 7,
         "txtFileName=Lectern_2_1.bin; length Lectern_2_1.bin; txtFileSize=65537; "
         "txtBlockSize=65536; cmbType=31; txtType=0"},
    };
    for (const SelectRow& row : rows) {
        SCOPED_TRACE(row.what);
        SelectFiles files;
        Window w("/opt/quentra", nullptr, &files);
        FakeView& view = w.view;
        files.log = &view.log;
        w.load();
        files.file = row.in(dir, row.chosen);
        files.length = row.length;
        files.throws = row.fault == Fault::LengthQuery;
        view.dialog.chosen = files.file;
        view.dialog.failOnTitle = row.fault == Fault::Title;
        view.dialog.failOnFileName = row.fault == Fault::FileName;
        view.dialog.cancel = row.fault == Fault::Cancel;
        view.failAt = row.fault == Fault::SizeWrite   ? "txtFileSize"
                      : row.fault == Fault::ListWrite ? "cmbType"
                                                      : "";
        view.log.clear();
        EXPECT_EQ(view.dialogRequests, 0) << "the dialog is asked for at Select";

        w.model.cmdSelect_Click();
        std::string writes;
        for (const std::string& entry : view.log) {
            writes += (writes.empty() ? "" : "; ") + entry;
        }
        EXPECT_EQ(writes, row.in(dir, row.writes));
        EXPECT_EQ(view.dialog.calls, dialogUse(w.model.appDir(), row.dialogSteps));
        EXPECT_TRUE(view.warnings.empty()) << "Select says nothing";
    }
}

TEST(WindowModel, CancelRightAfterASuccessfulSelectChangesNothing) {
    TempDir dir;
    makeFileOfLength(dir.path() / "vpq.bin", 0);
    Window w(dir.appDir());
    w.load();
    w.view.dialog.chosen = (dir.path() / "vpq.bin").string();
    w.model.cmdSelect_Click();
    ASSERT_EQ(w.view.index, 13);
    const Snapshot before = snapshot(w.view);
    w.view.log.clear();
    w.view.dialog.cancel = true;
    w.model.cmdSelect_Click();
    EXPECT_EQ(snapshot(w.view), before);
    EXPECT_TRUE(w.view.log.empty()) << "nothing written";
}

// ---- Ok and Cancel ------------------------------------------------------------------------

struct OkRow {
    const char* what;
    const char* config; // loaded first; nullptr for none
    const char* address;
    const char* wait;
    const char* console;
    std::set<int> tick;
    std::set<int> grey;
    bool clickAll;
    std::map<std::string, std::string> expected; // keys that differ from `base` below
};

// How each text becomes the stored number is the Save table (upgrade_settings_test.cpp); here,
// that Ok writes what the controls hold, All included, and closes.
TEST(WindowModel, OkWritesTheTwentyThreeKeysAndCloses) {
    std::map<std::string, std::string> base = {
        {"Type", "6060"},  {"Address", "127"}, {"File Length", "0"}, {"Block Size", "0"},
        {"File Name", ""}, {"Wait", "0"},      {"Console", "16383"}};
    std::map<std::string, std::string> allPorts;
    for (int n = 1; n <= 16; ++n) {
        base["Port #" + std::to_string(n)] = "0";
        allPorts["Port #" + std::to_string(n)] = "15";
    }
    allPorts["Address"] = "12";
    allPorts["Console"] = "1";
    const OkRow rows[] = {
        {"defaults", nullptr, nullptr, nullptr, nullptr, {}, {}, false, {}},
        {"limits and rounding",
         nullptr,
         "200",
         "2.5",
         "256",
         {8, 10},
         {},
         false,
         {{"Wait", "2"}, {"Console", "256"}, {"Port #3", "5"}}},
        {"all boxes", nullptr, "12", nullptr, "1", {}, {}, true, allPorts},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        TempDir dir;
        if (row.config != nullptr) {
            writeFile(dir.config(), row.config);
        }
        Window w(dir.appDir());
        w.load();
        const std::pair<JobField, const char*> edits[] = {
            {JobField::Address, row.address},
            {JobField::Wait, row.wait},
            {JobField::Console, row.console},
        };
        for (const auto& [field, text] : edits) {
            if (text != nullptr) {
                w.view.texts[field] = text;
            }
        }
        for (int box : row.tick) {
            w.view.setChecked({Control::ChkAddr, box}, true);
        }
        for (int box : row.grey) {
            w.view.states[{Control::ChkAddr, box}] = 2;
        }
        if (row.clickAll) {
            w.view.tickAll(true);
            w.model.chkAll_Click();
        }
        w.model.cmdOk_Click();

        EXPECT_TRUE(w.view.closed) << "Ok closes the window";
        EXPECT_TRUE(w.view.warnings.empty());
        auto expected = base;
        for (const auto& [key, value] : row.expected) {
            expected[key] = value;
        }
        EXPECT_EQ(readSection(dir.config()), expected);
    }
}

TEST(WindowModel, CancelClosesAndLeavesConfigDatByteForByte) {
    const std::string saved = "; kept as it is\r\n[FILE INFO]\r\nType=6050\r\nAddress = 7\r\n"
                              "Port #1=1\r\n\r\n[OTHER]\r\nx=y\r\n";
    TempDir dir;
    writeFile(dir.config(), saved);
    Window w(dir.appDir());
    w.load();
    w.view.texts[JobField::Address] = "99";
    w.view.tickAll(true);
    w.model.chkAll_Click();
    w.model.cmdCancel_Click();
    EXPECT_TRUE(w.view.closed);
    EXPECT_EQ(readFile(dir.config()), saved);

    // Without a Config.dat, Cancel creates none.
    TempDir empty;
    Window fresh(empty.appDir());
    fresh.load();
    fresh.model.cmdCancel_Click();
    EXPECT_TRUE(fresh.view.closed);
    EXPECT_FALSE(std::filesystem::exists(empty.config()));
}

} // namespace
