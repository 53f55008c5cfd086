#pragma once

#include "core/file_dialog.hpp"

#include <QFileDialog>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <string>

class QWidget;

namespace quentra::ui {

// The core's open-file dialog over one QFileDialog, kept for the life of the adapter so that the
// dialog keeps its own state (last directory, last name) between uses.
class QtFileDialog final : public core::FileDialog {
public:
    explicit QtFileDialog(QWidget* parent);
    ~QtFileDialog() override;
    QtFileDialog(const QtFileDialog&) = delete;
    QtFileDialog& operator=(const QtFileDialog&) = delete;

    // Qt's dialog offers no read-only option, so hiding it needs nothing; no flag changes the
    // dialog: any typed name can be confirmed, and one file is taken.
    void setFlags(std::int32_t flags) override;
    // Cancel always raises DialogCancelled, whatever `raise` says.
    void setCancelError(bool raise) override;
    void setInitDir(const std::string& dir) override;
    void setFilter(const std::string& filter) override;
    void setDialogTitle(const std::string& title) override;
    void showOpen() override;
    std::string fileName() override;

private:
    QPointer<QFileDialog> dialog_;
    QString fileName_;
};

} // namespace quentra::ui
