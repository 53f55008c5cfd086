#pragma once

// Test helpers of the window tests: a recording message presenter and a reader of the written
// Config.dat; temporary directories and file helpers come from tests/support.

#include "support/test_support.hpp"
#include "ui/message_presenter.hpp"

#include <QString>
#include <QStringList>

#include <filesystem>
#include <map>
#include <string>

namespace quentra::ui::testing {

// The bound on waiting for the window system (activation, a deferred click): a guard against a
// hang, not a speed goal, so generous enough for a busy machine.
inline constexpr int kSettleMs = 60000;

class RecordingPresenter final : public MessagePresenter {
public:
    void showWarning(QWidget* /*parent*/, const QString& title, const QString& text) override {
        titles.push_back(title);
        texts.push_back(text);
    }
    QStringList titles;
    QStringList texts;
};

using test_support::readFile;
using test_support::TempDir;
using test_support::writeFile;

// Creates a file of `length` bytes (content never matters to the tool).
void makeFileOfLength(const std::filesystem::path& path, std::uintmax_t length);

// The keys of section "FILE INFO" of an initialization file, with their texts.
std::map<std::string, std::string> readSection(const std::filesystem::path& path,
                                               const std::string& section = "FILE INFO");

} // namespace quentra::ui::testing
