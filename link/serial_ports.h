#ifndef ZR_LINK_SERIAL_PORTS_H
#define ZR_LINK_SERIAL_PORTS_H

#include <QStringList>

// Ports that can be opened right now: the system's serial ports in enumeration order, then the
// device paths listed (colon-separated) in ZRTOOL_EXTRA_PORTS, such as pseudo-terminals or
// bridged ports that the system enumeration does not report. Each is tried with a read-write
// open and closed again; a port held open elsewhere is left out.
QStringList openablePorts();

#endif
