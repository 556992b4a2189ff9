#pragma once

class QKeyEvent;
class QRect;
class QWidget;

// What the About and Help windows share: keys and first position.
namespace info {

// Handles the keys of a window that has no default and no cancel button: Escape
// presses nothing, Enter and Return press the focused button (or nothing when no
// button has the focus). Returns true when the key was one of these and is used up.
bool HandleDialogKey(QWidget* window, QKeyEvent* event);

// Moves window so that its centre is the centre of area.
void CentreWindow(QWidget* window, const QRect& area);

// The available area of the screen that window would open on.
QRect ScreenArea(const QWidget* window);

} // namespace info
