#ifndef ZR_CORE_DEVICE_READINGS_FILE_H
#define ZR_CORE_DEVICE_READINGS_FILE_H

#include "core/storage/log_file.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <optional>

// One row of readings: one unit at one moment, as `zrctl watch` prints it and the readings file
// (zrctl's --csv, the window's Data/Readings-*.csv) keeps it.
enum class ReadingStatus { Ok, NoReply, Exception, PortLost };

// "ok", "no-reply", "exception", "port-lost".
QString readingStatusText(ReadingStatus status);

struct ReadingRow {
    QDateTime time; // UTC
    int address = 0;
    ReadingStatus status = ReadingStatus::Ok;
    // Values in degrees Celsius and percent; absent when not read (another status, or a poll of
    // one value only).
    std::optional<double> temperature;
    std::optional<double> humidity;
    std::optional<double> dewPoint;
    int decimals = 2;
    // The device's temperature output range, over which the analog equivalents of temperature
    // and dew point are computed (humidity is always over 0..100 %).
    float rangeMin = 0;
    float rangeMax = 0;
};

// The columns: time,address,status, then each of temperature, humidity and dew point with its
// 4-20 mA, 0-5 V and 0-10 V equivalents.
QByteArray readingsHeader();
// The cells of a row in the order of the columns: time ISO-8601 UTC with milliseconds, a decimal
// point whatever the locale, cells of values not read empty, analog cells empty over a range
// without span.
QStringList readingCells(const ReadingRow &row);
// Those cells as one CSV line without its line feed.
QByteArray readingsCsvLine(const ReadingRow &row);
// The same fields as a JSON object; absent values are left out.
QJsonObject readingJson(const ReadingRow &row);

// A readings file: the header, then one row a reading, each written whole or not at all and on
// disk before write() returns. An existing file is appended to, never emptied; the header goes
// with the first row written to a new or empty file. A row that cannot be written (a full disk)
// is counted and the next one is tried again in full.
class ReadingsFile {
public:
    // Opens the file to append to it, creating it when missing. False with the reason in *error
    // when it cannot be written, or when its first line is another header: rows of two formats
    // never mix in one file. Nothing is written to the file here.
    bool open(const QString &path, QString *error);
    bool isOpen() const { return !filePath.isEmpty(); }
    QString path() const { return filePath; }
    bool write(const ReadingRow &row);
    // Rows not written in all, those not written since the last row that was, and why the last
    // one was not.
    int unwritten() const { return failed; }
    int unwrittenSinceLastRow() const { return writer.lostLines(); }
    QString lastError() const { return writer.lastError(); }

private:
    QString filePath;
    bool headerWritten = false; // on a device or a pipe, whose size says nothing
    int failed = 0;
    LogWriter writer;
};

#endif
