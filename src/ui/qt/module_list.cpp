#include "ui/qt/module_list.hpp"

#include <QAbstractItemView>
#include <QAccessible>
#include <QFontMetrics>
#include <QItemSelectionModel>
#include <QStyle>

#include <algorithm>

namespace quentra::ui {

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
    announceCurrentEntry();
}

// Qt 6.4 reports a change of the closed drop-down's entry only as a change of its selection,
// which Orca cannot read: the entry is reported as focused instead, as in the open drop-down, so
// that the user hears each entry the arrow keys step to.
void ModuleList::announceCurrentEntry() {
    if (!hasFocus() || view()->isVisible()) {
        return;
    }
    QAccessibleInterface* entries = QAccessible::queryAccessibleInterface(view());
    QAccessibleInterface* entry =
        entries != nullptr && entries->tableInterface() != nullptr
            ? entries->tableInterface()->cellAt(currentIndex(), modelColumn())
            : nullptr;
    if (entry != nullptr) {
        QAccessibleEvent focus(entry, QAccessible::Focus);
        QAccessible::updateAccessibility(&focus);
    }
}

} // namespace quentra::ui
