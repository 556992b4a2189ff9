#include "platform/HttpGet.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <utility>

namespace platform {
namespace {

int& timeoutOverride() {
    static int ms = 0;
    return ms;
}

bool& unavailable() {
    static bool value = false;
    return value;
}

void useSystemProxyOnce() {
    static const bool done = [] {
        QNetworkProxyFactory::setUseSystemConfiguration(true);
        return true;
    }();
    (void)done;
}

bool isRedirect(int status) {
    return status >= 300 && status < 400;
}

// Errors that cut a transfer short, as opposed to those that name the HTTP status of
// a whole response (content, server and request errors).
bool brokeOff(QNetworkReply::NetworkError error) {
    return (error != QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied) ||
           error == QNetworkReply::ProtocolUnknownError || error == QNetworkReply::ProtocolFailure;
}

} // namespace

struct HttpGet::Impl {
    QByteArray userAgent;
    QNetworkAccessManager manager;
    QNetworkReply* reply = nullptr;
    QDeadlineTimer deadline;
    bool failed = false;

    // Runs a local event loop until ready() holds or the deadline passes; user input
    // stays queued meanwhile. Returns ready().
    template <typename Ready> bool waitFor(Ready ready) {
        while (!ready()) {
            if (deadline.hasExpired())
                return false;
            QEventLoop loop;
            QObject::connect(reply, &QNetworkReply::metaDataChanged, &loop, &QEventLoop::quit);
            QObject::connect(reply, &QNetworkReply::readyRead, &loop, &QEventLoop::quit);
            QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
            QTimer timer;
            timer.setSingleShot(true);
            QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
            timer.start(std::max<qint64>(1, deadline.remainingTime()));
            loop.exec(QEventLoop::ExcludeUserInputEvents);
        }
        return true;
    }

    bool headersArrived() const {
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        if (!status.isValid())
            return false;
        // A redirect that is being followed is not yet the response.
        return !isRedirect(status.toInt()) || reply->isFinished();
    }
};

HttpGet::HttpGet(const QByteArray& userAgent) {
    if (unavailable() || !QCoreApplication::instance())
        return;
    useSystemProxyOnce();
    d = std::make_unique<Impl>();
    d->userAgent = userAgent;
}

HttpGet::~HttpGet() {
    close();
}

bool HttpGet::isOpen() const {
    return d != nullptr;
}

bool HttpGet::openUrl(const QString& address) {
    if (!d)
        return false;
    close();
    d->failed = false;
    const QUrl url(address, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return false;

    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, d->userAgent);
    d->deadline = QDeadlineTimer(timeoutMs());
    d->reply = d->manager.get(request);
    d->reply->setReadBufferSize(ReadAheadSize);

    if (d->waitFor([this] { return d->headersArrived() || d->reply->isFinished(); }) &&
        d->headersArrived())
        return true;
    close();
    return false;
}

qsizetype HttpGet::read(char* buffer, qsizetype size) {
    if (!d || !d->reply || size <= 0)
        return 0;
    QNetworkReply* reply = d->reply;
    if (!d->waitFor([reply] { return reply->bytesAvailable() > 0 || reply->isFinished(); })) {
        d->failed = true;
        close(); // timed out in the middle of the body
        return 0;
    }
    const qint64 count = reply->read(buffer, std::min(size, PieceSize));
    if (count > 0)
        return static_cast<qsizetype>(count);
    if (reply->isFinished() && brokeOff(reply->error()))
        d->failed = true;
    return 0;
}

bool HttpGet::failed() const {
    return d && d->failed;
}

void HttpGet::close() {
    if (!d || !d->reply)
        return;
    QNetworkReply* reply = std::exchange(d->reply, nullptr);
    if (!reply->isFinished())
        reply->abort();
    // Not inside one of its own signals, so it may go at once.
    delete reply;
}

void HttpGet::setTimeoutForTesting(int ms) {
    timeoutOverride() = std::max(0, ms);
}
void HttpGet::setUnavailableForTesting(bool value) {
    unavailable() = value;
}
int HttpGet::timeoutMs() {
    return timeoutOverride() > 0 ? timeoutOverride() : DefaultTimeoutMs;
}

} // namespace platform
