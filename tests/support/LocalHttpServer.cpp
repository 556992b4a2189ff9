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

void LocalHttpServer::onNewConnection() {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        ++connections_;
        auto* client = new Client;
        client->socket = socket;
        client->pause.setSingleShot(true);
        clients_.append(client);
        connect(socket, &QTcpSocket::readyRead, this, [this, client] { onReadyRead(client); });
        connect(socket, &QTcpSocket::bytesWritten, this, [this, client] {
            if (client->answered && !client->silent && !client->pause.isActive())
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
    client->bodyTotal = generatedSize_ >= 0 ? generatedSize_ : body_.size();
    QByteArray head = "HTTP/1.1 " + QByteArray::number(status_) + ' ' + reason(status_) + "\r\n";
    head += "Content-Type: text/plain\r\n";
    head += "Content-Length: " + QByteArray::number(client->bodyTotal) + "\r\n";
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
        socket->write(piece);
        client->bodyPos += count;
        bodySent_ += count;
        if (pieceSize_ > 0 && client->bodyPos < client->bodyTotal) {
            socket->flush();
            client->pause.start(pauseMs_);
            return;
        }
    }
    if (client->bodyPos >= client->bodyTotal)
        socket->disconnectFromHost();
}

quint16 closedPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

} // namespace testsupport
