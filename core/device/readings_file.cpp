#include "core/device/readings_file.h"

#include "core/device/readings.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <cmath>

namespace {

const char *const kQuantities[] = {"temperature", "humidity", "dewpoint"};
const char *const kValueColumns[] = {"_c", "_pct", "_c"};

struct Cells {
    QString value;
    QString milliamps;
    QString volts5;
    QString volts10;
};

QString fixed3(float v) {
    return std::isfinite(v) ? QString::number(static_cast<double>(v), 'f', 3) : QString();
}

Cells cellsOf(const std::optional<double> &value, int decimals, float min, float max) {
    if (!value) {
        return {};
    }
    Cells c;
    c.value = QString::number(*value, 'f', decimals);
    // A range without span (or upside down) has no analog equivalent.
    if (Readings::hasSpan(min, max)) {
        const Readings::Analog a = Readings::analog(min, max, static_cast<float>(*value));
        c.milliamps = fixed3(a.milliamps);
        c.volts5 = fixed3(a.volts5);
        c.volts10 = fixed3(a.volts10);
    }
    return c;
}

QVector<Cells> valueCells(const ReadingRow &row) {
    if (row.status != ReadingStatus::Ok) {
        return {Cells(), Cells(), Cells()};
    }
    return {cellsOf(row.temperature, row.decimals, row.rangeMin, row.rangeMax),
            cellsOf(row.humidity, row.decimals, Readings::HumidityMin, Readings::HumidityMax),
            cellsOf(row.dewPoint, row.decimals, row.rangeMin, row.rangeMax)};
}

} // namespace

QString readingStatusText(ReadingStatus status) {
    switch (status) {
    case ReadingStatus::Ok:
        return QStringLiteral("ok");
    case ReadingStatus::NoReply:
        return QStringLiteral("no-reply");
    case ReadingStatus::Exception:
        return QStringLiteral("exception");
    case ReadingStatus::PortLost:
        return QStringLiteral("port-lost");
    }
    return QString();
}

QByteArray readingsHeader() {
    QByteArray header("time,address,status");
    for (int q = 0; q < 3; ++q) {
        const QByteArray name(kQuantities[q]);
        header += ',' + name + kValueColumns[q] + ',' + name + "_ma," + name + "_v5," + name + "_v10";
    }
    return header;
}

QStringList readingCells(const ReadingRow &row) {
    QStringList cells{row.time.toUTC().toString(Qt::ISODateWithMs), QString::number(row.address),
                      readingStatusText(row.status)};
    for (const Cells &c : valueCells(row)) {
        cells << c.value << c.milliamps << c.volts5 << c.volts10;
    }
    return cells;
}

QByteArray readingsCsvLine(const ReadingRow &row) {
    return readingCells(row).join(QLatin1Char(',')).toLatin1();
}

QJsonObject readingJson(const ReadingRow &row) {
    QJsonObject o;
    o[QStringLiteral("time")] = row.time.toUTC().toString(Qt::ISODateWithMs);
    o[QStringLiteral("address")] = row.address;
    o[QStringLiteral("status")] = readingStatusText(row.status);
    const QVector<Cells> cells = valueCells(row);
    for (int q = 0; q < 3; ++q) {
        const QString name = QLatin1String(kQuantities[q]);
        const auto put = [&](const QString &key, const QString &text) {
            if (!text.isEmpty()) {
                o[key] = text.toDouble();
            }
        };
        put(name + QLatin1String(kValueColumns[q]), cells[q].value);
        put(name + QLatin1String("_ma"), cells[q].milliamps);
        put(name + QLatin1String("_v5"), cells[q].volts5);
        put(name + QLatin1String("_v10"), cells[q].volts10);
    }
    return o;
}

bool ReadingsFile::open(const QString &path, QString *error) {
    // Append, never truncate: a run that fails to start, or restarts, keeps the rows already there.
    // A device or a pipe has no end to append at, nor a first line to look at (it may never end).
    const QFileInfo info(path);
    const bool regular = !info.exists() || info.isFile();
    QFile file(path);
    if (!file.open(regular ? QIODevice::WriteOnly | QIODevice::Append : QIODevice::WriteOnly)) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    file.close();
    if (regular && file.open(QIODevice::ReadOnly)) {
        const QByteArray header = readingsHeader();
        QByteArray first = file.readLine(header.size() + 3);
        while (first.endsWith('\n') || first.endsWith('\r')) {
            first.chop(1);
        }
        if (!first.isEmpty() && first != header) {
            *error = QStringLiteral("%1 begins with another header than this program's columns: give "
                                    "another file so that two formats do not mix")
                         .arg(path);
            return false;
        }
    }
    filePath = path;
    headerWritten = false;
    failed = 0;
    return true;
}

bool ReadingsFile::write(const ReadingRow &row) {
    if (!isOpen()) {
        return false;
    }
    QByteArray bytes = readingsCsvLine(row);
    // The header opens a new or empty file (also one made again after it vanished); a device or
    // a pipe has it once.
    const QFileInfo info(filePath);
    const bool header = info.exists() && !info.isFile() ? !headerWritten : info.size() == 0;
    if (header) {
        bytes = readingsHeader() + '\n' + bytes;
    }
    if (!writer.append(filePath, QString::fromLatin1(bytes))) {
        ++failed;
        return false;
    }
    headerWritten = headerWritten || header;
    return true;
}
