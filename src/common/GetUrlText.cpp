#include "common/ModCommonUi.h"

#include "Version.h"
#include "platform/Desktop.h"
#include "platform/HttpGet.h"

#include <QPointer>
#include <QProgressBar>
#include <QStringDecoder>

#include <algorithm>
#include <array>

namespace ModCommon {
namespace {
// The manifest is one number; anything longer than this is cut off unread.
constexpr qsizetype MaxBodySize = 64 * 1024;
} // namespace

QString GetUrlText(const QString& address, QProgressBar* progressBar) {
    platform::Events::process();
    if (!progressBar)
        return {};
    // The window may be closed while events run; never touch a destroyed bar.
    const QPointer<QProgressBar> bar(progressBar);
    const auto showProgress = [&bar](int value) {
        if (bar)
            bar->setValue(value);
    };
    showProgress(0);

    platform::HttpGet internet{QByteArray(Version::CompanyName)};
    if (!internet.isOpen())
        return {};

    showProgress(10);
    if (!internet.openUrl(address)) {
        showProgress(100);
        return {};
    }

    showProgress(20);
    QByteArray body;
    std::array<char, platform::HttpGet::PieceSize> piece;
    while (body.size() < MaxBodySize) {
        const qsizetype wanted = std::min<qsizetype>(piece.size(), MaxBodySize - body.size());
        const qsizetype count = internet.read(piece.data(), wanted);
        if (count <= 0)
            break;
        body.append(piece.data(), count);
    }

    // A body that broke off is not the manifest, however it begins ("1." of "1.5").
    const bool brokeOff = internet.failed();
    showProgress(90);
    internet.close();
    showProgress(100);
    if (brokeOff)
        return {};

    // Decoded once, after the last piece, so that a character split between two
    // pieces survives; a leading byte-order mark is dropped.
    QStringDecoder decoder(QStringDecoder::Utf8);
    return decoder.decode(body);
}

} // namespace ModCommon
