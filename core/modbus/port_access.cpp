#include "core/modbus/port_access.h"

#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

AccessCheck accessCheck = &::access;
QString lockDirectory;

// The name of group `gid`, or the number when the group database does not know it.
QString groupName(gid_t gid) {
    long size = ::sysconf(_SC_GETGR_R_SIZE_MAX);
    std::vector<char> buffer(static_cast<size_t>(size > 0 ? size : 16384));
    struct group entry;
    struct group *found = nullptr;
    while (::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) == ERANGE) {
        buffer.resize(buffer.size() * 2);
    }
    return found ? QString::fromLocal8Bit(found->gr_name) : QString::number(gid);
}

PortAccess failure(PortAccess::Kind kind, const QString &given, const QString &detail, qint64 pid = 0) {
    PortAccess access;
    access.kind = kind;
    access.lockPid = pid;
    const QString name = given.isEmpty() ? QStringLiteral("the port") : given;
    switch (kind) {
    case PortAccess::Missing:
        access.message = QStringLiteral("cannot open %1: no such device").arg(name);
        break;
    case PortAccess::NoPermission:
        access.group = detail;
        access.message =
            detail.isEmpty()
                ? QStringLiteral("cannot open %1: no permission, and the device is not open to its group")
                      .arg(name)
                : QStringLiteral("cannot open %1: no permission, the device belongs to the group %2; "
                                 "run %3, then log out and in again")
                      .arg(name, detail, joinGroupCommand(detail));
        break;
    case PortAccess::Busy:
        access.message = QStringLiteral("cannot open %1: busy, another program has it open").arg(name);
        break;
    case PortAccess::StaleLock:
        access.lockFile = detail;
        access.message = QStringLiteral("cannot open %1: its lock file %2 is stale, process %3 that left it "
                                        "is no longer running; run %4")
                             .arg(name, detail, QString::number(access.lockPid), removeLockCommand(detail));
        break;
    case PortAccess::Ok:
    case PortAccess::OtherError:
        access.kind = PortAccess::OtherError;
        access.reason = detail;
        access.message = QStringLiteral("cannot open %1: %2").arg(name, detail);
        break;
    }
    return access;
}

// The process named in a lock file: the first line holds its number, as QLockFile and the UUCP
// convention (ten characters, padded) write it. 0 when there is none, or when the lock was
// taken on another host (a shared lock folder), whose processes cannot be asked.
qint64 lockOwner(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return 0;
    }
    const QList<QByteArray> lines = file.read(4096).split('\n');
    bool number = false;
    const qint64 pid = lines.value(0).trimmed().toLongLong(&number);
    const QByteArray host = lines.value(2).trimmed();
    if (!number || pid <= 0 || (!host.isEmpty() && host != QSysInfo::machineHostName().toLocal8Bit())) {
        return 0;
    }
    return pid;
}

bool processRunning(qint64 pid) {
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

// Whether this user may remove `path`: its folder writable, and in a sticky folder (/run/lock)
// only its owner's or the folder owner's.
bool mayRemove(const QString &path) {
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    struct stat folderInfo;
    struct stat fileInfo;
    if (::stat(folder.constData(), &folderInfo) != 0 ||
        ::stat(QFile::encodeName(path).constData(), &fileInfo) != 0 ||
        accessCheck(folder.constData(), W_OK | X_OK) != 0) {
        return false;
    }
    const uid_t me = ::geteuid();
    return !(folderInfo.st_mode & S_ISVTX) || me == 0 || folderInfo.st_uid == me || fileInfo.st_uid == me;
}

} // namespace

QString lockFilePath(const QString &real) {
    QString name = real.startsWith(QLatin1String("/dev/")) ? real.mid(5) : real;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    name.prepend(QLatin1String("/LCK.."));
    if (!lockDirectory.isEmpty()) {
        return lockDirectory + name;
    }
    // QSerialPort's own folders, in its order: the first it can read, where the file is or
    // could be made.
    static const char *const folders[] = {"/var/lock", "/etc/locks", "/var/spool/locks",  "/var/spool/uucp",
                                          "/tmp",      "/var/tmp",   "/var/lock/lockdev", "/run/lock"};
    for (const char *folder : folders) {
        const QString path = QString::fromLatin1(folder) + name;
        const QFileInfo info(QString::fromLatin1(folder));
        if (info.isReadable() && (QFile::exists(path) || info.isWritable())) {
            return path;
        }
    }
    return QString();
}

