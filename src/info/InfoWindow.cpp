#include "info/InfoWindow.h"

#include <QAbstractButton>
#include <QApplication>
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

namespace {
// The size the window manager adds round a window, estimated before the window is
// shown from a shown window that already has its frame (as Qt's dialogs do).
QSize FrameExtra(const QWidget* window, const QWidget* hint) {
    auto extra = [](const QWidget* w) {
        return w && w->isWindow() && w->isVisible()
                   ? w->frameGeometry().size() - w->geometry().size()
                   : QSize(0, 0);
    };
    if (hint && !extra(hint->window()).isEmpty())
        return extra(hint->window());
    for (const QWidget* other : QApplication::topLevelWidgets()) {
        if (other != window && !extra(other).isEmpty())
            return extra(other);
    }
    return QSize(0, 0);
}
} // namespace

void CentreWindow(QWidget* window, const QRect& area, const QWidget* frameHint) {
    // A window's position is that of its frame.
    const QSize outer = window->size() + FrameExtra(window, frameHint);
    window->move(area.center() - QRect(QPoint(0, 0), outer).center());
}

QRect ScreenArea(const QWidget* window) {
    const QScreen* screen = window->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

} // namespace info
