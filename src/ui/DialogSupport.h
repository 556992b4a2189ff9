#pragma once

class QKeyEvent;
class QLineEdit;
class QRect;
class QWidget;

// What the windows share: keys and first position.
namespace dialogs {

// Whether a key press is a typed character, the only keys a text box's key filter
// sees on Windows: Delete (which X11 delivers with the character 0x7F), Tab and the
// keys without text (arrows, Home, End) edit or move as usual.
bool IsTypedCharacter(const QKeyEvent* event);

// Makes edit take text as a Windows single-line box does: whatever brings text in (a
// paste from the keyboard or the menu, the middle-click selection, a drop, an input
// method, setText) keeps it only up to its first line break (CR or LF).
void MakeSingleLine(QLineEdit* edit);

// Handles the keys of a window that has no default and no cancel button: Escape
// presses nothing, Enter and Return press the focused button (or nothing when no
// button has the focus). Returns true when the key was one of these and is used up.
bool HandleDialogKey(QWidget* window, QKeyEvent* event);

// Moves window so that the centre of its frame is the centre of area. Before the
// window is first shown its frame is estimated from frameHint's (or another shown
// window's) frame.
void CentreWindow(QWidget* window, const QRect& area, const QWidget* frameHint = nullptr);

// Centres window on its screen when it is first shown, and once more when the window
// manager has put its frame round it (the frame is known only after the window is
// mapped). Later shows, such as a restore from the taskbar, leave it where it is.
void CentreOnFirstShow(QWidget* window);

// The available area of the screen that window would open on.
QRect ScreenArea(const QWidget* window);

} // namespace dialogs
