#include "gui/version_text.h"

#include "core/base/machine_text.h"

#include <QDate>
#include <QLocale>
#include <QTime>

QString versionTextFrom(const QString &buildDate, const QString &buildTime) {
    QString date = buildDate;
    date.replace(QStringLiteral("  "), QStringLiteral(" 0"));
    const QLocale english(QLocale::English);
    const QDate day = english.toDate(date, QStringLiteral("MMM dd yyyy"));
    const QTime time = QTime::fromString(buildTime, QStringLiteral("hh:mm:ss"));
    return QStringLiteral(" V") + MachineText::date(day, QStringLiteral("yyyy.MM.dd")) + QStringLiteral(".") +
           MachineText::time(time, QStringLiteral("hhmm"));
}
