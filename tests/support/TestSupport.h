#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QString>
#include <QTemporaryDir>

#include <functional>

#include <ostream>
#ifndef _WIN32
#include <pwd.h>
#endif

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

QByteArray readFile(const QString& path);
// size pseudo-random bytes, the same for the same seed.
QByteArray randomBytes(qsizetype size, unsigned seed);
void writeFile(const QString& path, const QByteArray& bytes);

// Whether the tests run under Wine, whose Windows differs from Microsoft's in places.
bool runsUnderWine();

#ifndef _WIN32
// The unprivileged user that read-only tests run as (root ignores file permissions),
// made before the tests by ctest (tests/CMakeLists.txt). nullptr, and a failure, when
// it is missing.
const passwd* unprivilegedUser();
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
