#pragma once

// Test helpers of the Qt window tests: a recording message presenter, and the toolkit-free
// helpers for files.

#include "support/test_support.hpp"
#include "ui/qt/message_presenter.hpp"

#include <QString>
#include <QStringList>

namespace quentra::ui::testing {

using namespace quentra::test_support;

// The bound on waiting for the window system (activation, a deferred click): a guard against a
// hang, not a speed goal, so generous enough for a busy machine.
inline constexpr int kSettleMs = 60000;

class RecordingPresenter final : public MessagePresenter {
public:
    void showWarning(QWidget* /*parent*/, const QString& title, const QString& text) override {
        titles.push_back(title);
        texts.push_back(text);
    }
    bool askYesNo(QWidget* /*parent*/, const QString& /*title*/, const QString& text) override {
        questions.push_back(text);
        return answer;
    }
    QStringList titles;
    QStringList texts;
    QStringList questions;
    bool answer = false; // to every question
};

} // namespace quentra::ui::testing
