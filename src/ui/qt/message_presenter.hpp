#pragma once

#include <QString>

class QWidget;

namespace quentra::ui {

// Shows the few messages the window has (a job that cannot be stored, a saved job that cannot
// be read) and its one question. An interface so that tests can record them instead of opening
// a modal box.
class MessagePresenter {
public:
    virtual ~MessagePresenter() = default;
    virtual void showWarning(QWidget* parent, const QString& title, const QString& text) = 0;
    // A Yes/No question; No is the default and the answer to Esc or closing. True for Yes.
    virtual bool askYesNo(QWidget* parent, const QString& title, const QString& text) = 0;
};

// The real one: a modal QMessageBox.
class MessageBoxPresenter final : public MessagePresenter {
public:
    void showWarning(QWidget* parent, const QString& title, const QString& text) override;
    bool askYesNo(QWidget* parent, const QString& title, const QString& text) override;
};

} // namespace quentra::ui
