#ifndef ZR_CORE_MODBUS_SERIAL_PORTS_H
#define ZR_CORE_MODBUS_SERIAL_PORTS_H

#include <QSerialPort>
#include <QStringList>

// Ports that can be opened right now: the system's serial ports in enumeration order, then the
// device paths listed (colon-separated) in ZRTOOL_EXTRA_PORTS, such as pseudo-terminals or
// bridged ports that the system enumeration does not report. Each is tried with a read-write
// open and closed again; a port held open elsewhere is left out.
QStringList openablePorts();

// Whether an error the port reports while it is open means the line is gone (adapter pulled,
// device hung up, driver failure) so that the port has to be closed. A time-out only says a
// wait ran out, and no error is no fault; every other error leaves the port unusable, and a
// hung-up tty reporting a read error keeps its read notifier firing at full speed.
bool errorEndsLink(QSerialPort::SerialPortError error);

#endif
