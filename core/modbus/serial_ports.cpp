#include "core/modbus/serial_ports.h"

#include "core/modbus/port_access.h"

#include <QFileInfo>
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

const char *lineFailureText(QSerialPort::SerialPortError error, bool deviceGone) {
    if (deviceGone || error == QSerialPort::DeviceNotFoundError) {
        return QT_TRANSLATE_NOOP("Widget", "the device was removed");
    }
    switch (error) {
    case QSerialPort::ResourceError:
        // The node is still there: the adapter's driver dropped the line (unplugged and not yet
        // removed, or failed).
        return QT_TRANSLATE_NOOP("Widget", "the adapter stopped working (unplugged, or its driver failed)");
    case QSerialPort::ReadError:
        return QT_TRANSLATE_NOOP("Widget", "the line failed: nothing more can be read from it");
    case QSerialPort::WriteError:
        return QT_TRANSLATE_NOOP("Widget", "the line failed: nothing more can be written to it");
    case QSerialPort::PermissionError:
        return QT_TRANSLATE_NOOP("Widget", "the access to the device was taken away");
    default:
        return QT_TRANSLATE_NOOP("Widget", "the line failed");
    }
}

const char *lineFailureText(const QSerialPort &port) {
    // QSerialPort drops the /dev/ of the name it was given.
    const QString name = port.portName();
    const QString node = name.startsWith(QLatin1Char('/')) ? name : QStringLiteral("/dev/") + name;
    return lineFailureText(port.error(), !QFileInfo::exists(node));
}
