#include "ui/qt/module_list.hpp"

#include <QAbstractItemView>
#include <QAccessible>
#include <QFontMetrics>
#include <QItemSelectionModel>
#include <QStyle>

#include <algorithm>

namespace quentra::ui {

ModuleList::ModuleList(QWidget* parent) : QComboBox(parent) {
    connect(this, &QComboBox::currentIndexChanged, this, &ModuleList::announceCurrentEntry);
}

// The drop-down is widened when it first opens: measuring the 32 names and building the
// drop-down at load cost start-up about 2 of the 8 million instructions it took above a bare
// window. For the same reason the list is built for assistive technology only when it asks.
void ModuleList::showPopup() {
    if (!widened_) {
        widened_ = true;
        const QFontMetrics metrics(font());
        int widest = 0;
        for (int i = 0; i < count(); ++i) {
            widest = std::max(widest, metrics.horizontalAdvance(itemText(i)));
        }
        view()->setMinimumWidth(widest + 4 * metrics.averageCharWidth() +
                                style()->pixelMetric(QStyle::PM_ScrollBarExtent));
    }
    QComboBox::showPopup();
}

void ModuleList::followListSelection() {
    if (following_) {
        return;
    }
    following_ = true;
    connect(view()->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection& selected) {
                if (view()->isVisible() || selected.indexes().isEmpty()) {
                    return;
                }
                const int row = selected.indexes().constFirst().row();
                if (row != currentIndex()) {
                    setCurrentIndex(row); // reported as any change of the user's
                }
            });
    connect(this, &QComboBox::currentIndexChanged, this, &ModuleList::markCurrentEntry);
    markCurrentEntry();
}

void ModuleList::markCurrentEntry() {
    if (!following_) {
        return; // nobody sees the list; it is marked when it opens
    }
    const QModelIndex current = model()->index(currentIndex(), modelColumn(), rootModelIndex());
    QItemSelectionModel* selection = view()->selectionModel();
    // Selected only: the list's current item is the one a screen reader takes as focused.
    if (selection->selectedIndexes() != QModelIndexList{current}) {
        selection->select(current, QItemSelectionModel::ClearAndSelect);
    }
}

// Qt 6.4 reports a change of the closed drop-down's entry only as a change of its name and of
// its selection, which Orca passes over. Reported as the new entry's text put in the list's text
// (which reads as selected), it is spoken, and the focus stays on the list, so that "where am I"
// names the list with its label. The text that goes is not reported: a screen reader would speak
// the removal of selected text as a deletion.
void ModuleList::announceCurrentEntry() {
    if (!hasFocus() || view()->isVisible() || currentText().isEmpty()) {
        return;
    }
    QAccessibleTextInsertEvent inserted(this, 0, currentText());
    QAccessible::updateAccessibility(&inserted);
}

} // namespace quentra::ui
