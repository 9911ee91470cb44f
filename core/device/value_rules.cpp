#include "core/device/value_rules.h"

#include <QChar>

#include <cmath>
#include <limits>

namespace ValueRules {

bool parseRangeLimit(const QString &text, qint16 *tenths) {
    QString number = text.trimmed();
    // Only a lone comma is a decimal comma; "1,000.5" or "1,2,3" stay refused.
    if (number.count(QLatin1Char(',')) == 1 && !number.contains(QLatin1Char('.'))) {
        number.replace(QLatin1Char(','), QLatin1Char('.'));
    }
    bool ok = false;
    // QString::toDouble reads the C locale only, whatever the system locale.
    const double degrees = number.toDouble(&ok);
    if (!ok || !std::isfinite(degrees) || std::fabs(degrees) > std::numeric_limits<float>::max()) {
        return false;
    }
    const float single = static_cast<float>(degrees);
    const float product = static_cast<float>(static_cast<double>(single) * 10.0);
    const double truncated = std::trunc(static_cast<double>(product));
    if (!std::isfinite(truncated) || truncated < std::numeric_limits<qint16>::min() ||
        truncated > std::numeric_limits<qint16>::max()) {
        return false;
    }
    *tenths = static_cast<qint16>(truncated);
    return true;
}

bool parseRange(const QString &minText, const QString &maxText, qint16 *minTenths, qint16 *maxTenths) {
    qint16 low = 0;
    qint16 high = 0;
    if (!parseRangeLimit(minText, &low) || !parseRangeLimit(maxText, &high) || low >= high) {
        return false;
    }
    *minTenths = low;
    *maxTenths = high;
    return true;
}

int listIndex(List list, int value) {
    const int index = value - list.first;
    return index >= 0 && index < list.count ? index : -1;
}

bool listValue(List list, int index, quint16 *value) {
    if (index < 0 || index >= list.count) {
        return false;
    }
    *value = static_cast<quint16>(list.first + index);
    return true;
}

QDateTime deviceClockTime(int year, int month, int day, int hour, int minute, int second) {
    if (!QDate::isValid(year, month, day) || !QTime::isValid(hour, minute, second)) {
        return QDateTime();
    }
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second), Qt::UTC);
}

QString deviceClockText(int year, int month, int day, int hour, int minute, int second) {
    const QLatin1Char zero('0');
    return QStringLiteral("%1-%2-%3 %4:%5:%6")
        .arg(year, 4, 10, zero)
        .arg(month, 2, 10, zero)
        .arg(day, 2, 10, zero)
        .arg(hour, 2, 10, zero)
        .arg(minute, 2, 10, zero)
        .arg(second, 2, 10, zero);
}

QVector<quint16> deviceClockWords(const QDate &date, const QTime &time) {
    return {static_cast<quint16>(date.year()),     static_cast<quint16>(date.month()),
            static_cast<quint16>(date.day()),      static_cast<quint16>(time.hour()),
            static_cast<quint16>(time.minute()),   static_cast<quint16>(time.second()),
            static_cast<quint16>(date.dayOfWeek())};
}

} // namespace ValueRules
