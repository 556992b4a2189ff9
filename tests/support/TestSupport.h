#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QScopeGuard>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <functional>

#include <ostream>
#include <sys/types.h>
#ifndef _WIN32
#include <pwd.h>
#include <sys/resource.h>
#endif

class QProcess;
class RecordModel;

// Readable QString values in GoogleTest's failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace testsupport {

// Processes events until predicate holds or timeoutMs passes; returns the predicate.
inline bool waitUntil(const std::function<bool()>& predicate, int timeoutMs = 5000) {
    QDeadlineTimer deadline(timeoutMs);
    while (!predicate()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// A program of tests/tools.
inline QString toolPath(const char* name) {
    return QStringLiteral(KORVANI_TEST_TOOLS_DIR "/") + QLatin1String(name) +
           QStringLiteral(KORVANI_EXE_SUFFIX);
}

QByteArray readFile(const QString& path);
// size pseudo-random bytes, the same for the same seed.
QByteArray randomBytes(qsizetype size, unsigned seed);
void writeFile(const QString& path, const QByteArray& bytes);

// The file at path holds exactly the list's addresses, in order, each line ended by CR LF.
void expectFileHoldsList(const QString& path, const RecordModel& list);

// What differs between the systems, one definition each in TestSupport_posix.cpp and
// TestSupport_win.cpp, so that a test reads the same on both. A case that exists on one
// system only (POSIX modes, links, limits; Windows sharing) stays inside one #if.

// The environment variable that names the user's configuration folder, where the user's
// own settings copy goes (XDG_CONFIG_HOME; on Windows APPDATA).
extern const char* const ConfigFolderVariable;
// Whether the tests run under Wine, whose Windows differs from Microsoft's in places.
bool runsUnderWine();
// Makes something at path that is not a regular file: a FIFO; on Windows, which has
// none, a folder.
bool makeSpecialFile(const QString& path);
// Puts another name on the file target, as another program would: a symbolic link; on
// Windows, where links need rights, a copy.
bool putFileAt(const QString& target, const QString& name);

// Gives path the mode's permissions: chmod; on Windows a file without a write bit gets
// the read-only attribute, and a folder stays as it is.
void setMode(const QString& path, mode_t mode);
// Has process start its program under a file-size limit of bytes (none when negative; none
// on Windows): a write past it fails, and raises SIGXFSZ unless signalIgnored.
void limitChildFileSize(QProcess& process, std::int64_t bytes, bool signalIgnored = false);
// Starts program as the unprivileged user when the tests run as root and asUser holds
// (else as ourselves; on Windows always).
void startAsUser(QProcess& process, const QString& program, const QStringList& arguments,
                 bool asUser = true);
// Gives path to the unprivileged user when the tests run as root (not on Windows).
void giveToUser(const QString& path);

// Undoes what a test changed for the whole process when it goes, also after a failed
// assertion.
using Undo = QScopeGuard<std::function<void()>>;

// Holds the writers' lock of a file's folder as another writer would, until undone, from
// a thread of its own (the thread that holds a Windows mutex may take it again).
Undo holdWriterLock(const QString& file);

#ifndef _WIN32
// The unprivileged user that read-only tests run as (root ignores file permissions),
// made before the tests by ctest (tests/CMakeLists.txt). nullptr, and a failure, when
// it is missing.
const passwd* unprivilegedUser();
// The process's file-size limit (RLIMIT_FSIZE) at bytes until undone, a write past it
// failing (EFBIG) instead of raising SIGXFSZ.
Undo limitFileSize(rlim_t bytes);
#endif

// A program folder of its own for one test: the shipped language files under
// "language" and the shipped Korvani.ini, made the program folder while it lives.
class ProgramFolder {
public:
    explicit ProgramFolder(bool withLanguageFiles = true, bool withSettings = true);
    ~ProgramFolder();
    QString path() const { return dir_.path(); }
    QString file(const QString& relative) const { return dir_.filePath(relative); }
    QString languageFile(const QString& name = QStringLiteral("Korvani_EN.ini")) const;

private:
    QTemporaryDir dir_;
};

} // namespace testsupport
