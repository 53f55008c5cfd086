#pragma once

#include <QComboBox>

namespace quentra::ui {

// The module list cmbType: a drop-down list whose closed box is narrower than the longest names;
// its drop-down shows every entry whole.
//
// Assistive technology shows the entries as the drop-down's list, even while it is closed, and
// picks one there (an entry's action, the list's selection); QComboBox takes no notice of that.
// Once the list is shown to assistive technology, a pick in it while the drop-down is closed is
// the user's change of the entry; while it is open, keys and mouse move the selection there and
// the change comes when an entry is activated, as Qt does it. The list's selection then always
// marks the current entry. A change while the list has the focus and the drop-down is closed is
// reported as the new entry's text put in the list's own text, which reads as selected while the
// list has the focus.
class ModuleList final : public QComboBox {
    Q_OBJECT

public:
    explicit ModuleList(QWidget* parent = nullptr);

    void showPopup() override;

    // Starts following picks in the drop-down's list; called when assistive technology first
    // asks for that list, which builds it. Further calls do nothing.
    void followListSelection();
    // Marks the current entry in the drop-down's list; the view calls it after a change of the
    // index made by the program, which the list reports to nobody.
    void markCurrentEntry();

private:
    void announceCurrentEntry();

    bool widened_ = false;
    bool following_ = false;
};

} // namespace quentra::ui
