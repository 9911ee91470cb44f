#ifndef ZR_CORE_DEVICE_SETTINGS_FRAMES_H
#define ZR_CORE_DEVICE_SETTINGS_FRAMES_H

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QTime>
#include <QVector>
#include <QtGlobal>

// The write requests of the settings operations, the same for the window and zrctl.
namespace Settings {

// Slave address 0 reaches every device on the line, whatever its present address.
constexpr quint8 BroadcastAddress = 0;
// The window sends the clock and the heating schedule to this address, whatever its address field holds.
constexpr quint8 ClockAddress = 1;
// The serial number is six bytes, typed as twelve hexadecimal digits.
constexpr int SerialNumberLength = 12;

// Register values of the serial number: character pair i is byte i, two bytes a register with
// the first of them high. A pair that is not a hexadecimal number gives the byte 0x00.
QVector<quint16> serialNumberWords(const QString &text);
// Output-data register of channel 1 or 2.
quint16 outputDataRegister(int channel);

QByteArray addressFrame(quint8 target, quint16 newAddress);
QByteArray baudCodeFrame(quint8 address, quint16 code);
QByteArray serialNumberFrame(quint8 address, const QString &text);
QByteArray rangeFrame(quint8 address, qint16 minTenths, qint16 maxTenths);
QByteArray outputDataFrame(quint8 address, int channel, quint16 code);
QByteArray heaterFrame(quint8 address, bool on);
// Year, month, day, hour, minute, second and day of the week from 0x0120, a wall clock.
QByteArray clockFrame(quint8 address, const QDate &date, const QTime &time);
// Start in minutes after midnight, interval in hours, heating time in seconds, from 0x0127.
QByteArray scheduleFrame(quint8 address, const QTime &start, quint16 intervalHours, quint16 heatingSeconds);

} // namespace Settings

#endif
