#include "platform/Application.h"

#include <QCoreApplication>

namespace platform {
namespace {
QString& programFolderOverride() {
    static QString folder;
    return folder;
}
QString& currentTitle() {
    static QString title = Application::builtInTitle();
    return title;
}
} // namespace

QString Application::programFolder() {
    if (!programFolderOverride().isEmpty())
        return programFolderOverride();
    return QCoreApplication::applicationDirPath();
}

void Application::setProgramFolder(const QString& folder) {
    programFolderOverride() = folder;
}

QString Application::title() {
    return currentTitle();
}

void Application::setTitle(const QString& title) {
    currentTitle() = title;
}

QString Application::builtInTitle() {
    return QStringLiteral("Korvani");
}

} // namespace platform
