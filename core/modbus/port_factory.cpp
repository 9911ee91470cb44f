#include "core/modbus/port_factory.h"

#include "core/modbus/line_port.h"
#include "core/modbus/port_address.h"
#include "core/modbus/tcp_line_port.h"

LinePort *makeLinePort(const QString &text, QString *error, QObject *parent) {
    const PortAddress address = PortAddress::parse(text);
    switch (address.kind) {
    case PortAddress::Kind::Serial:
        return new SerialLinePort(text, parent);
    case PortAddress::Kind::ModbusTcp:
    case PortAddress::Kind::RtuOverTcp:
        return new TcpLinePort(text, address, parent);
    case PortAddress::Kind::Invalid:
        break;
    }
    if (error) {
        *error = address.error;
    }
    return nullptr;
}
