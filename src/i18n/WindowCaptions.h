#pragma once

class QWidget;

// The window side of the catalogue: the load that reports a missing language file,
// and the routines that copy catalogue entries into the windows' captions.
namespace ModTransLate {

// Reads the catalogue (see ReadCatalogue); when the language file is missing it says
// so in a warning message box and every entry stays empty. Called once, before the
// first window exists.
void LoadLanguage();

// Copy catalogue entries into each window's title, buttons and labels. They find
// the targets by object name and only assign: an empty entry gives an empty caption.
void ApplyMainCaptions(QWidget* frmMain);
void ApplyAboutCaptions(QWidget* frmAbout);
void ApplyHelpCaptions(QWidget* frmHelp);
void ApplyUpdateCaptions(QWidget* frmUpdate);

} // namespace ModTransLate
