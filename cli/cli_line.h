#ifndef ZR_CLI_CLI_LINE_H
#define ZR_CLI_CLI_LINE_H

#include "core/modbus/line_reply.h"
#include "core/modbus/modbus_line.h"
#include "core/storage/log_file.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class SerialLinePort;

// The serial line of one zrctl run: a ModbusLine on the port as the user named it, and every
// frame traced on standard error (-v) and appended to a log file in the window's format (--log).
class CliLine : public QObject {
    Q_OBJECT

public:
    CliLine(const QString &portName, bool verbose, const QString &logPath, QObject *parent = nullptr);

    // Opens (or reopens) the port at `rate`; false with the reason, naming the port as given, in
    // *error (see openPort).
    bool open(int rate, QString *error);
    // Sends `request` and calls `done` with its finished reply (deleted later); a `timeoutMs` of
    // 0 takes the reply window of the line rate.
    void request(const QByteArray &request, const std::function<void(const LineReply &)> &done,
                 int timeoutMs = 0);
    ModbusLine &modbus() { return *line; }
    int rate() const { return line->rate(); }
    // The port as the user named it.
    QString portName() const;

private:
    void trace(const QByteArray &bytes, ModbusLine::Trace kind);

    ModbusLine *line;
    // The reply finished last, kept until the next one finishes (its own finished() is over by
    // then) or the end: no event is posted, and the loop woken, to delete each reply.
    std::unique_ptr<LineReply> lastReply;
    bool verbose = false;
    QString logPath;
    LogWriter log;
};

#endif
