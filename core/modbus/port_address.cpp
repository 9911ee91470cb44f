#include "core/modbus/port_address.h"

#include <QHostAddress>
#include <QRegularExpression>

namespace {

PortAddress invalid(const QString &why) {
    PortAddress address;
    address.error = why;
    return address;
}

} // namespace

PortAddress PortAddress::parse(const QString &text) {
    const QString tcp = QStringLiteral("tcp://");
    const QString rtuTcp = QStringLiteral("rtu+tcp://");
    PortAddress address;
    QString rest;
    if (text.startsWith(tcp, Qt::CaseInsensitive)) {
        address.kind = Kind::ModbusTcp;
        rest = text.mid(tcp.size());
    } else if (text.startsWith(rtuTcp, Qt::CaseInsensitive)) {
        address.kind = Kind::RtuOverTcp;
        rest = text.mid(rtuTcp.size());
    } else if (text.contains(QStringLiteral("://"))) {
        return invalid(
            QStringLiteral("'%1': a network port is tcp://HOST[:PORT] or rtu+tcp://HOST:PORT").arg(text));
    } else if (text.trimmed().isEmpty()) {
        return invalid(QStringLiteral("no port given"));
    } else {
        address.kind = Kind::Serial;
        address.host = text;
        return address;
    }
    // [v6]:port, [v6], host:port, host; a trailing slash is tolerated.
    static const QRegularExpression form(QStringLiteral(
        "^(?:\\[([0-9A-Fa-f:.]+(?:%[A-Za-z0-9_.-]+)?)\\]|([^\\[\\]:/]+))(?::([0-9]{1,5}))?/?$"));
    const QRegularExpressionMatch match = form.match(rest);
    if (!match.hasMatch()) {
        return invalid(QStringLiteral("'%1' is no HOST[:PORT] (an IPv6 address goes in brackets)").arg(rest));
    }
    const bool v6 = !match.captured(1).isEmpty();
    address.host = v6 ? match.captured(1) : match.captured(2);
    if (v6 && QHostAddress(address.host).protocol() != QAbstractSocket::IPv6Protocol) {
        return invalid(QStringLiteral("'%1' is no IPv6 address").arg(address.host));
    }
    const QString portText = match.captured(3);
    if (portText.isEmpty()) {
        if (address.kind == Kind::RtuOverTcp) {
            return invalid(QStringLiteral("'%1': RTU over TCP needs the serial server's port").arg(text));
        }
        address.port = ModbusTcpPort;
        return address;
    }
    const int port = portText.toInt();
    if (port < 1 || port > 65535) {
        return invalid(QStringLiteral("port %1 is not in 1..65535").arg(portText));
    }
    address.port = static_cast<quint16>(port);
    return address;
}
