#include "ui/qt/accessibility.hpp"

#include "ui/qt/frm_main.hpp"
#include "ui/qt/module_list.hpp"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>

namespace quentra::ui {

namespace {

// Qt asks the factories for each class of an object, from the most derived one up, until one
// answers; this one answers only for frmMain and leaves everything else to Qt.
QAccessibleInterface* windowInterfaces(const QString& className, QObject* object) {
    if (auto* window = qobject_cast<frmMain*>(object);
        window != nullptr && className == QLatin1String(frmMain::staticMetaObject.className())) {
        // A top-level QWidget is a client area to Qt, which AT-SPI shows as a filler: a screen
        // reader would not announce the application's window.
        return new QAccessibleWidget(window, QAccessible::Window);
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
