#include "core/storage/log_file.h"

#include "core/base/machine_text.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {
// Suffixes tried after the plain name before giving up on a fresh file.
constexpr int kMaxSuffix = 999;

// Whether the next byte written starts a line: an empty file and a device (which has no end to
// look at) count as at a line start.
bool endsWithLineFeed(QFile &file, qint64 size) {
    char last = 0;
    return size <= 0 || file.isSequential() ||
           (file.seek(size - 1) && file.read(&last, 1) == 1 && last == '\n');
}
} // namespace

QString logLine(const QDateTime &when, LogKind kind, const QString &text) {
    const QString stamp = MachineText::logStamp(when);
    switch (kind) {
    case LogKind::Tx:
        return stamp + QStringLiteral("->TX  ") + text;
    case LogKind::Rx:
        return stamp + QStringLiteral("->RX  ") + text;
    case LogKind::Status:
        break;
    }
    return stamp + QStringLiteral("->") + text;
}

QString createLogFile(const QString &dataDir, const QDateTime &start) {
    return createRunFile(dataDir, QStringLiteral("Log"), QStringLiteral(".txt"), start);
}

QString createRunFile(const QString &dataDir, const QString &prefix, const QString &suffix,
                      const QDateTime &start) {
    // C-locale digits whatever the system locale: the name sorts and reads the same everywhere.
    const QString stem =
        dataDir + QLatin1Char('/') + prefix + QLatin1Char('-') + MachineText::logFileStamp(start);
    const QString plain = stem + suffix;
    for (int n = 1; n <= kMaxSuffix; ++n) {
        const QString name = n == 1 ? plain : stem + QLatin1Char('-') + QString::number(n) + suffix;
        // NewOnly fails when the name exists, so two runs racing for one name cannot both get it.
        QFile file(name);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            return name;
        }
        if (!QFileInfo::exists(name)) {
            break; // the directory is missing or unwritable: no other name would do better
        }
    }
    return plain;
}

bool LogWriter::append(const QString &path, const QString &line, const QString &lostNote) {
    // Unbuffered, so the write's result is what reached the file, not what reached a buffer.
    QFile file(path);
    // A device (/dev/full, a terminal) has no end to append at, nor to seek to.
    const QFileInfo info(path);
    const QIODevice::OpenMode mode = info.exists() && !info.isFile()
                                         ? QIODevice::WriteOnly | QIODevice::Unbuffered
                                         : QIODevice::ReadWrite | QIODevice::Append | QIODevice::Unbuffered;
    if (!file.open(mode)) {
        error = file.errorString();
        ++lost;
        return false;
    }
    const qint64 size = file.size();
    QByteArray bytes;
    if (checkLineStart && !endsWithLineFeed(file, size)) {
        bytes += '\n';
    }
    if (lost > 0 && !lostNote.isEmpty()) {
        bytes += lostNote.toLocal8Bit() + '\n';
    }
    // In the locale's encoding, as a text stream writes by default.
    bytes += line.toLocal8Bit() + '\n';
    qint64 written = writeBytes(file, bytes);
    // A write that falls short sets no error (a disk that fills up mid-line): writing the rest
    // either completes the line or fails with the cause.
    while (written > 0 && written < bytes.size()) {
        const qint64 more = writeBytes(file, bytes.mid(int(written)));
        if (more <= 0) {
            break;
        }
        written += more;
    }
    if (written == bytes.size()) {
        lost = 0;
        checkLineStart = false;
        return true;
    }
    error = file.error() != QFileDevice::NoError
                ? file.errorString()
                : QStringLiteral("%1 of %2 bytes written").arg(qMax<qint64>(written, 0)).arg(bytes.size());
    if (written > 0) {
        cutBack(file, size); // when this fails too, the next line starts on a new line
    }
    checkLineStart = true;
    ++lost;
    return false;
}

qint64 LogWriter::writeBytes(QFile &file, const QByteArray &bytes) {
    return file.write(bytes);
}

bool LogWriter::cutBack(QFile &file, qint64 size) {
    return file.resize(size);
}
