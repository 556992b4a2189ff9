#include "support/LocalHttpServer.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

namespace testsupport {
namespace {
constexpr qint64 WriteAhead = 64 * 1024;

QByteArray reason(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 302:
        return "Found";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    default:
        return "Status";
    }
}

char generatedByte(qint64 position) {
    return static_cast<char>('a' + position % 26);
}
} // namespace

struct LocalHttpServer::Client {
    QTcpSocket* socket = nullptr;
    QByteArray incoming;
    bool answered = false;
    bool silent = false; // headers sent, the body held back for ever
    bool ended = false;  // the whole body (and its last chunk) written
    qint64 bodyTotal = 0;
    qint64 bodyPos = 0;
    QTimer pause;
};

LocalHttpServer::LocalHttpServer() {
    connect(&server_, &QTcpServer::newConnection, this, &LocalHttpServer::onNewConnection);
    server_.listen(QHostAddress::LocalHost, 0);
}

LocalHttpServer::~LocalHttpServer() {
    server_.close();
    for (Client* client : std::as_const(clients_)) {
        client->socket->disconnect(this);
        client->socket->abort();
        delete client->socket;
        delete client;
    }
}

void LocalHttpServer::setBody(const QByteArray& body) {
    body_ = body;
    generatedSize_ = -1;
}

void LocalHttpServer::setGeneratedBody(qint64 size) {
    body_.clear();
    generatedSize_ = size;
}

void LocalHttpServer::setRedirect(const QByteArray& path, const QByteArray& location) {
    redirects_.insert(path, location);
}

void LocalHttpServer::setPieces(int pieceSize, int pauseMs) {
    pieceSize_ = pieceSize;
    pauseMs_ = pauseMs;
}

QString LocalHttpServer::baseAddress() const {
    return QStringLiteral("http://127.0.0.1:") + QString::number(server_.serverPort());
}

QByteArray LocalHttpServer::header(const QByteArray& head, const QByteArray& name) {
    for (const QByteArray& line : head.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
            return line.mid(colon + 1).trimmed();
    }
    return {};
}

QByteArray LocalHttpServer::path(const QByteArray& head) {
    const QList<QByteArray> words = head.left(head.indexOf('\r')).split(' ');
    return words.size() >= 2 ? words.at(1) : QByteArray();
}

void LocalHttpServer::onNewConnection() {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        ++connections_;
        if (mode_ == Mode::CloseAtOnce) {
            socket->close();
            socket->deleteLater();
            continue;
        }
        auto* client = new Client;
        client->socket = socket;
        client->pause.setSingleShot(true);
        clients_.append(client);
        connect(socket, &QTcpSocket::readyRead, this, [this, client] { onReadyRead(client); });
        connect(socket, &QTcpSocket::bytesWritten, this, [this, client] {
            if (client->answered && !client->silent && !client->ended && !client->pause.isActive())
                pump(client);
        });
        connect(&client->pause, &QTimer::timeout, this, [this, client] { pump(client); });
        connect(socket, &QTcpSocket::disconnected, this, [this, client] {
            if (client->answered && !client->silent && client->bodyPos < client->bodyTotal)
                leftEarly_ = true;
            clients_.removeOne(client);
            client->socket->disconnect(this);
            client->pause.stop();
            client->socket->deleteLater();
            delete client;
        });
    }
}

void LocalHttpServer::onReadyRead(Client* client) {
    client->incoming += client->socket->readAll();
    const qsizetype end = client->incoming.indexOf("\r\n\r\n");
    if (client->answered || end < 0)
        return;
    requests_.append(client->incoming.left(end));
    if (onRequest_) {
        auto hook = onRequest_;
        hook();
    }
    answer(client);
}

void LocalHttpServer::answer(Client* client) {
    client->answered = true;
    if (mode_ == Mode::NeverAnswer)
        return;
    if (mode_ == Mode::Raw) {
        client->ended = true;
        client->socket->write(raw_);
        client->socket->disconnectFromHost();
        return;
    }
    client->bodyTotal = generatedSize_ >= 0 ? generatedSize_ : body_.size();
    const auto redirect = redirects_.constFind(path(requests_.constLast()));
    const int status = redirect != redirects_.cend() ? 302 : status_;
    QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason(status) + "\r\n";
    if (redirect != redirects_.cend())
        head += "Location: " + *redirect + "\r\n";
    head += "Content-Type: text/plain\r\n";
    switch (framing_) {
    case Framing::ContentLength:
        head += "Content-Length: " + QByteArray::number(client->bodyTotal) + "\r\n";
        break;
    case Framing::Chunked:
        head += "Transfer-Encoding: chunked\r\n";
        break;
    case Framing::CloseOnly:
        break;
    }
    head += "Connection: close\r\n\r\n";
    client->socket->write(head);
    if (mode_ == Mode::HeadersOnly) {
        client->silent = true;
        return;
    }
    pump(client);
}

void LocalHttpServer::pump(Client* client) {
    QTcpSocket* socket = client->socket;
    while (client->bodyPos < client->bodyTotal && socket->bytesToWrite() < WriteAhead) {
        qint64 count = std::min(client->bodyTotal - client->bodyPos, WriteAhead);
        if (pieceSize_ > 0)
            count = std::min<qint64>(count, pieceSize_);
        QByteArray piece;
        if (generatedSize_ >= 0) {
            piece.resize(count);
            for (qint64 i = 0; i < count; ++i)
                piece[i] = generatedByte(client->bodyPos + i);
        } else {
            piece = body_.mid(client->bodyPos, count);
        }
        writePiece(client, piece);
        client->bodyPos += count;
        bodySent_ += count;
        if (pieceSize_ > 0 && client->bodyPos < client->bodyTotal) {
            // Paused before the flush, whose bytesWritten would otherwise send the
            // next piece at once.
            client->pause.start(pauseMs_);
            socket->flush();
            return;
        }
    }
    if (client->bodyPos >= client->bodyTotal && !client->ended) {
        client->ended = true;
        if (framing_ == Framing::Chunked)
            socket->write("0\r\n\r\n");
        socket->disconnectFromHost();
    }
}

void LocalHttpServer::writePiece(Client* client, const QByteArray& piece) {
    if (framing_ != Framing::Chunked) {
        client->socket->write(piece);
        return;
    }
    client->socket->write(QByteArray::number(piece.size(), 16) + "\r\n");
    client->socket->write(piece);
    client->socket->write("\r\n");
}

quint16 closedPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

} // namespace testsupport
