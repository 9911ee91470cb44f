#include "core/modbus/serial_ports.h"

#include "core/modbus/port_access.h"

#include <QSerialPort>
#include <QSerialPortInfo>

QVector<ListedPort> listPorts() {
    QStringList candidates;
    const auto infos = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : infos) {
        candidates << info.portName();
    }
    const QString extra = qEnvironmentVariable("ZRTOOL_EXTRA_PORTS");
    for (const QString &path : extra.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        if (!candidates.contains(path)) {
            candidates << path;
        }
    }
    QVector<ListedPort> listed;
    for (const QString &name : candidates) {
        const PortAccess access = checkAccess(name);
        if (access.kind == PortAccess::Ok || access.kind == PortAccess::NoPermission) {
            listed.append({name, access.kind == PortAccess::NoPermission, access.group});
        }
    }
    return listed;
}

QStringList openablePorts() {
    QStringList openable;
    for (const ListedPort &port : listPorts()) {
        if (!port.noPermission) {
            openable << port.name;
        }
    }
    return openable;
}

bool errorEndsLink(QSerialPort::SerialPortError error) {
    return error != QSerialPort::NoError && error != QSerialPort::TimeoutError;
}
