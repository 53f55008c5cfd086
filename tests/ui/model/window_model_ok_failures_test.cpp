// The window's handlers where Ok cannot do what the user asked: a value that cannot be stored, a
// failed or refused save, a saved job that could not be read.

#include "core/fakes.hpp"
#include "core/paths.hpp"
#include "support/test_support.hpp"
#include "window_fixture.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

using namespace quentra;
using namespace quentra::ui;
using namespace quentra::ui::testing;
using namespace quentra::test_support;
using core::JobField;
using model::Control;

namespace {

// ---- Where Ok cannot do what the user asked -----------------------------------------------

TEST(WindowModel, AValueThatCannotBeStoredIsNamedAndNothingIsWritten) {
    const std::tuple<JobField, const char*, const char*> rows[] = {
        {JobField::Address, "99999999999", "Module Address"},
        {JobField::Type, "-2147483649", "Module Type"},
        {JobField::FileSize, "1E12", "File Size"},
        {JobField::BlockSize, "&HFFFFFFFFF", "Block Size"},
        {JobField::Wait, "3000000000", "Wait"},
        {JobField::Console, "-1e300", "Console #"},
        {JobField::FileName, "a_1.bin\nType=1", "File Name"},
    };
    const std::string saved = "[FILE INFO]\nType=6050\nPort #2=1\n";
    for (const auto& [field, text, caption] : rows) {
        SCOPED_TRACE(caption);
        TempDir dir;
        writeFile(dir.config(), saved);
        Window w(dir.appDir());
        w.load();
        w.view.setChecked({Control::ChkAddr, 33}, true);
        w.view.texts[field] = text;
        const Snapshot before = snapshot(w.view);

        w.model.cmdOk_Click();

        ASSERT_EQ(w.view.warnings.size(), 1U);
        EXPECT_EQ(w.view.warnings.front().first, "Quentra Module Upgrade");
        const std::string& message = w.view.warnings.front().second;
        EXPECT_EQ(message.rfind(
                      "\"" + std::string(caption) + "\" holds a value that cannot be stored: ", 0),
                  0U)
            << message;
        EXPECT_TRUE(message.ends_with("\nNothing was saved.")) << message;
        EXPECT_FALSE(w.view.closed);
        EXPECT_EQ(snapshot(w.view), before);
        EXPECT_EQ(readFile(dir.config()), saved);
    }
}

// A file name the file's encoding has no characters for: the store's refusal names the field and
// the encoding, and the window stays open over the file as it was.
TEST(WindowModel, AFileNameTheFilesEncodingCannotHoldIsSaidAndNothingIsWritten) {
    const std::string saved = "[FILE INFO]\r\nFile Name=M\xE9lange_2.bin\r\n";
    TempDir dir;
    writeFile(dir.config(), saved);
    Window w(dir.appDir());
    w.load();
    w.view.texts[JobField::FileName] = "\xE6\xBC\xA2\xE5\xAD\x97.bin";
    w.model.cmdOk_Click();
    ASSERT_EQ(w.view.warnings.size(), 1U);
    const std::string& message = w.view.warnings.front().second;
    EXPECT_NE(message.find("File Name"), std::string::npos) << message;
    EXPECT_NE(message.find("Windows-1252"), std::string::npos) << message;
    EXPECT_FALSE(w.view.closed);
    EXPECT_EQ(readFile(dir.config()), saved);
}

TEST(WindowModel, AFailedCommitGivesTheReasonAndKeepsTheWindowOpen) {
    // A directory in the place of Config.dat: load takes the defaults, the commit must fail.
    TempDir dir;
    std::filesystem::create_directory(dir.config());
    Window w(dir.appDir());
    w.load();
    w.view.texts[JobField::Address] = "5";
    const Snapshot before = snapshot(w.view);
    w.model.cmdOk_Click();
    ASSERT_EQ(w.view.warnings.size(), 1U);
    EXPECT_EQ(w.view.warnings.front().second.rfind(
                  "The job could not be saved to \"" + dir.appDir() + "Config.dat\": ", 0),
              0U)
        << w.view.warnings.front().second;
    EXPECT_FALSE(w.view.closed);
    EXPECT_EQ(snapshot(w.view), before);
    EXPECT_TRUE(std::filesystem::is_directory(dir.config()));
    EXPECT_TRUE(std::filesystem::is_empty(dir.config()));

    // The system's own reason reaches the user unchanged.
    core::testing::RecordingConfigStore store;
    store.commitFault = [] { throw core::StoreError("No space left on device"); };
    Window full(dir.appDir(), &store);
    full.load();
    full.model.cmdOk_Click();
    ASSERT_EQ(full.view.warnings.size(), 1U);
    EXPECT_EQ(full.view.warnings.front().second,
              "The job could not be saved to \"" + dir.appDir() +
                  "Config.dat\": No space left on device\nThe file was left as it was.");
    EXPECT_FALSE(full.view.closed);
}

TEST(WindowModel, AnUnreadableSavedJobIsSaidOnceWhenTheWindowIsShown) {
    core::testing::RecordingConfigStore store;
    core::testing::FakeFileSystem files;
    const std::string appDir = "/srv/qmu/";
    const std::string path = core::configFilePath(appDir);
    files.files[path] = 100;
    store.values[{path, "FILE INFO", "Type"}] = "6050";
    store.values[{path, "FILE INFO", "Port #1"}] = "2";
    store.readFailure = "Permission denied";

    Window w(appDir, &store, &files);
    w.load();
    EXPECT_EQ(w.view.index, 8);
    EXPECT_EQ(w.view.ticked(), (std::set<int>{1}));
    EXPECT_EQ(w.view.texts.at(JobField::Console), "");
    EXPECT_TRUE(w.view.warnings.empty()) << "not before the window is shown";

    w.model.windowShown();
    ASSERT_EQ(w.view.warnings.size(), 1U);
    EXPECT_EQ(w.view.warnings.front(),
              std::make_pair(std::string("Quentra Module Upgrade"),
                             std::string("The saved job in \"/srv/qmu/Config.dat\" could not be "
                                         "read: Permission denied\nThe window shows what could "
                                         "be read of it.")));
    w.model.windowShown();
    EXPECT_EQ(w.view.warnings.size(), 1U) << "said once";
}

// A save read back otherwise, or one that another program kept from being made, is refused
// and the window stays open, the message naming what was read, shown and stored, or the file
// held; a save whose folder could not be flushed is done, and the window closes after saying so.
TEST(WindowModel, ARefusedReadBackOrAnUnflushedSaveIsSaidAsWhatHappened) {
    struct Row {
        const char* name;
        std::function<void()> fault;
        std::string message;
        bool closed;
    };
    const std::string kept = "\nThe file was left as it was.";
    const Row rows[] = {
        {"read otherwise", [] { throw core::ReadBackMismatchError("Wait", "2", "20", "x"); },
         "The job was not saved: the new \"/srv/qmu/Config.dat\", read as the upgrade consumer "
         "reads it, gives \"Wait\" as \"20\".\nThe window holds \"2.4\", stored as \"2\"." +
             kept,
         false},
        {"not found by the store's own reader",
         [] { throw core::ReadBackMismatchError("Port #3", "0", std::nullopt, "x", false); },
         "The job was not saved: the new \"/srv/qmu/Config.dat\", read back, has no \"Port #3\"."
         "\nThe window holds \"no box ticked\", stored as \"0\"." +
             kept,
         false},
        {"a UTF-8 file read otherwise by the consumer",
         [] {
             throw core::ReadBackMismatchError("File Name", "M\xC3\xA9lange.bin",
                                               "M\xC3\x83\xC2\xA9lange.bin", "x", true, true);
         },
         "The job was not saved: the new \"/srv/qmu/Config.dat\", read as the upgrade consumer "
         "reads it, gives \"File Name\" as \"M\xC3\x83\xC2\xA9lange.bin\".\nThe window holds "
         "\"M\xC3\xA9lange.bin\", stored as \"M\xC3\xA9lange.bin\".\nThe file is in UTF-8, an "
         "encoding that Windows does not read in such files: save it as ANSI or UTF-16 in a text "
         "editor, or remove it to start from the defaults." +
             kept,
         false},
        {"lock file held",
         [] { throw core::FileInUseError("x", core::HeldFile::Lock, "/srv/qmu/Config.dat.lock"); },
         "The job was not saved: the lock file \"/srv/qmu/Config.dat.lock\" beside "
         "\"/srv/qmu/Config.dat\" is held by another program, such as a second save of the job."
         "\nPress Ok again once it has let go. The file was left as it was.",
         false},
        {"new file held",
         [] {
             throw core::FileInUseError("x", core::HeldFile::NewFile,
                                        "/srv/qmu/.Config.dat.tmp-1-2-3-4");
         },
         "The job was not saved: another program, such as a virus scanner or a sync client, held "
         "the new file written to replace \"/srv/qmu/Config.dat\", "
         "\"/srv/qmu/.Config.dat.tmp-1-2-3-4\", for longer than a save waits.\nPress Ok again "
         "to save the job. The file was left as it was.",
         false},
        {"folder not flushed", [] { throw core::NotDurableError("Input/output error"); },
         "The job was saved to \"/srv/qmu/Config.dat\", but the system could not confirm that "
         "it reached the disk: Input/output error\nThe saved job may not survive a power loss.",
         true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        core::testing::RecordingConfigStore store;
        store.commitFault = row.fault;
        Window w("/srv/qmu", &store);
        w.load();
        w.view.texts[JobField::Wait] = "2.4";
        w.view.texts[JobField::FileName] = "M\xC3\xA9lange.bin";
        w.model.cmdOk_Click();
        EXPECT_EQ(w.view.warnings, (std::vector<std::pair<std::string, std::string>>{
                                       {"Quentra Module Upgrade", row.message}}));
        EXPECT_EQ(w.view.closed, row.closed);
    }
}

// A commit while another program holds the file, as long as `held` is set: it fails with the
// store's failure for it, and succeeds once the file is let go.
std::function<void()> heldWhile(const bool& held) {
    return [&held] {
        if (held) {
            throw core::FileInUseError("The process cannot access the file");
        }
    };
}

int commits(const core::testing::RecordingConfigStore& store) {
    return static_cast<int>(std::count(store.calls.begin(), store.calls.end(), "commit"));
}

TEST(WindowModel, AFileHeldByAnotherProgramIsSaidAndOkAgainSavesOnceItIsLetGo) {
    bool held = true;
    core::testing::RecordingConfigStore store;
    store.commitFault = heldWhile(held);
    Window w("/srv/qmu", &store);
    w.load();
    w.view.texts[JobField::Address] = "5";
    const Snapshot before = snapshot(w.view);

    w.model.cmdOk_Click();
    ASSERT_EQ(w.view.warnings.size(), 1U);
    EXPECT_EQ(w.view.warnings.front().second,
              "The job was not saved: \"/srv/qmu/Config.dat\" is in use by another program.\n"
              "Close it there, then press Ok again to save the job. The file was left as it was.");
    EXPECT_FALSE(w.view.closed);
    EXPECT_EQ(snapshot(w.view), before);

    held = false;
    w.model.cmdOk_Click();
    EXPECT_EQ(w.view.warnings.size(), 1U);
    EXPECT_TRUE(w.view.closed);
    EXPECT_EQ(commits(store), 2);
}

// A saved job that could not be read at load is replaced only when the user says Yes; the
// question's default keeps it. A readable one is saved without a question.
TEST(WindowModel, OkAsksBeforeReplacingASavedJobThatCouldNotBeRead) {
    struct Row {
        bool unreadable;
        bool answer;
        bool asked;
        bool saved; // and the window closed
    };
    const Row rows[] = {
        {false, false, false, true},
        {false, true, false, true},
        {true, false, true, false},
        {true, true, true, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.unreadable ? "unreadable" : "read") + ", answer " +
                     (row.answer ? "Yes" : "No"));
        core::testing::RecordingConfigStore store;
        core::testing::FakeFileSystem files;
        files.files["/srv/qmu/Config.dat"] = 100;
        if (row.unreadable) {
            store.readFailure = "Permission denied";
        }
        Window w("/srv/qmu", &store, &files);
        w.load();
        w.model.windowShown();
        w.view.answer = row.answer;

        w.model.cmdOk_Click();
        EXPECT_EQ(w.view.questions.size(), row.asked ? 1U : 0U);
        EXPECT_EQ(commits(store), row.saved ? 1 : 0);
        EXPECT_EQ(w.view.closed, row.saved);
    }

    // Asked again at the next Ok after a No; not again once the user has said Yes, even when
    // that save found the file held.
    bool held = true;
    core::testing::RecordingConfigStore store;
    store.commitFault = heldWhile(held);
    core::testing::FakeFileSystem files;
    files.files["/srv/qmu/Config.dat"] = 100;
    store.readFailure = "Permission denied";
    Window w("/srv/qmu", &store, &files);
    w.load();
    w.model.cmdOk_Click();
    w.view.answer = true;
    w.model.cmdOk_Click();
    held = false;
    w.model.cmdOk_Click();
    ASSERT_EQ(w.view.questions.size(), 2U);
    EXPECT_EQ(w.view.questions.back(),
              std::make_pair(std::string("Quentra Module Upgrade"),
                             std::string("The saved job in \"/srv/qmu/Config.dat\" could not be "
                                         "read when the window opened, so the window may not "
                                         "show all of it.\nReplace the saved job with the one "
                                         "shown here?")));
    EXPECT_EQ(commits(store), 2);
    EXPECT_TRUE(w.view.closed);
}

} // namespace
