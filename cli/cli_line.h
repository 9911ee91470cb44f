#ifndef ZR_CLI_CLI_LINE_H
#define ZR_CLI_CLI_LINE_H

#include "core/modbus/exchange.h"
#include "core/modbus/serial_ports.h"
#include "core/storage/log_file.h"

#include <QSerialPort>
#include <QString>

// The serial line of one zrctl run: the port at a rate, 8 data bits, no parity, one stop bit,
// no flow control, and every frame traced on standard error (-v) and appended to a log file in
// the window's format (--log).
class CliLine {
public:
    CliLine(const QString &portName, bool verbose, const QString &logPath);

    // Opens (or reopens) the port at `rate`; false with the reason, naming the port as given, in
    // *error (see openPort).
    bool open(int rate, QString *error);
    Exchange::Result transact(const QByteArray &request, int timeoutMs = 0);
    int rate() const { return port.baudRate(); }
    // The port as the user named it, and why it last failed.
    QString portName() const { return givenName; }
    QString errorText() const { return QString::fromLatin1(lineFailureText(port)); }

private:
    void trace(const QByteArray &bytes, bool tx);

    QSerialPort port;
    QString givenName;
    Exchange exchange;
    bool verbose = false;
    QString logPath;
    LogWriter log;
};

#endif
