#ifndef ZR_CORE_MODBUS_PORT_WATCH_H
#define ZR_CORE_MODBUS_PORT_WATCH_H

#include <QString>
#include <QtGlobal>

// Finding a lost port again: a USB adapter that comes back may get another ttyUSB number, but
// keeps its /dev/serial/by-id link.
namespace PortWatch {

// The link in `byIdDir` that leads to the same device as `portName`, or empty when there is none.
QString byIdLink(const QString &portName, const QString &byIdDir = QStringLiteral("/dev/serial/by-id"));
// Where to look for the port: its by-id link while that exists, else the name it was opened by.
QString pathToTry(const QString &byIdLink, const QString &portName);
// A gap as the user reads it: "4.2 s", "3 min 20 s", "2 h 5 min".
QString gapText(qint64 ms);

} // namespace PortWatch

#endif
