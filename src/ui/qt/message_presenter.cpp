#include "ui/qt/message_presenter.hpp"

#include <QMessageBox>

namespace quentra::ui {

void MessageBoxPresenter::showWarning(QWidget* parent, const QString& title, const QString& text) {
    QMessageBox::warning(parent, title, text);
}

} // namespace quentra::ui
