#include "core/modbus/port_watch.h"

#include <QDir>
#include <QFileInfo>

namespace PortWatch {

QString byIdLink(const QString &portName, const QString &byIdDir) {
    const QString device = QFileInfo(portName).canonicalFilePath();
    if (device.isEmpty()) {
        return QString();
    }
    const QDir dir(byIdDir);
    for (const QFileInfo &entry : dir.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot)) {
        if (entry.isSymLink() && entry.canonicalFilePath() == device) {
            return entry.absoluteFilePath();
        }
    }
    return QString();
}

QString pathToTry(const QString &byIdLink, const QString &portName) {
    return !byIdLink.isEmpty() && QFileInfo(byIdLink).exists() ? byIdLink : portName;
}

QString gapText(qint64 ms) {
    const qint64 seconds = ms / 1000;
    if (seconds < 60) {
        return QStringLiteral("%1 s").arg(QString::number(static_cast<double>(ms) / 1000.0, 'f', 1));
    }
    if (seconds < 3600) {
        return QStringLiteral("%1 min %2 s").arg(seconds / 60).arg(seconds % 60);
    }
    return QStringLiteral("%1 h %2 min").arg(seconds / 3600).arg((seconds % 3600) / 60);
}

} // namespace PortWatch
