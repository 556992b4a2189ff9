#include "common/ModCommonUi.h"

#include "platform/Desktop.h"

#include <QUrl>

namespace ModCommon {

void OpenLink(const QString& target) {
    // The address comes from an editable language file: hand over web and mail
    // addresses only, never a local program or file. A web address needs a host and a
    // mail address a recipient; the text handed over is the target as given.
    const QUrl url(target, QUrl::StrictMode);
    if (!url.isValid())
        return;
    const QString scheme = url.scheme().toLower();
    bool allowed = false;
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
        allowed = !url.host().isEmpty();
    else if (scheme == QLatin1String("mailto"))
        allowed = !url.path().isEmpty();
    if (allowed)
        platform::Shell::openAddress(target);
}

} // namespace ModCommon
