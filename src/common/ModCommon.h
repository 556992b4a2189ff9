#pragma once

#include <QByteArrayView>
#include <QString>

// Small routines shared by the windows: those that need no window. The ones that show
// a dialog or drive a control are in ModCommonUi.h.
namespace ModCommon {

// Returns the typed character code unchanged for the digits 0-9 (48-57) and
// backspace (8); 0 (discard the keystroke) for any other code.
char16_t FilterNumberKey(char16_t keyAscii);

// False for an empty path, else whether something exists at the path that is a
// file (or a link to one).
bool CheckFileExists(const QString& path);

// The part of text before its first NUL, or the whole text when it holds none.
QString CutAtNul(const QString& text);

} // namespace ModCommon
