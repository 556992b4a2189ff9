#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class QObject;

// Thin wrappers over the desktop services the program calls: message boxes, the
// Save dialog, handing an address to the desktop, telling assistive tools of a result
// and processing pending events.
// Each has a seam for tests: prime the next answer, read what was shown.
namespace platform {

enum class MessageIcon { Exclamation, Information, Warning };

struct ShownMessage {
    QString title;
    QString text;
    MessageIcon icon;
};

class MessageBox {
public:
    // Shows text with one OK button, titled with the application title, and waits.
    static void show(const QString& text, MessageIcon icon);

    // Test seam: while recording, nothing is shown; every call is kept instead and
    // the hook (if any) runs in place of the user reading the box.
    static void setRecording(bool on);
    static bool recording();
    static const QList<ShownMessage>& shown();
    static void clearShown();
    static void setOnShow(std::function<void(const ShownMessage&)> hook);
};

struct SaveDialogRequest {
    QString title;
    QString filterDescription; // "Text files(*.txt)"
    QString filterPattern;     // "*.txt"
    QString defaultSuffix;     // "txt", added to a name typed without one
    QString initialName;
    bool overwritePrompt = false;
};

class FileDialog {
public:
    // Returns the chosen full path, or an empty text when the user cancels.
    static QString getSaveFileName(const SaveDialogRequest& request);

    // Test seam: while recording, no dialog opens; the primed name is answered once
    // (an empty text when none was primed, as if cancelled).
    static void setRecording(bool on);
    static void setNextFileName(const QString& path);
    static const QList<SaveDialogRequest>& requests();
    static void clearRequests();
};

class Shell {
public:
    // Hands a web or mail address to the desktop's default handler; does not wait.
    static bool openAddress(const QString& address);

    // Test seam: while recording, nothing is opened; the addresses are kept.
    static void setRecording(bool on);
    static const QStringList& opened();
    static void clearOpened();
};

class Announcement {
public:
    // Tells assistive tools of a text they read out at once, coming from source (the label
    // that shows it): an announcement where the toolkit has one (Qt 6.8 and later), else an
    // alert of the label, after the label's change of name.
    static void tell(QObject* source, const QString& text);

    // Test seam: every text told, in order (the offscreen platform has no tool to tell).
    static const QStringList& told();
    static void clearTold();
};

class Events {
public:
    // Handles every queued window event once and returns; never waits.
    static void process();

    // Test seam: runs after each processing, e.g. to click a button at a known point.
    static void setHook(std::function<void()> hook);
};

} // namespace platform
