#include "ui/WindowAccessible.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>

#include <mutex>

namespace {

QAccessibleInterface* windowFactory(const QString& className, QObject* object) {
    auto* widget = qobject_cast<QWidget*>(object);
    if (!widget)
        return nullptr;
    // The windows are asked for by their own class name first, which names the window.
    if (widget->isWindow() && className.startsWith(QLatin1String("frm")) &&
        className == QLatin1String(object->metaObject()->className()))
        return new WindowAccessible(widget);
    if (className == QLatin1String("QComboBox")) {
        if (auto* box = qobject_cast<QComboBox*>(object); box && box->isEditable())
            return new ComboBoxAccessible(box);
    }
    return nullptr;
}

} // namespace

void installWindowAccessibility() {
    static std::once_flag installed;
    std::call_once(installed, [] { QAccessible::installFactory(windowFactory); });
}

ComboBoxAccessible::ComboBoxAccessible(QComboBox* box)
    : QAccessibleWidget(box, QAccessible::ComboBox) {}

QComboBox* ComboBoxAccessible::box() const {
    return static_cast<QComboBox*>(widget());
}

QString ComboBoxAccessible::text(QAccessible::Text type) const {
    if (type == QAccessible::Value)
        return box()->lineEdit() ? box()->lineEdit()->text() : box()->currentText();
    // The name: the accessible name the captions gave it (its label's text).
    return QAccessibleWidget::text(type);
}

QAccessible::State ComboBoxAccessible::state() const {
    QAccessible::State state = QAccessibleWidget::state();
    state.editable = true;
    state.expandable = true;
    state.expanded = box()->view()->isVisible();
    state.collapsed = !state.expanded;
    return state;
}

int ComboBoxAccessible::childCount() const {
    return box()->lineEdit() ? 2 : 1;
}

QAccessibleInterface* ComboBoxAccessible::child(int index) const {
    if (index == 0)
        return QAccessible::queryAccessibleInterface(box()->view());
    if (index == 1 && box()->lineEdit())
        return QAccessible::queryAccessibleInterface(box()->lineEdit());
    return nullptr;
}

int ComboBoxAccessible::indexOfChild(const QAccessibleInterface* child) const {
    if (!child)
        return -1;
    if (child->object() == box()->view())
        return 0;
    if (box()->lineEdit() && child->object() == box()->lineEdit())
        return 1;
    return -1;
}

QAccessibleInterface* ComboBoxAccessible::focusChild() const {
    // The line edit holds the focus for the box.
    return child(1);
}

QStringList ComboBoxAccessible::actionNames() const {
    return {showMenuAction(), pressAction()};
}

void ComboBoxAccessible::doAction(const QString& actionName) {
    if (actionName != showMenuAction() && actionName != pressAction())
        return;
    if (box()->view()->isVisible())
        box()->hidePopup();
    else
        box()->showPopup();
}
