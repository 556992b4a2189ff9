#include "info/InfoWindow.h"

#include <QAbstractButton>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QRect>
#include <QScreen>
#include <QWidget>

namespace info {

bool HandleDialogKey(QWidget* window, QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Escape:
        event->accept();
        return true;
    case Qt::Key_Enter:
    case Qt::Key_Return:
        if (event->modifiers() & ~Qt::KeypadModifier)
            return false;
        if (auto* button = qobject_cast<QAbstractButton*>(window->focusWidget());
            button && button->window() == window && button->isEnabled())
            button->click();
        event->accept();
        return true;
    default:
        return false;
    }
}

void CentreWindow(QWidget* window, const QRect& area) {
    const QRect own(QPoint(0, 0), window->size());
    window->move(area.center() - own.center());
}

QRect ScreenArea(const QWidget* window) {
    const QScreen* screen = window->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

} // namespace info
