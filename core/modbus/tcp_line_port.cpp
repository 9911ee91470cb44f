#include "core/modbus/tcp_line_port.h"

TcpLinePort::TcpLinePort(const QString &portName, const PortAddress &portAddress, QObject *parent)
    : LinePort(parent), given(portName), address(portAddress) {
    connectTimer.setSingleShot(true);
    connect(&connectTimer, &QTimer::timeout, this, [this] {
        lose(QStringLiteral("no connection to %1 within %2 s").arg(given).arg(ConnectTimeoutMs / 1000));
    });
    connect(&socket, &QTcpSocket::connected, this, &TcpLinePort::onConnected);
    connect(&socket, &QTcpSocket::errorOccurred, this, &TcpLinePort::onError);
    connect(&socket, &QTcpSocket::disconnected, this, &TcpLinePort::onDisconnected);
}

bool TcpLinePort::open(int rate, QString *error) {
    Q_UNUSED(rate)
    Q_UNUSED(error)
    // A fresh connection: nothing read or written on an earlier one is kept.
    active = false;
    socket.abort();
    active = true;
    connectTimer.start(ConnectTimeoutMs);
    socket.connectToHost(address.host, address.port);
    return true;
}

void TcpLinePort::close() {
    active = false;
    connectTimer.stop();
    socket.abort();
}

void TcpLinePort::onConnected() {
    connectTimer.stop();
    socket.setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    emit opened();
}

void TcpLinePort::onError(QAbstractSocket::SocketError error) {
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        lose(QStringLiteral("connection to %1 refused").arg(given));
        break;
    case QAbstractSocket::RemoteHostClosedError:
        lose(QStringLiteral("connection to %1 closed by the server").arg(given));
        break;
    case QAbstractSocket::HostNotFoundError:
        lose(QStringLiteral("host of %1 not found").arg(given));
        break;
    case QAbstractSocket::SocketTimeoutError:
        // Reading and writing never time out here: only the connect timer does.
        break;
    default:
        lose(QStringLiteral("connection to %1 failed: %2").arg(given, socket.errorString()));
        break;
    }
}

void TcpLinePort::onDisconnected() {
    lose(QStringLiteral("connection to %1 closed by the server").arg(given));
}

void TcpLinePort::lose(const QString &reason) {
    if (!active) {
        return;
    }
    active = false;
    connectTimer.stop();
    emit failed(reason);
}
