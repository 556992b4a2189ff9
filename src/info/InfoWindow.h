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

// Moves window so that the centre of its frame is the centre of area. Before the
// window is first shown its frame is estimated from frameHint's (or another shown
// window's) frame.
void CentreWindow(QWidget* window, const QRect& area, const QWidget* frameHint = nullptr);

// The available area of the screen that window would open on.
QRect ScreenArea(const QWidget* window);

} // namespace info
