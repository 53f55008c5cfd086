#include "core/firmware_selection.hpp"

#include "core/paths.hpp"
#include "fakes.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quentra::core {
namespace {

using testing::FakeFileDialog;
using testing::FakeFileSystem;
using testing::RecordingSink;

const std::string kSep(1, kPathSeparator);
const std::string kAppDir = kSep + "opt" + kSep + "upgrade" + kSep;

class SelectTest : public ::testing::Test {
protected:
    SelectOutcome select() { return selectFirmwareFile(dialog_, fs_, sink_, kAppDir); }
    std::string file(const std::string& name, std::int32_t length) {
        std::string path = kAppDir + name;
        fs_.files[path] = length;
        return path;
    }

    FakeFileDialog dialog_;
    FakeFileSystem fs_;
    RecordingSink sink_;
};

const std::vector<std::string> kDialogUse = {"Flags=4",
                                             "CancelError=True",
                                             "InitDir=" + kAppDir,
                                             "Filter=*.bin",
                                             "DialogTitle=Specify File Name",
                                             "ShowOpen",
                                             "FileName"};

TEST_F(SelectTest, SetsUpTheDialogAndWritesEveryResultInOrder) {
    dialog_.chosen = file("vtl_2.bin", 70000);
    EXPECT_EQ(select(), SelectOutcome::Complete);
    EXPECT_EQ(dialog_.calls, kDialogUse);
    EXPECT_EQ(sink_.calls, (std::vector<std::string>{"txtFileName=vtl_2.bin", "txtFileSize=70000",
                                                     "txtBlockSize=65536", "cmbType=8"}));
}

TEST_F(SelectTest, CancelChangesNothingEvenAfterASelection) {
    dialog_.chosen = file("VXA-12_r3.bin", 512);
    ASSERT_EQ(select(), SelectOutcome::Complete);
    sink_.calls.clear();
    dialog_.calls.clear();
    dialog_.cancel = true;
    EXPECT_EQ(select(), SelectOutcome::DialogFailed);
    EXPECT_TRUE(sink_.calls.empty());
    EXPECT_EQ(sink_.fileName, "VXA-12_r3.bin");
    EXPECT_EQ(sink_.listIndex, 1);
    EXPECT_EQ(dialog_.calls, std::vector<std::string>(kDialogUse.begin(), kDialogUse.end() - 1));
    EXPECT_EQ(fs_.queries.size(), 1u); // the first selection only
}

TEST_F(SelectTest, ErrorsWhileTheDialogIsSetUpOrReadChangeNothing) {
    dialog_.chosen = file("vtl_2.bin", 1);
    dialog_.failOnTitle = true;
    EXPECT_EQ(select(), SelectOutcome::DialogFailed);
    EXPECT_EQ(dialog_.calls.back(), "DialogTitle=Specify File Name"); // never shown
    dialog_.failOnTitle = false;
    dialog_.failOnFileName = true;
    EXPECT_EQ(select(), SelectOutcome::DialogFailed);
    EXPECT_TRUE(sink_.calls.empty());
    EXPECT_TRUE(fs_.queries.empty());
}

TEST_F(SelectTest, AMissingFileChangesOnlyTheFileName) {
    dialog_.chosen = kAppDir + "typed_name.bin";
    EXPECT_EQ(select(), SelectOutcome::StoppedAtLength);
    EXPECT_EQ(sink_.calls, std::vector<std::string>{"txtFileName=typed_name.bin"});
    EXPECT_EQ(fs_.queries, std::vector<std::string>{"length " + kAppDir + "typed_name.bin"});
}

TEST_F(SelectTest, ANameWithoutUnderscoreOrDotLeavesTheList) {
    dialog_.chosen = file("HX24A", 300);
    EXPECT_EQ(select(), SelectOutcome::StoppedAtPrefix);
    EXPECT_EQ(sink_.calls, (std::vector<std::string>{"txtFileName=HX24A", "txtFileSize=300",
                                                     "txtBlockSize=300"}));
}

TEST_F(SelectTest, APathWithoutSeparatorIsItsOwnShortName) {
    dialog_.chosen = "Lectern_2_1.bin";
    fs_.files["Lectern_2_1.bin"] = 65537;
    EXPECT_EQ(select(), SelectOutcome::Complete);
    EXPECT_EQ(sink_.calls,
              (std::vector<std::string>{"txtFileName=Lectern_2_1.bin", "txtFileSize=65537",
                                        "txtBlockSize=65536", "cmbType=31"}));
}

// A window side that fails on one of its writes: nothing after it may be written.
class FailingSink : public RecordingSink {
public:
    explicit FailingSink(std::string failOn) : failOn_(std::move(failOn)) {}
    void setFileSizeText(const std::string& text) override {
        RecordingSink::setFileSizeText(text);
        failIf("size");
    }
    void setListIndex(std::int16_t index) override {
        RecordingSink::setListIndex(index);
        failIf("list");
    }

private:
    void failIf(const std::string& what) {
        if (what == failOn_) {
            throw 42; // not even a std::exception
        }
    }
    std::string failOn_;
};

class ThrowingFileSystem : public FileSystem {
public:
    bool isOrdinaryFile(const std::string&) override { return true; }
    std::int32_t fileLength(const std::string&) override { throw "unreachable"; }
};

TEST_F(SelectTest, NoErrorEscapesAndNothingIsWrittenAfterIt) {
    dialog_.chosen = file("vtl_2.bin", 70000);
    FailingSink sizeFails("size");
    EXPECT_EQ(selectFirmwareFile(dialog_, fs_, sizeFails, kAppDir), SelectOutcome::StoppedAtLength);
    EXPECT_EQ(sizeFails.calls,
              (std::vector<std::string>{"txtFileName=vtl_2.bin", "txtFileSize=70000"}));

    FailingSink listFails("list");
    EXPECT_EQ(selectFirmwareFile(dialog_, fs_, listFails, kAppDir), SelectOutcome::StoppedAtPrefix);
    EXPECT_EQ(listFails.calls.size(), 4u);

    ThrowingFileSystem oddFs;
    EXPECT_EQ(selectFirmwareFile(dialog_, oddFs, sink_, kAppDir), SelectOutcome::StoppedAtLength);
    EXPECT_EQ(sink_.calls, std::vector<std::string>{"txtFileName=vtl_2.bin"});
}

TEST_F(SelectTest, BlockSizesAroundTheLimit) {
    const std::pair<std::int32_t, const char*> cases[] = {
        {0, "0"}, {65535, "65535"}, {65536, "65536"}, {65537, "65536"}};
    for (const auto& [length, block] : cases) {
        sink_.calls.clear();
        dialog_.chosen = file("vpq.bin", length);
        EXPECT_EQ(select(), SelectOutcome::Complete);
        EXPECT_EQ(sink_.calls, (std::vector<std::string>{
                                   "txtFileName=vpq.bin", "txtFileSize=" + std::to_string(length),
                                   std::string("txtBlockSize=") + block, "cmbType=13"}));
    }
}

} // namespace
} // namespace quentra::core
