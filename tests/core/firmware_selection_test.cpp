#include "core/firmware_selection.hpp"

#include "core/paths.hpp"
#include "fakes.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace quentra::core {
namespace {

using testing::FakeFileDialog;
using testing::FakeFileSystem;
using testing::RecordingSink;

const std::string kSep(1, kPathSeparator);
const std::string kAppDir = kSep + "opt" + kSep + "upgrade" + kSep;

// The dialog's set-up, ShowOpen and FileName, in order; a row says how many of them ran.
const std::vector<std::string> kDialogUse = {"Flags=4",
                                             "CancelError=True",
                                             "InitDir=" + kAppDir,
                                             "Filter=*.bin",
                                             "DialogTitle=Specify File Name",
                                             "ShowOpen",
                                             "FileName"};

// Where a selection fails. The window side and the file system throw no std::exception at all.
enum class Fault { None, Title, FileName, Cancel, SinkSize, SinkList, FsLength };

class FailingSink : public RecordingSink {
public:
    void setFileSizeText(const std::string& text) override {
        RecordingSink::setFileSizeText(text);
        failIf(Fault::SinkSize);
    }
    void setListIndex(std::int16_t index) override {
        RecordingSink::setListIndex(index);
        failIf(Fault::SinkList);
    }
    void failIf(Fault here) const {
        if (fault == here) {
            throw 42;
        }
    }
    Fault fault = Fault::None;
};

class FailingFileSystem : public FakeFileSystem {
public:
    std::int32_t fileLength(const std::string& path) override {
        const std::int32_t length = FakeFileSystem::fileLength(path);
        if (fault == Fault::FsLength) {
            throw "unreachable";
        }
        return length;
    }
    Fault fault = Fault::None;
};

struct Selection {
    explicit Selection(Fault fault) {
        dialog.failOnTitle = fault == Fault::Title;
        dialog.failOnFileName = fault == Fault::FileName;
        dialog.cancel = fault == Fault::Cancel;
        sink.fault = fs.fault = fault;
    }
    SelectOutcome run() { return selectFirmwareFile(dialog, fs, sink, kAppDir); }

    FakeFileDialog dialog;
    FailingFileSystem fs;
    FailingSink sink;
};

struct Row {
    const char* what;
    std::string chosen;
    std::optional<std::int32_t> length; // none: no such file
    Fault fault;
    SelectOutcome outcome;
    std::size_t dialogSteps; // how many of kDialogUse ran
    std::string writes;      // the window side's writes in order, joined by spaces
};

// No error escapes, and nothing is written after one.
TEST(Select, EachSelectionWritesWhatItReachedInOrder) {
    using enum SelectOutcome;
    const Row rows[] = {
        {"complete", kAppDir + "vtl_2.bin", 70000, Fault::None, Complete, 7,
         "txtFileName=vtl_2.bin txtFileSize=70000 txtBlockSize=65536 cmbType=8"},
        {"cancel", kAppDir + "VXA-12_r3.bin", 512, Fault::Cancel, DialogFailed, 6, ""},
        {"title set-up fails", kAppDir + "vtl_2.bin", 1, Fault::Title, DialogFailed, 5, ""},
        {"name unreadable", kAppDir + "vtl_2.bin", 1, Fault::FileName, DialogFailed, 7, ""},
        {"missing file", kAppDir + "typed_name.bin", std::nullopt, Fault::None, StoppedAtLength, 7,
         "txtFileName=typed_name.bin"},
        {"no _ or .", kAppDir + "HX24A", 300, Fault::None, StoppedAtPrefix, 7,
         "txtFileName=HX24A txtFileSize=300 txtBlockSize=300"},
        {"no separator", "Lectern_2_1.bin", 65537, Fault::None, Complete, 7,
         "txtFileName=Lectern_2_1.bin txtFileSize=65537 txtBlockSize=65536 cmbType=31"},
        {"size write fails", kAppDir + "vtl_2.bin", 70000, Fault::SinkSize, StoppedAtLength, 7,
         "txtFileName=vtl_2.bin txtFileSize=70000"},
        {"list write fails", kAppDir + "vtl_2.bin", 70000, Fault::SinkList, StoppedAtPrefix, 7,
         "txtFileName=vtl_2.bin txtFileSize=70000 txtBlockSize=65536 cmbType=8"},
        {"length query throws", kAppDir + "vtl_2.bin", 70000, Fault::FsLength, StoppedAtLength, 7,
         "txtFileName=vtl_2.bin"},
        {"empty", kAppDir + "vpq.bin", 0, Fault::None, Complete, 7,
         "txtFileName=vpq.bin txtFileSize=0 txtBlockSize=0 cmbType=13"},
        {"below the limit", kAppDir + "vpq.bin", 65535, Fault::None, Complete, 7,
         "txtFileName=vpq.bin txtFileSize=65535 txtBlockSize=65535 cmbType=13"},
        {"at the limit", kAppDir + "vpq.bin", 65536, Fault::None, Complete, 7,
         "txtFileName=vpq.bin txtFileSize=65536 txtBlockSize=65536 cmbType=13"},
        {"above the limit", kAppDir + "vpq.bin", 65537, Fault::None, Complete, 7,
         "txtFileName=vpq.bin txtFileSize=65537 txtBlockSize=65536 cmbType=13"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Selection s(row.fault);
        s.dialog.chosen = row.chosen;
        if (row.length) {
            s.fs.files[row.chosen] = *row.length;
        }
        EXPECT_EQ(s.run(), row.outcome);
        std::string writes;
        for (const std::string& call : s.sink.calls) {
            writes += (writes.empty() ? "" : " ") + call;
        }
        EXPECT_EQ(writes, row.writes);
        EXPECT_EQ(s.dialog.calls, std::vector<std::string>(kDialogUse.begin(),
                                                           kDialogUse.begin() + row.dialogSteps));
        // The file system is asked the chosen file's length once the dialog gave it, nothing else.
        EXPECT_EQ(s.fs.queries, row.outcome == DialogFailed
                                    ? std::vector<std::string>{}
                                    : std::vector<std::string>{"length " + row.chosen});
    }
}

TEST(Select, CancelAfterASelectionKeepsItsResults) {
    Selection s(Fault::None);
    s.dialog.chosen = kAppDir + "VXA-12_r3.bin";
    s.fs.files[s.dialog.chosen] = 512;
    ASSERT_EQ(s.run(), SelectOutcome::Complete);
    s.sink.calls.clear();
    s.dialog.cancel = true;
    EXPECT_EQ(s.run(), SelectOutcome::DialogFailed);
    EXPECT_TRUE(s.sink.calls.empty());
    EXPECT_EQ(s.sink.fileName, "VXA-12_r3.bin");
    EXPECT_EQ(s.sink.listIndex, 1);
    EXPECT_EQ(s.fs.queries.size(), 1u); // the first selection only
}

} // namespace
} // namespace quentra::core
