#include "platform/AppTitle.h"

namespace platform {
namespace {
QString& currentTitle() {
    static QString title = AppTitle::builtInTitle();
    return title;
}
} // namespace

QString AppTitle::title() {
    return currentTitle();
}

void AppTitle::setTitle(const QString& title) {
    currentTitle() = title;
}

QString AppTitle::builtInTitle() {
    return QStringLiteral("Korvani");
}

} // namespace platform
