#pragma once

// What assistive tools read of a window, asked through QAccessible as the AT-SPI bridge
// (Linux) and UI Automation (Windows) ask it.

#include <QAccessible>
#include <QImage>
#include <QStringList>
#include <QWidget>

namespace a11y {

inline QAccessibleInterface* of(QObject* object) {
    return QAccessible::queryAccessibleInterface(object);
}

inline QString name(QObject* object) {
    QAccessibleInterface* iface = of(object);
    return iface ? iface->text(QAccessible::Name) : QString();
}

// The controls of window that take the focus by Tab, and those named in also, whose
// accessible name is empty (named by their own object name, or else by their parent's).
inline QStringList unnamedControls(QWidget& window, const QStringList& also = {}) {
    QStringList unnamed;
    for (QWidget* w : window.findChildren<QWidget*>()) {
        const bool tabStop = (w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(&window);
        if ((tabStop || also.contains(w->objectName())) && name(w).isEmpty())
            unnamed << (w->objectName().isEmpty() ? w->parentWidget()->objectName() + "/-"
                                                  : w->objectName());
    }
    return unnamed;
}

// Whether relation ties other to the control: e.g. (field, Label, label) holds when the
// label is the field's label, (label, Labelled, field) when the field is labelled by it.
inline bool related(QObject* control, QAccessible::Relation relation, QObject* other) {
    QAccessibleInterface* iface = of(control);
    if (!iface)
        return false;
    for (const auto& [target, kind] : iface->relations(relation))
        if (target && target->object() == other && kind == relation)
            return true;
    return false;
}

// Whether the control draws differently with the focus than without it (the focus goes
// to away first, or nowhere without one, then to the control, as by the keyboard).
inline bool focusShows(QWidget* control, QWidget* away = nullptr) {
    if (away)
        away->setFocus();
    else
        control->clearFocus();
    const QImage without = control->grab().toImage();
    control->window()->setAttribute(Qt::WA_KeyboardFocusChange); // as Tab and Shift+Tab do
    control->setFocus();
    const bool focused = control->hasFocus();
    const QImage with = control->grab().toImage();
    return focused && with != without;
}

} // namespace a11y
