#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

namespace platform {

// One blocking HTTP GET at a time, in the manner of the Windows internet functions:
// constructing the object opens the "internet handle" (the system's proxy
// configuration and the program's user agent), openUrl sends the request and waits
// until the response has begun, read hands the body over in pieces, close ends the
// transfer. Every wait runs a local event loop that repaints windows and serves
// sockets and timers but takes no user input. A whole transfer (request, headers
// and body) ends after the time-out, 30 seconds unless a test shortens it.
class HttpGet {
public:
    static constexpr qsizetype PieceSize = 1024;
    // Bytes buffered ahead of the reader: a huge body is never held whole.
    static constexpr qsizetype ReadAheadSize = 64 * 1024;
    static constexpr int DefaultTimeoutMs = 30000;

    explicit HttpGet(const QByteArray& userAgent);
    ~HttpGet();
    HttpGet(const HttpGet&) = delete;
    HttpGet& operator=(const HttpGet&) = delete;

    // False when no network access can be had (no application object exists).
    bool isOpen() const;

    // Sends a GET of address (http or https only) and waits until the response
    // headers have arrived, whatever their status (an error page is a response
    // too). False when the request cannot be made, the connection or name look-up
    // fails, or the time-out passes first.
    bool openUrl(const QString& address);

    // Waits for body bytes and copies at most min(size, PieceSize) of them into
    // buffer. Returns the count copied; 0 at the end of the body, after a failed or
    // timed-out transfer, or when no URL is open.
    qsizetype read(char* buffer, qsizetype size);

    // True when the transfer since openUrl broke off before the end of the body: the
    // time-out passed, the connection dropped, or a redirect, proxy or protocol
    // failure ended it. What was read is then only a part of the body. An HTTP error
    // status is not a failure: its page is a whole body like any other.
    bool failed() const;

    // Ends the transfer (an unfinished one is aborted) and releases it.
    void close();

    // Test seams: a shorter time-out (0 restores the default), and an internet
    // handle that cannot be opened.
    static void setTimeoutForTesting(int ms);
    static void setUnavailableForTesting(bool unavailable);
    static int timeoutMs();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace platform
