#include "ui/qt/accessibility.hpp"

#include "ui/qt/frm_main.hpp"
#include "ui/qt/module_list.hpp"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QFontMetrics>
#include <QLineEdit>

namespace quentra::ui {

namespace {

// One run of no attributes over the whole of a text of `length` characters. Qt reports an empty
// run at the offset asked for, which Orca joins into one run that ends a character early, and
// then it speaks every value short of its last character.
QString wholeTextRun(int offset, int length, int* start, int* end) {
    if (offset < 0 || offset > length) {
        *start = *end = -1;
    } else {
        *start = 0;
        *end = length;
    }
    return {};
}

// A text box as Qt presents it (its text, caret, selection and editing through QLineEdit's public
// API), but with the whole text as one attribute run.
class TextBoxInterface final : public QAccessibleWidget,
                               public QAccessibleTextInterface,
                               public QAccessibleEditableTextInterface {
public:
    explicit TextBoxInterface(QLineEdit* box) : QAccessibleWidget(box, QAccessible::EditableText) {
        addControllingSignal(QStringLiteral("textChanged(const QString&)"));
        addControllingSignal(QStringLiteral("returnPressed()"));
    }

    QString text(QAccessible::Text t) const override {
        QString value;
        if (t == QAccessible::Value) {
            value = shown();
        }
        if (value.isEmpty()) {
            value = QAccessibleWidget::text(t);
        }
        if (value.isEmpty() && t == QAccessible::Description) {
            value = box()->placeholderText();
        }
        return value;
    }
    void setText(QAccessible::Text t, const QString& text) override {
        if (t == QAccessible::Value) {
            box()->setText(text);
        } else {
            QAccessibleWidget::setText(t, text);
        }
    }
    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.editable = !box()->isReadOnly();
        state.readOnly = box()->isReadOnly();
        state.passwordEdit = box()->echoMode() != QLineEdit::Normal;
        state.selectableText = true;
        return state;
    }
    void* interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::TextInterface) {
            return static_cast<QAccessibleTextInterface*>(this);
        }
        if (t == QAccessible::EditableTextInterface) {
            return static_cast<QAccessibleEditableTextInterface*>(this);
        }
        return QAccessibleWidget::interface_cast(t);
    }

    void selection(int index, int* start, int* end) const override {
        *start = *end = 0;
        if (index == 0 && box()->hasSelectedText()) {
            *start = box()->selectionStart();
            *end = box()->selectionEnd();
        }
    }
    int selectionCount() const override { return box()->hasSelectedText() ? 1 : 0; }
    void addSelection(int start, int end) override { setSelection(0, start, end); }
    void removeSelection(int index) override {
        if (index == 0) {
            box()->deselect();
        }
    }
    void setSelection(int index, int start, int end) override {
        if (index == 0) {
            box()->setSelection(start, end - start);
        }
    }
    int cursorPosition() const override { return box()->cursorPosition(); }
    void setCursorPosition(int position) override { box()->setCursorPosition(position); }
    QString text(int start, int end) const override {
        return start > end ? QString() : shown().mid(start, end - start);
    }
    int characterCount() const override { return static_cast<int>(shown().size()); }
    // From the text's left edge; QLineEdit keeps the scroll of a text wider than the box to itself.
    QRect characterRect(int offset) const override {
        const QString character = text(offset, offset + 1);
        if (character.isEmpty()) {
            return {};
        }
        const QFontMetrics metrics(box()->font());
        const QRect contents = box()->contentsRect().marginsRemoved(box()->textMargins());
        const QRect local(contents.left() + kTextMargin +
                              metrics.horizontalAdvance(text(0, offset)),
                          contents.top() + (contents.height() - metrics.height()) / 2,
                          metrics.horizontalAdvance(character), metrics.height());
        return {box()->mapToGlobal(local.topLeft()), local.size()};
    }
    int offsetAtPoint(const QPoint& point) const override {
        return box()->cursorPositionAt(box()->mapFromGlobal(point));
    }
    void scrollToSubstring(int start, int end) override {
        box()->setCursorPosition(end);
        box()->setCursorPosition(start);
    }
    QString attributes(int offset, int* start, int* end) const override {
        return wholeTextRun(offset, characterCount(), start, end);
    }

    void deleteText(int start, int end) override {
        box()->setText(box()->text().remove(start, end - start));
    }
    void insertText(int offset, const QString& text) override {
        box()->setText(box()->text().insert(offset, text));
    }
    void replaceText(int start, int end, const QString& text) override {
        box()->setText(box()->text().replace(start, end - start, text));
    }

