#include "support/TestSupport.h"

#include "platform/Installation.h"

#include <QDir>
#include <QFile>

#include <random>

#ifdef _WIN32
#include <windows.h>
#endif

#include <gtest/gtest.h>

namespace testsupport {

QByteArray readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QByteArray randomBytes(qsizetype size, unsigned seed) {
    std::mt19937 random(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& c : bytes)
        c = static_cast<char>(random() & 0xFF);
    return bytes;
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

bool runsUnderWine() {
#ifdef _WIN32
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
    return false;
#endif
}

#ifndef _WIN32
const passwd* unprivilegedUser() {
    const passwd* user = ::getpwnam(KORVANI_TEST_USER);
    if (user == nullptr)
        ADD_FAILURE() << "no user " KORVANI_TEST_USER ": ctest makes it as root (test "
                         "TestUser.Create)";
    return user;
}
#endif

ProgramFolder::ProgramFolder(bool withLanguageFiles, bool withSettings) {
    const QString source = QStringLiteral(KORVANI_SOURCE_DIR "/resources");
    if (withLanguageFiles) {
        QDir(dir_.path()).mkdir(QStringLiteral("language"));
        for (const char* name : {"Korvani_EN.ini", "Korvani_SC.ini", "Korvani_TC.ini"}) {
            const QString file = QString::fromLatin1(name);
            QFile::copy(source + QStringLiteral("/language/") + file, languageFile(file));
        }
    }
    if (withSettings)
        QFile::copy(source + QStringLiteral("/Korvani.ini"),
                    this->file(QStringLiteral("Korvani.ini")));
    // Copies of read-only sources must stay writable for the tests.
    for (const QString& f : QDir(dir_.path()).entryList(QDir::Files))
        QFile::setPermissions(dir_.filePath(f), QFile::ReadOwner | QFile::WriteOwner |
                                                    QFile::ReadGroup | QFile::ReadOther);
    platform::Installation::setProgramFolder(dir_.path());
}

ProgramFolder::~ProgramFolder() {
    platform::Installation::setProgramFolder({});
}

QString ProgramFolder::languageFile(const QString& name) const {
    return dir_.filePath(QStringLiteral("language/") + name);
}

} // namespace testsupport
