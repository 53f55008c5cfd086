#include "ui/qt/qt_file_dialog.hpp"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QPointer>
#include <QStringList>

namespace quentra::ui {

QtFileDialog::QtFileDialog(QWidget* parent) : dialog_(new QFileDialog(parent)) {
    dialog_->setObjectName(QStringLiteral("dlgFile"));
    dialog_->setAcceptMode(QFileDialog::AcceptOpen);
    dialog_->setFileMode(QFileDialog::AnyFile);
    dialog_->setModal(true);
}

QtFileDialog::~QtFileDialog() {
    delete dialog_.data();
}

void QtFileDialog::setFlags(std::int32_t /*flags*/) {}

void QtFileDialog::setCancelError(bool /*raise*/) {}

void QtFileDialog::setInitDir(const std::string& dir) {
    dialog_->setDirectory(QString::fromStdString(dir));
}

void QtFileDialog::setFilter(const std::string& filter) {
    dialog_->setNameFilter(QString::fromStdString(filter));
}

void QtFileDialog::setDialogTitle(const std::string& title) {
    dialog_->setWindowTitle(QString::fromStdString(title));
}

// Enter in the name field while its completion list is open confirms the name but leaves the
// list open, with the keyboard, for a dialog that is gone; and the owner's window is not always
// made active again. Whatever way the dialog ends, the list is closed and the keyboard given
// back to the control that had it before.
void QtFileDialog::showOpen() {
    const QPointer<QWidget> focus = QApplication::focusWidget();
    const int result = dialog_->exec();
    QWidget* leftOpen = nullptr;
    while (QWidget* popup = QApplication::activePopupWidget()) {
        if (popup == leftOpen) {
            break; // refuses to close
        }
        leftOpen = popup;
        popup->hide();
    }
    if (QWidget* owner = dialog_->parentWidget(); owner != nullptr && owner->isVisible()) {
        QWidget* window = owner->window();
        window->activateWindow();
        // Qt can keep the hidden dialog as its active window (while the window system has
        // already handed the keyboard back, or offers the dialog's owner as active through it),
        // and then no activation ever follows.
        if (QApplication::activeWindow() != window) {
            QApplication::setActiveWindow(window);
        }
    }
    if (focus != nullptr) {
        focus->setFocus(Qt::OtherFocusReason);
    }
    if (result != QDialog::Accepted) {
        throw core::DialogCancelled();
    }
    const QStringList chosen = dialog_->selectedFiles();
    fileName_ = chosen.isEmpty() ? QString() : QDir::toNativeSeparators(chosen.front());
}

std::string QtFileDialog::fileName() {
    return fileName_.toStdString();
}

} // namespace quentra::ui
