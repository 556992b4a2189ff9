#include "common/ModCommon.h"

#include "platform/Desktop.h"

#include <QUrl>

namespace ModCommon {

void OpenLink(QWidget* /*window*/, const QString& target) {
    // The address comes from an editable language file: hand over web and mail
    // addresses only, never a local program or file.
    const QUrl url(target, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    const bool allowed = scheme == QLatin1String("http") || scheme == QLatin1String("https") ||
                         scheme == QLatin1String("mailto");
    if (!url.isValid() || !allowed || target.size() <= scheme.size() + 1)
        return;
    platform::Shell::openAddress(target);
}

} // namespace ModCommon
