#include "core/base/machine_text.h"

#include <QLocale>

namespace MachineText {

QString dateTime(const QDateTime &when, const QString &pattern) {
    return QLocale::c().toString(when, pattern);
}

QString date(const QDate &day, const QString &pattern) {
    return QLocale::c().toString(day, pattern);
}

QString time(const QTime &time, const QString &pattern) {
    return QLocale::c().toString(time, pattern);
}

QString logStamp(const QDateTime &when) {
    return dateTime(when, QStringLiteral("yyyy-MM-dd hh:mm:ss:zzz"));
}

QString logFileStamp(const QDateTime &when) {
    return dateTime(when, QStringLiteral("yyyyMMddhhmmss"));
}

QString serialNumberFromClock(const QDateTime &when) {
    return dateTime(when, QStringLiteral("yyMMddhhmmss"));
}

} // namespace MachineText
