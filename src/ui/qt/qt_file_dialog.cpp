#include "ui/qt/qt_file_dialog.hpp"

#include <QDir>
#include <QFileDialog>
#include <QStringList>

namespace quentra::ui {

namespace {
// The one flag that would make the dialog refuse a name of a file that does not exist.
constexpr std::int32_t kOfnFileMustExist = 0x1000;
} // namespace

QtFileDialog::QtFileDialog(QWidget* parent) : dialog_(new QFileDialog(parent)) {
    dialog_->setObjectName(QStringLiteral("dlgFile"));
    dialog_->setAcceptMode(QFileDialog::AcceptOpen);
    dialog_->setFileMode(QFileDialog::AnyFile);
    dialog_->setModal(true);
}

QtFileDialog::~QtFileDialog() {
    delete dialog_.data();
}

void QtFileDialog::setFlags(std::int32_t flags) {
    flags_ = flags;
    // A read-only option is never offered by Qt's dialogs, so hiding it needs nothing; without
    // the must-exist flag any typed name can be confirmed, and only one file is ever taken.
    dialog_->setFileMode((flags_ & kOfnFileMustExist) != 0 ? QFileDialog::ExistingFile
                                                           : QFileDialog::AnyFile);
}

void QtFileDialog::setCancelError(bool raise) {
    cancelError_ = raise;
}

void QtFileDialog::setInitDir(const std::string& dir) {
    dialog_->setDirectory(QString::fromStdString(dir));
}

void QtFileDialog::setFilter(const std::string& filter) {
    dialog_->setNameFilter(QString::fromStdString(filter));
}

void QtFileDialog::setDialogTitle(const std::string& title) {
    dialog_->setWindowTitle(QString::fromStdString(title));
}

void QtFileDialog::showOpen() {
    if (dialog_->exec() != QDialog::Accepted) {
        if (cancelError_) {
            throw core::DialogCancelled();
        }
        return;
    }
    const QStringList chosen = dialog_->selectedFiles();
    fileName_ = chosen.isEmpty() ? QString() : QDir::toNativeSeparators(chosen.front());
}

std::string QtFileDialog::fileName() {
    return fileName_.toStdString();
}

} // namespace quentra::ui
