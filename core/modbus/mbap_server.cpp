#include "core/modbus/mbap_server.h"

#include "core/modbus/mbap_frame.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace {

QString peerName(const QTcpSocket *socket) {
    const QHostAddress address = socket->peerAddress();
    bool v4 = false;
    const quint32 ip4 = address.toIPv4Address(&v4);
    const QString host = v4 ? QHostAddress(ip4).toString() : QStringLiteral("[%1]").arg(address.toString());
    return QStringLiteral("%1:%2").arg(host).arg(socket->peerPort());
}

} // namespace

MbapServer::MbapServer(QObject *parent) : QObject(parent), server(new QTcpServer(this)) {
    connect(server, &QTcpServer::newConnection, this, &MbapServer::onNewConnection);
}

MbapServer::~MbapServer() {
    // The sockets are children: no signal of theirs reaches a half-destroyed server.
    for (auto it = peers.begin(); it != peers.end(); ++it) {
        it.key()->disconnect(this);
    }
}

bool MbapServer::parseAddress(const QString &text, QHostAddress *host, quint16 *port, QString *error) {
    QString hostText;
    QString portText = text;
    const int colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon >= 0) {
        hostText = text.left(colon);
        portText = text.mid(colon + 1);
        if (hostText.startsWith(QLatin1Char('[')) && hostText.endsWith(QLatin1Char(']'))) {
            hostText = hostText.mid(1, hostText.size() - 2);
        } else if (hostText.contains(QLatin1Char(':'))) {
            hostText.clear(); // an IPv6 address without brackets
            portText.clear();
        }
    }
    bool ok = false;
    const uint number = portText.toUInt(&ok);
    QHostAddress address(QHostAddress::LocalHost);
    if (ok && colon >= 0 && !address.setAddress(hostText)) {
        ok = false;
    }
    if (!ok || number == 0 || number > 65535) {
        *error = QStringLiteral("'%1' is not PORT, HOST:PORT or [IPv6]:PORT with a numeric host and a port "
                                "from 1 to 65535")
                     .arg(text);
        return false;
    }
    *host = address;
    *port = static_cast<quint16>(number);
    return true;
}

bool MbapServer::listen(const QString &address, QString *error) {
    QHostAddress host;
    quint16 number = 0;
    if (!parseAddress(address, &host, &number, error)) {
        return false;
    }
    if (!server->listen(host, number)) {
        *error = QStringLiteral("cannot listen on %1: %2").arg(address, server->errorString());
        return false;
    }
    return true;
}

quint16 MbapServer::port() const {
    return server->serverPort();
}

void MbapServer::onNewConnection() {
    while (QTcpSocket *socket = server->nextPendingConnection()) {
        socket->setParent(this);
        if (clients() >= bounds.maxClients) {
            emit clientRefused(peerName(socket));
            socket->abort();
            socket->deleteLater();
            continue;
        }
        Client &client = peers[socket];
        client.socket = socket;
        client.peer = peerName(socket);
        client.idle = new QTimer(socket);
        client.idle->setSingleShot(true);
        client.idle->setInterval(bounds.idleSeconds * 1000);
        client.idle->start();
        connect(client.idle, &QTimer::timeout, this, [this, socket] {
            drop(socket, QStringLiteral("nothing sent for %1 s").arg(bounds.idleSeconds));
        });
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, this,
                [this, socket] { drop(socket, QStringLiteral("left")); });
        emit clientConnected(client.peer);
    }
}

void MbapServer::onReadyRead(QTcpSocket *socket) {
    auto it = peers.find(socket);
    if (it == peers.end()) {
        return;
    }
    it->idle->start();
    it->buffer.append(socket->readAll());
    while (true) {
        const int length = Mbap::frameLength(it->buffer);
        if (length < 0) {
            drop(socket, QStringLiteral("not a Modbus TCP frame (or longer than %1 bytes)")
                             .arg(Mbap::HeaderLength - 1 + Mbap::MaxLength));
            return;
        }
        if (length == 0) {
            return;
        }
        const QByteArray adu = it->buffer.left(length);
        it->buffer.remove(0, length);
        if (it->open.size() >= bounds.openPerClient) {
            socket->write(Mbap::exception(adu, 0x06));
            continue;
        }
        const quint64 id = ++lastId;
        it->open.append(id);
        owners.insert(id, socket);
        emit request(id, it->peer, adu);
        // A slot may have dropped the client.
        it = peers.find(socket);
        if (it == peers.end()) {
            return;
        }
    }
}

void MbapServer::reply(quint64 id, const QByteArray &adu) {
    QTcpSocket *socket = owners.take(id);
    auto it = peers.find(socket);
    if (!socket || it == peers.end()) {
        return;
    }
    it->open.removeOne(id);
    it->idle->start();
    socket->write(adu);
}

void MbapServer::drop(QTcpSocket *socket, const QString &reason) {
    auto it = peers.find(socket);
    if (it == peers.end()) {
        return;
    }
    const Client client = it.value();
    peers.erase(it);
    socket->disconnect(this);
    client.idle->stop();
    socket->abort();
    socket->deleteLater();
    for (const quint64 id : client.open) {
        owners.remove(id);
        emit requestDropped(id);
    }
    emit clientLeft(client.peer, reason);
}

namespace Mbap {

QByteArray exception(const QByteArray &request, quint8 code) {
    QByteArray adu = request.left(HeaderLength + 1);
    adu[4] = 0;
    adu[5] = 3;
    adu[HeaderLength] = static_cast<char>(static_cast<quint8>(adu.at(HeaderLength)) | 0x80);
    adu.append(static_cast<char>(code));
    return adu;
}

} // namespace Mbap
