#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

#include <windows.h>

namespace testsupport {

const char* const ConfigFolderVariable = "APPDATA";

bool runsUnderWine() {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

bool makeSpecialFile(const QString& path) {
    return QDir().mkdir(path);
}

bool putFileAt(const QString& target, const QString& name) {
    return QFile::copy(target, name);
}

void setMode(const QString& path, mode_t mode) {
    if (QFileInfo(path).isFile()) {
        ASSERT_TRUE(QFile::setPermissions(path, (mode & 0222) ? QFileDevice::WriteOwner |
                                                                    QFileDevice::ReadOwner
                                                              : QFileDevice::ReadOwner));
    }
}

void limitChildFileSize(QProcess&, std::int64_t, bool) {}

void startAsUser(QProcess& process, const QString& program, const QStringList& arguments, bool) {
    process.start(program, arguments);
}

void giveToUser(const QString&) {}

} // namespace testsupport
