#ifndef ZR_CORE_MODBUS_SERIAL_PORTS_H
#define ZR_CORE_MODBUS_SERIAL_PORTS_H

#include <QSerialPort>
#include <QStringList>
#include <QVector>

// One port of the list offered to the user.
struct ListedPort {
    QString name;
    bool noPermission = false; // it exists, but this user may not open it
    QString group;             // the group to join for it, when noPermission (see PortAccess)
};

// The ports offered to the user: the system's serial ports in enumeration order, then the
// device paths listed (colon-separated) in ZRTOOL_EXTRA_PORTS, such as pseudo-terminals or
// bridged ports that the system enumeration does not report. Each is tried with a read-write
// open (under any of its names, see openPort) and closed again; one this user lacks the rights
// for is listed flagged, one held open elsewhere or gone is left out.
QVector<ListedPort> listPorts();

// The names of the ports of listPorts() that can be opened right now.
QStringList openablePorts();

// Whether an error the port reports while it is open means the line is gone (adapter pulled,
// device hung up, driver failure) so that the port has to be closed. A time-out only says a
// wait ran out, and no error is no fault; every other error leaves the port unusable, and a
// hung-up tty reporting a read error keeps its read notifier firing at full speed.
bool errorEndsLink(QSerialPort::SerialPortError error);

// Why the line of an open port ended, in words a user reads (the device was removed, the line
// failed), from the port's error and whether its device node is gone; never "Unknown error".
// A source text of the window's catalogue (context "Widget"); zrctl prints it as it is.
const char *lineFailureText(QSerialPort::SerialPortError error, bool deviceGone);
// The same for `port` as it is now: its last error, and its device node looked for.
const char *lineFailureText(const QSerialPort &port);

#endif
