#ifndef ZR_CORE_BASE_MACHINE_TEXT_H
#define ZR_CORE_BASE_MACHINE_TEXT_H

#include <QDateTime>
#include <QString>

// Dates and times that go to the device, into file names or into the log and pane stamps. They
// are always written with the C locale's digits: QDateTime::toString(format) would use the
// system locale's (Arabic-Indic digits under ar_SA, for example).
namespace MachineText {

QString dateTime(const QDateTime &when, const QString &pattern);
QString date(const QDate &day, const QString &pattern);
QString time(const QTime &time, const QString &pattern);

// "yyyy-MM-dd hh:mm:ss:zzz", the stamp of every log line and pane line.
QString logStamp(const QDateTime &when);
// "yyyyMMddhhmmss", the part of the log file name that tells the runs apart.
QString logFileStamp(const QDateTime &when);
// "yyMMddhhmmss": twelve decimal digits, sent as the packed-BCD serial number.
QString serialNumberFromClock(const QDateTime &when);

} // namespace MachineText

#endif