private:
    static constexpr int kTextMargin = 2; // QLineEdit's own, left of the text

    QLineEdit* box() const { return static_cast<QLineEdit*>(widget()); }
    // What the box shows: nothing of a password.
    QString shown() const {
        return box()->echoMode() == QLineEdit::Normal ? box()->text() : QString();
    }
};

// The module list as Qt presents a drop-down list (its entries as the child list, the actions
// that open and close it), but with its current entry as its value and as a read-only text too:
// Orca reads the value of a drop-down list from the selected entry or from the list's text, and
// Qt 6.4 offers it neither.
class ModuleListInterface final : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit ModuleListInterface(ModuleList* list)
        : QAccessibleWidget(list, QAccessible::ComboBox) {}

    int childCount() const override { return 1; }
    QAccessibleInterface* child(int index) const override {
        return index == 0 ? QAccessible::queryAccessibleInterface(list()->view()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return child != nullptr && child->object() == list()->view() ? 0 : -1;
    }
    QString text(QAccessible::Text t) const override {
        return t == QAccessible::Value ? list()->currentText() : QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.expandable = true;
        state.expanded = list()->view()->isVisible();
        state.collapsed = !state.expanded;
        return state;
    }
    void* interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::TextInterface) {
            return static_cast<QAccessibleTextInterface*>(this);
        }
        return QAccessibleWidget::interface_cast(t);
    }

    QStringList actionNames() const override {
        return QStringList{showMenuAction(), pressAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& action) override {
        if (action != showMenuAction() && action != pressAction()) {
            QAccessibleWidget::doAction(action);
        } else if (list()->view()->isVisible()) {
            list()->hidePopup();
        } else {
            list()->showPopup();
        }
    }
    QStringList keyBindingsForAction(const QString& /*action*/) const override { return {}; }

    // While the list has the focus its entry reads as selected, the one the keys act on, so that
    // a screen reader speaks a new entry put in the text (see ModuleList).
    void selection(int index, int* start, int* end) const override {
        *start = 0;
        *end = index == 0 && selectionCount() == 1 ? characterCount() : 0;
    }
    int selectionCount() const override {
        return list()->hasFocus() && characterCount() > 0 ? 1 : 0;
    }
    void addSelection(int /*start*/, int /*end*/) override {}
    void removeSelection(int /*index*/) override {}
    void setSelection(int /*index*/, int /*start*/, int /*end*/) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int /*position*/) override {}
    QString text(int start, int end) const override {
        return start > end ? QString() : list()->currentText().mid(start, end - start);
    }
    int characterCount() const override { return static_cast<int>(list()->currentText().size()); }
    QRect characterRect(int /*offset*/) const override { return {}; }
    int offsetAtPoint(const QPoint& /*point*/) const override { return -1; }
    void scrollToSubstring(int /*start*/, int /*end*/) override {}
    QString attributes(int offset, int* start, int* end) const override {
        return wholeTextRun(offset, characterCount(), start, end);
    }

private:
    ModuleList* list() const { return static_cast<ModuleList*>(widget()); }
};

// Qt asks the factories for each class of an object, from the most derived one up, until one
// answers; this one answers for frmMain, the module list and the text boxes, and leaves
// everything else to Qt.
QAccessibleInterface* windowInterfaces(const QString& className, QObject* object) {
    if (auto* window = qobject_cast<frmMain*>(object);
        window != nullptr && className == QLatin1String(frmMain::staticMetaObject.className())) {
        // A top-level QWidget is a client area to Qt, which AT-SPI shows as a filler: a screen
        // reader would not announce the application's window.
        return new QAccessibleWidget(window, QAccessible::Window);
    }
    if (auto* list = qobject_cast<ModuleList*>(object)) {
        return new ModuleListInterface(list);
    }
    if (auto* box = qobject_cast<QLineEdit*>(object);
        box != nullptr && className == QLatin1String("QLineEdit")) {
        return new TextBoxInterface(box);
    }
    if (auto* view = qobject_cast<QAbstractItemView*>(object)) {
        // The drop-down's list lies in the drop-down's frame, which lies in the module list.
        QWidget* frame = view->parentWidget();
        if (auto* list =
                qobject_cast<ModuleList*>(frame != nullptr ? frame->parentWidget() : nullptr)) {
            list->followListSelection();
        }
    }
    return nullptr;
}

} // namespace

void installAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(&windowInterfaces);
        return true;
    }();
    static_cast<void>(installed);
}

} // namespace quentra::ui
