#include "core/modbus/serial_ports.h"

#include <QSerialPort>
#include <QSerialPortInfo>

namespace {
bool canOpen(const QString &name) {
    QSerialPort port;
    port.setPortName(name);
    if (!port.open(QIODevice::ReadWrite)) {
        return false;
    }
    port.close();
    return true;
}
} // namespace

QStringList openablePorts() {
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
    QStringList openable;
    for (const QString &name : candidates) {
        if (canOpen(name)) {
            openable << name;
        }
    }
    return openable;
}

bool errorEndsLink(QSerialPort::SerialPortError error) {
    return error != QSerialPort::NoError && error != QSerialPort::TimeoutError;
}
