#ifndef ZR_CORE_MODBUS_TCP_LINE_PORT_H
#define ZR_CORE_MODBUS_TCP_LINE_PORT_H

#include "core/modbus/line_port.h"
#include "core/modbus/port_address.h"

#include <QTcpSocket>
#include <QTimer>

// A TCP connection to a serial server or a Modbus TCP device, as a LinePort. open() starts the
// connection and returns true at once; opened() follows once connected, or failed() when it is
// refused, cannot be made within ConnectTimeoutMs, or (once made) is reset or closed. The rate
// is the serial server's business and is not set from here. Keep-alive is on, so a peer that
// vanished is noticed even while the line is idle.
class TcpLinePort : public LinePort {
    Q_OBJECT

public:
    static constexpr int ConnectTimeoutMs = 3000;

    TcpLinePort(const QString &portName, const PortAddress &address, QObject *parent = nullptr);

    bool open(int rate, QString *error) override;
    void close() override;
    QIODevice *device() override { return &socket; }
    QString name() const override { return given; }
    bool isReady() const override { return socket.state() == QAbstractSocket::ConnectedState; }
    bool isNetwork() const override { return true; }
    bool isMbap() const override { return address.kind == PortAddress::Kind::ModbusTcp; }

private:
    void onConnected();
    void onError(QAbstractSocket::SocketError error);
    void onDisconnected();
    void lose(const QString &reason);

    QTcpSocket socket;
    QTimer connectTimer;
    QString given;
    PortAddress address;
    // Set between open() and close(): a failure is said once for each.
    bool active = false;
};

#endif
