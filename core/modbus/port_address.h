#ifndef ZR_CORE_MODBUS_PORT_ADDRESS_H
#define ZR_CORE_MODBUS_PORT_ADDRESS_H

#include <QString>
#include <QtGlobal>

// What a port string names: a serial device path, `tcp://HOST[:PORT]` (Modbus TCP, port 502 by
// default) or `rtu+tcp://HOST:PORT` (RTU frames raw over TCP to a serial server). HOST is an
// IPv4 address, an IPv6 address in brackets or a host name.
struct PortAddress {
    enum class Kind {
        Serial,
        ModbusTcp,
        RtuOverTcp,
        Invalid // `error` says why
    };
    Kind kind = Kind::Invalid;
    QString host;     // the device path for Serial
    quint16 port = 0; // the TCP port
    QString error;

    static constexpr quint16 ModbusTcpPort = 502;

    static PortAddress parse(const QString &text);
    bool isNetwork() const { return kind == Kind::ModbusTcp || kind == Kind::RtuOverTcp; }
};

#endif
