#ifndef ZR_CORE_MODBUS_PORT_FACTORY_H
#define ZR_CORE_MODBUS_PORT_FACTORY_H

#include <QString>

class LinePort;
class QObject;

// The port for a port string (see PortAddress): a serial port or a TCP connection; nullptr with
// the reason in words in *error when the string names neither. The front ends' one way to a port.
LinePort *makeLinePort(const QString &text, QString *error = nullptr, QObject *parent = nullptr);

#endif
