#ifndef ZR_CORE_DEVICE_VALUE_RULES_H
#define ZR_CORE_DEVICE_VALUE_RULES_H

#include <QDateTime>
#include <QString>
#include <QVector>
#include <QtGlobal>

// Rules for values typed by the user or reported by the transmitter, shared by the window and
// any other front end: none of them touches a widget.
namespace ValueRules {

// One range limit typed in degrees, as the tenths its register holds. A decimal comma counts as
// the decimal point ("-20,5" is -20.5). The degrees are taken in single precision, multiplied by
// ten, rounded to the nearest single-precision value and truncated toward zero (0.29 gives 2).
// False for a text that is not a number ("abc", blanks, "0x10") and for a value that is not
// finite or does not fit a signed 16-bit register: nothing of that may reach the device.
bool parseRangeLimit(const QString &text, qint16 *tenths);
// Both limits of an output range, as typed: each a limit as above, and the minimum below the
// maximum (a range without span has no output signal to give).
bool parseRange(const QString &minText, const QString &maxText, qint16 *minTenths, qint16 *maxTenths);

// A fixed list of the form whose item i stands for the register value first + i.
struct List {
    int first;
    int count;
};
constexpr List BaudCodes{1, 6};         // 1 = 1200 .. 6 = 115200
constexpr List HeatingIntervals{1, 24}; // hours
constexpr List HeatingTimes{0, 481};    // seconds, 0 to 480
constexpr List OutputData{0, 3};        // temperature, humidity, dew point

// The item showing a reported value, or -1 when the list has none for it.
int listIndex(List list, int value);
// The register value of item `index`; false when the index names no item (nothing selected).
bool listValue(List list, int index, quint16 *value);

// The device clock is a wall clock without a zone. A reported date and time as a zone-free
// value held as UTC, so a time in a daylight-saving gap of the computer's zone is kept as it is;
// invalid for an impossible date or time (month 13, 30 February, 24:00).
QDateTime deviceClockTime(int year, int month, int day, int hour, int minute, int second);
// The reported fields as the device holds them, "yyyy-MM-dd hh:mm:ss", even when impossible.
QString deviceClockText(int year, int month, int day, int hour, int minute, int second);
// Register values 0x0120 to 0x0126 for a wall-clock date and time: year, month, day, hour,
// minute, second, day of week (1 = Monday .. 7 = Sunday).
QVector<quint16> deviceClockWords(const QDate &date, const QTime &time);

} // namespace ValueRules

#endif
