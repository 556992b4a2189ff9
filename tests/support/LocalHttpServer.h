#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QTcpServer>

#include <functional>

class QTcpSocket;

namespace testsupport {

// A small HTTP/1.1 server on 127.0.0.1 (a free port) that the test starts and
// stops. Every request gets the one configured answer (or a redirect, for a path
// given one); the connection is closed after it. It runs in the test's thread, so
// it serves while the program's code waits in its own event loop. Some modes play
// a broken or hostile server.
class LocalHttpServer : public QObject {
    Q_OBJECT
public:
    enum class Mode {
        Answer,      // status line, headers and the body
        HeadersOnly, // status line and headers announcing the body, then silence
        NeverAnswer, // read the request, send nothing
        CloseAtOnce, // close every connection as soon as it is accepted, sending nothing
        Raw,         // send the raw reply as it stands (no status line of our own), then close
    };
    // How the end of the body is told.
    enum class Framing {
        ContentLength, // a Content-Length header
        CloseOnly,     // no length: the body ends when the connection closes
        Chunked,       // Transfer-Encoding: chunked, one chunk per piece written
    };

    LocalHttpServer();
    ~LocalHttpServer() override;

    void setStatus(int status) { status_ = status; }
    void setBody(const QByteArray& body);
    // A body of size bytes of generated text, written only as the client takes it.
    void setGeneratedBody(qint64 size);
    void setMode(Mode mode) { mode_ = mode; }
    void setFraming(Framing framing) { framing_ = framing; }
    // The bytes Mode::Raw sends.
    void setRawReply(const QByteArray& bytes) { raw_ = bytes; }
    // A request for path ("/a") is answered "302 Found" to location, with the
    // configured body; other paths get the configured answer.
    void setRedirect(const QByteArray& path, const QByteArray& location);
    // Sends the body in pieces of pieceSize bytes, pauseMs apart.
    void setPieces(int pieceSize, int pauseMs);
    // Runs when a complete request has arrived, before anything is answered.
    void setOnRequest(std::function<void()> hook) { onRequest_ = std::move(hook); }

    QString baseAddress() const; // "http://127.0.0.1:<port>"
    quint16 port() const { return server_.serverPort(); }

    int connectionCount() const { return connections_; }
    // The request heads received, each up to the blank line.
    const QList<QByteArray>& requests() const { return requests_; }
    // Body bytes handed to the socket so far, and whether a client went away before
    // its whole body had been sent.
    qint64 bodyBytesSent() const { return bodySent_; }
    bool clientLeftEarly() const { return leftEarly_; }

    // The value of header name in request head (empty when absent).
    static QByteArray header(const QByteArray& head, const QByteArray& name);
    // The path of request head ("/KorvaniUpdate.inf").
    static QByteArray path(const QByteArray& head);

private:
    struct Client;
    void onNewConnection();
    void onReadyRead(Client* client);
    void answer(Client* client);
    void pump(Client* client);
    void writePiece(Client* client, const QByteArray& piece);

    QTcpServer server_;
    int status_ = 200;
    QByteArray body_;
    qint64 generatedSize_ = -1;
    Mode mode_ = Mode::Answer;
    Framing framing_ = Framing::ContentLength;
    QByteArray raw_;
    QHash<QByteArray, QByteArray> redirects_;
    int pieceSize_ = 0;
    int pauseMs_ = 0;
    std::function<void()> onRequest_;

    int connections_ = 0;
    QList<QByteArray> requests_;
    qint64 bodySent_ = 0;
    bool leftEarly_ = false;
    QList<Client*> clients_;
};

// A port on 127.0.0.1 where nothing listens (taken, then released).
quint16 closedPort();

} // namespace testsupport
