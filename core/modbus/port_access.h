#ifndef ZR_CORE_MODBUS_PORT_ACCESS_H
#define ZR_CORE_MODBUS_PORT_ACCESS_H

#include <QSerialPort>
#include <QString>

// Opening a serial port under whatever name the user knows it by, one opener at a time, and
// saying plainly why a port cannot be opened.

// The device node behind `given`. A bare name such as "ttyUSB0" or "pts/3" is taken under /dev/
// as QSerialPort takes it, and symbolic links (/dev/serial/by-id/..., a link to a
// pseudo-terminal) are followed to the node. A name that leads nowhere comes back with only the
// /dev/ prefix added.
QString realDevicePath(const QString &given);

// Why a port can or cannot be opened.
struct PortAccess {
    enum Kind {
        Ok,
        Missing,      // no device under that name (an adapter pulled out, a dangling link)
        NoPermission, // the device exists but this user may not read and write it
        Busy,         // another program (or another port object) has it open
        StaleLock,    // a lock file left by a process no longer running, which this user cannot remove
        OtherError
    };
    Kind kind = Ok;
    QString group;      // NoPermission: the group owning the device node, typically "dialout", when
                        // that group may read and write it (empty when joining it would not help)
    QString reason;     // OtherError: the system's own words
    QString lockFile;   // StaleLock: the lock file left behind
    qint64 lockPid = 0; // StaleLock: the process that left it
    QString message;    // one line naming the port as given, whole; empty when Ok
};

// Opens `port` read-write on the device behind `given` and takes an exclusive advisory lock on
// it (flock on the port's descriptor), so that a second opener is refused as busy whichever
// name it uses, also where the lock file and TIOCEXCL of QSerialPort do not refuse it (a
// different name; root). A lock file of the port that names a process still running means busy;
// one left by a process that is gone, which this user may not remove (a tool run as root and
// killed), is said as such, with the command that removes it. Line settings made on `port`
// before the call are kept. On failure the port is left closed.
PortAccess openPort(QSerialPort &port, const QString &given);

// What openPort would say about `path` now: the port is opened and closed again.
PortAccess checkAccess(const QString &path);

// The command that lets the user open the devices owned by `group` (after logging in again).
QString joinGroupCommand(const QString &group);
// The command that removes a stale lock file.
QString removeLockCommand(const QString &lockFile);

// The lock file QSerialPort takes for the device node `real` ("LCK.." and the node's name
// under /dev/, slashes as underscores), in the lock folder: the first of QSerialPort's own
// folders that is there for it, or the folder a test set. Empty when there is no such folder.
QString lockFilePath(const QString &real);
// Puts the lock folder in `directory` instead of QSerialPort's list; an empty one puts the list
// back. Returns the folder it replaces (empty for the list).
QString setLockDirectory(const QString &directory);

// The check whether this user may read and write a device node, access(2) by default. Tests
// put in one that plays an unprivileged user, since root may open any node. Returns the check
// it replaces; nullptr puts access(2) back.
using AccessCheck = int (*)(const char *path, int mode);
AccessCheck setAccessCheck(AccessCheck check);

#endif
