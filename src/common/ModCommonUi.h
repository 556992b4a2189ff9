#pragma once

#include <QString>

class QProgressBar;

// The routines of ModCommon that show a dialog, hand an address to the desktop or
// drive a control; each forwards to the platform layer.
namespace ModCommon {

// Shows the Save dialog for the output file; the chosen path or empty when cancelled.
QString AskSaveFile();

// Opens a web address with the desktop's default handler. Only http:, https: and
// mailto: addresses are handed over; anything else is silently not opened.
void OpenLink(const QString& target);

// HTTP GET of address, driving progressBar 0, 10, 20, 90, 100. Returns the body
// (cut at 64 KiB), or empty text without a progress bar or when the fetch fails.
QString GetUrlText(const QString& address, QProgressBar* progressBar);

} // namespace ModCommon
