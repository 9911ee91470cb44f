#include "sim/tcp_transmitter.h"

#include "core/modbus/mbap_frame.h"
#include "core/modbus/modbus_frame.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace {

// What a flooding adapter behind the server sends for every request.
constexpr int FloodLength = 4096;
// Exception code a device in trouble answers with (slave device failure).
constexpr quint8 ExceptionDeviceFailure = 0x04;

} // namespace

TcpTransmitter::TcpTransmitter(const TransmitterConfig &config, QObject *parent)
    : QObject(parent), server(new QTcpServer(this)) {
    units.emplace_back(config);
    connect(server, &QTcpServer::newConnection, this, &TcpTransmitter::serveNext);
}

TcpTransmitter::~TcpTransmitter() {
    if (client) {
        client->disconnect(this);
        client->abort();
    }
}

bool TcpTransmitter::listen(const QHostAddress &address, quint16 port, QString *error) {
    if (server->listen(address, port)) {
        return true;
    }
    if (error) {
        *error = server->errorString();
    }
    return false;
}

quint16 TcpTransmitter::port() const {
    return server->serverPort();
}

QString TcpTransmitter::portString() const {
    const QHostAddress host = server->serverAddress();
    const QString name = host.protocol() == QAbstractSocket::IPv6Protocol
                             ? QStringLiteral("[%1]").arg(host.toString())
                             : host.toString();
    return QStringLiteral("%1://%2:%3")
        .arg(mode == Framing::Rtu ? QStringLiteral("rtu+tcp") : QStringLiteral("tcp"), name)
        .arg(port());
}

Transmitter &TcpTransmitter::addUnit(const TransmitterConfig &config) {
    units.emplace_back(config);
    return units.back();
}

void TcpTransmitter::serveNext() {
    if (client || !server->hasPendingConnections()) {
        return;
    }
    client = server->nextPendingConnection();
    ++accepted;
    served = 0;
    buffer.clear();
    connect(client, &QTcpSocket::readyRead, this, &TcpTransmitter::onReadable);
    connect(client, &QTcpSocket::disconnected, this, &TcpTransmitter::onGone);
    onReadable();
}

void TcpTransmitter::onGone() {
    if (client) {
        client->disconnect(this);
        client->deleteLater();
    }
    client = nullptr;
    buffer.clear();
    serveNext();
}

void TcpTransmitter::onReadable() {
    if (!client) {
        return;
    }
    buffer.append(client->readAll());
    while (client && !buffer.isEmpty()) {
        if (mode == Framing::ModbusTcp) {
            const int length = Mbap::frameLength(buffer);
            if (length < 0) {
                buffer.clear(); // not a Modbus TCP client: nothing to resynchronise on
                return;
            }
            if (length == 0) {
                return;
            }
            const QByteArray adu = buffer.left(length);
            buffer.remove(0, length);
            answer(Mbap::unwrap(adu), adu.left(Mbap::HeaderLength - 1));
            continue;
        }
        const int length = PtyTransmitter::requestLength(buffer);
        if (length < 0) {
            buffer.remove(0, 1);
            continue;
        }
        if (length == 0 || buffer.size() < length) {
            return;
        }
        const QByteArray frame = buffer.left(length);
        if (!crcIntact(frame)) {
            buffer.remove(0, 1);
            continue;
        }
        buffer.remove(0, length);
        answer(frame, QByteArray());
    }
}

void TcpTransmitter::answer(const QByteArray &request, const QByteArray &header) {
    emit requestReceived(request);
    if (dropAfter >= 0 && served >= dropAfter) {
        // The connection goes in the middle of a request, as a server that reboots.
        QTcpSocket *gone = client;
        gone->abort();
        if (client == gone) {
            onGone();
        }
        return;
    }
    ++served;
    if (fault == SimFault::FloodZero || fault == SimFault::FloodFF) {
        sendLater(QByteArray(FloodLength, fault == SimFault::FloodZero ? '\x00' : '\xFF'));
        return;
    }
    const QByteArray reply = replyTo(request);
    if (reply.isEmpty()) {
        return;
    }
    if (mode == Framing::Rtu) {
        sendLater(reply);
        return;
    }
    sendLater(Mbap::wrap(reply, wrongTid ? 0 : Mbap::transactionId(header)));
}

QByteArray TcpTransmitter::replyTo(const QByteArray &request) {
    if (fault == SimFault::Silence) {
        return QByteArray();
    }
    // Behind a serial server every unit hears the request; the server's rate is taken as the
    // units' own, so each one answers its address.
    for (Transmitter &unit : units) {
        if (!unit.isForThisDevice(request)) {
            continue;
        }
        if (fault != SimFault::ExceptionAll) {
            return unit.handleRequest(request);
        }
        QByteArray reply;
        reply.append(static_cast<char>(unit.address()));
        reply.append(static_cast<char>(static_cast<quint8>(request.at(1)) | 0x80));
        reply.append(static_cast<char>(ExceptionDeviceFailure));
        appendCrc(reply);
        return reply;
    }
    return QByteArray();
}

void TcpTransmitter::sendLater(const QByteArray &bytes) {
    const QPointer<QTcpSocket> to = client;
    auto send = [to, bytes] {
        if (to && to->state() == QAbstractSocket::ConnectedState) {
            to->write(bytes);
        }
    };
    if (delayMs > 0) {
        QTimer::singleShot(delayMs, this, send);
    } else {
        send();
    }
}
