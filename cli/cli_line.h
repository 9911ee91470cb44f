#ifndef ZR_CLI_CLI_LINE_H
#define ZR_CLI_CLI_LINE_H

#include "core/modbus/line_reply.h"
#include "core/modbus/modbus_line.h"
#include "core/storage/log_file.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

// What the line of a run is made of, from the command line.
struct CliLineOptions {
    QString port; // as the user named it
    bool verbose = false;
    QString logPath;
    // --timeout: the reply window on a serial line, the network margin over TCP; 0 when not given.
    int timeoutMs = 0;
    int pauseMs = 0;               // --pause
    bool anyTransactionId = false; // --tcp-any-id
};

// The line of one zrctl run: a ModbusLine on the port as the user named it (a device path or a
// serial server's network address), with its times from the options, and every frame traced on
// standard error (-v) and appended to a log file in the window's format (--log).
class CliLine : public QObject {
    Q_OBJECT

public:
    // The port is checked already (zrctl_main).
    explicit CliLine(const CliLineOptions &options, QObject *parent = nullptr);

    // Opens (or reopens) the port at `rate`; false with the reason, naming the port as given, in
    // *error (see openPort).
    bool open(int rate, QString *error);
    // Sends `request` and calls `done` with its finished reply (deleted later). On a serial line
    // a --timeout given is the whole reply window, without one the window of the line rate; over
    // TCP the window is always the line time plus the network margin (--timeout, 1000 ms).
    void request(const QByteArray &request, const std::function<void(const LineReply &)> &done);
    ModbusLine &modbus() { return *line; }
    int rate() const { return line->rate(); }
    // The port as the user named it.
    QString portName() const;
    // A serial server's address: its line rate is set on the server, not by the port.
    bool isNetwork() const;
    // Whether a lost connection is said on standard error, ahead of the reply that failed with it
    // (a command's one request); the watch says losses itself.
    void setSayLosses(bool on) { sayLosses = on; }

private:
    void trace(const QByteArray &bytes, ModbusLine::Trace kind);
    void logAppend(LogKind kind, const QString &text);

    ModbusLine *line;
    // The reply finished last, kept until the next one finishes (its own finished() is over by
    // then) or the end: no event is posted, and the loop woken, to delete each reply.
    std::unique_ptr<LineReply> lastReply;
    int timeoutMs = 0; // the serial reply window asked for; 0: the line rate's
    bool sayLosses = true;
    QString lostReason;
    bool verbose = false;
    QString logPath;
    LogWriter log;
};

#endif
