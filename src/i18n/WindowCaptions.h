#pragma once

#include "i18n/ModTransLate.h"

#include <span>

class QWidget;

// The window side of the catalogue: the load that reports a missing language file,
// and the routines that copy catalogue entries into the windows' captions.
namespace ModTransLate {

// Reads the catalogue (see ReadCatalogue); when the language file is missing or cannot
// be read it says so in a warning message box and every entry stays empty. Called once,
// before the first window exists.
void LoadLanguage();

// Copy catalogue entries into each window's title, buttons and labels. They find
// the targets by object name and only assign: an empty entry gives an empty caption.
// A target that cannot be found stops a debug build; a release build passes over it.
void ApplyMainCaptions(QWidget* frmMain);
void ApplyAboutCaptions(QWidget* frmAbout);
void ApplyHelpCaptions(QWidget* frmHelp);
void ApplyUpdateCaptions(QWidget* frmUpdate);

// One caption: the object name of a button or label and the entry it shows.
struct Caption {
    const char* control;
    QString (*text)(const Catalogue&);
};

// What one of the routines above sets: the window (by object name), its title, its
// captions, and the accessible names of the controls that show no caption (the list and
// the progress bars), which assistive tools read in place of one. A field beside a label
// is named by that label (its buddy); the line edit inside an editable combo box takes
// the name of the box's label, since it is the control that holds the focus, and so does
// the box's drop-down list.
struct WindowCaptions {
    const char* window;
    QString (*title)(const Catalogue&);
    std::span<const Caption> captions;
    std::span<const Caption> names = {};
};

// The tables of ApplyMainCaptions, ApplyAboutCaptions, ApplyHelpCaptions and
// ApplyUpdateCaptions, in this order (a test seam: the tests check each caption's control).
std::span<const WindowCaptions> CaptionTables();

} // namespace ModTransLate