QString setLockDirectory(const QString &directory) {
    const QString previous = lockDirectory;
    lockDirectory = directory;
    return previous;
}

QString removeLockCommand(const QString &lockFile) {
    return QStringLiteral("sudo rm %1").arg(lockFile);
}

QString realDevicePath(const QString &given) {
    // QSerialPort's own rule for a name that is not a path.
    const bool path = given.startsWith(QLatin1Char('/')) || given.startsWith(QLatin1String("./")) ||
                      given.startsWith(QLatin1String("../"));
    const QString location = path ? given : QStringLiteral("/dev/") + given;
    const QString real = QFileInfo(location).canonicalFilePath();
    return real.isEmpty() ? location : real;
}

PortAccess openPort(QSerialPort &port, const QString &given) {
    if (port.isOpen()) {
        port.close();
    }
    if (given.isEmpty()) {
        return failure(PortAccess::OtherError, given, QStringLiteral("no port was given"));
    }
    const QString real = realDevicePath(given);
    const QByteArray node = QFile::encodeName(real);
    struct stat info;
    if (::stat(node.constData(), &info) != 0) {
        const int error = errno;
        return error == ENOENT || error == ENOTDIR
                   ? failure(PortAccess::Missing, given, QString())
                   : failure(PortAccess::OtherError, given, QString::fromLocal8Bit(std::strerror(error)));
    }
    // Asked before opening: once the lock file or another opener's TIOCEXCL refuses the open,
    // QSerialPort reports the same PermissionError as for a node without rights.
    if (accessCheck(node.constData(), R_OK | W_OK) != 0) {
        const int error = errno;
        // Joining the group helps only where the group may read and write the node.
        const bool groupMay = (info.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
        return error == EACCES || error == EPERM
                   ? failure(PortAccess::NoPermission, given, groupMay ? groupName(info.st_gid) : QString())
                   : failure(PortAccess::OtherError, given, QString::fromLocal8Bit(std::strerror(error)));
    }
    // A lock file naming a live process is another program's hold; one left by a process that
    // is gone is cleared by QSerialPort itself where this user may remove it.
    const QString lock = lockFilePath(real);
    const qint64 owner = lock.isEmpty() ? 0 : lockOwner(lock);
    if (owner > 0 && owner != ::getpid()) {
        if (processRunning(owner)) {
            return failure(PortAccess::Busy, given, QString());
        }
        if (!mayRemove(lock)) {
            return failure(PortAccess::StaleLock, given, lock, owner);
        }
    }
    // Opened and locked by the node's real name, so QSerialPort's lock file is the same for every
    // name of one device.
    port.setPortName(real);
    if (!port.open(QIODevice::ReadWrite)) {
        switch (port.error()) {
        case QSerialPort::PermissionError:
            return failure(PortAccess::Busy, given, QString());
        case QSerialPort::DeviceNotFoundError:
            return failure(PortAccess::Missing, given, QString());
        default:
            return failure(PortAccess::OtherError, given, port.errorString());
        }
    }
    // Other programs (and QSerialPort as root) do not see QSerialPort's lock file; an advisory
    // lock on the device itself is seen by every opener that asks for one, under any name.
    if (::flock(port.handle(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        port.close();
        return failure(PortAccess::Busy, given, QString());
    }
    return PortAccess();
}

PortAccess checkAccess(const QString &path) {
    QSerialPort port;
    const PortAccess access = openPort(port, path);
    port.close();
    return access;
}

QString joinGroupCommand(const QString &group) {
    return QStringLiteral("sudo usermod -aG %1 $USER").arg(group);
}

AccessCheck setAccessCheck(AccessCheck check) {
    const AccessCheck previous = accessCheck;
    accessCheck = check ? check : &::access;
    return previous;
}
