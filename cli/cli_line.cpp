#include "cli/cli_line.h"

#include "core/base/clock.h"
#include "core/modbus/modbus_frame.h"
#include "core/modbus/port_access.h"

#include <cstdio>

CliLine::CliLine(const QString &portName, bool traceFrames, const QString &log)
    : givenName(portName), exchange(port), verbose(traceFrames), logPath(log) {
    port.setPortName(portName);
    exchange.trace = [this](const QByteArray &bytes, bool tx) { trace(bytes, tx); };
}

bool CliLine::open(int rate, QString *error) {
    if (port.isOpen()) {
        port.close();
    }
    port.setBaudRate(rate);
    port.setDataBits(QSerialPort::Data8);
    port.setParity(QSerialPort::NoParity);
    port.setStopBits(QSerialPort::OneStop);
    port.setFlowControl(QSerialPort::NoFlowControl);
    const PortAccess access = openPort(port, givenName);
    if (access.kind != PortAccess::Ok) {
        *error = access.message;
        return false;
    }
    // Bytes the driver kept from before are no replies to this run's requests.
    port.clear(QSerialPort::Input);
    return true;
}

Exchange::Result CliLine::transact(const QByteArray &request, int timeoutMs) {
    return exchange.transact(request, timeoutMs);
}

void CliLine::trace(const QByteArray &bytes, bool tx) {
    const QString hex = frameToHex(bytes);
    if (verbose) {
        std::fprintf(stderr, "%s  %s\n", tx ? "TX" : "RX", qPrintable(hex));
    }
    if (!logPath.isEmpty()) {
        // The window's line format, each line whole or not at all.
        const QDateTime now = Clock::now();
        const int lost = log.lostLines();
        const QString note =
            lost > 0
                ? logLine(now, LogKind::Status,
                          QStringLiteral("%1 log line(s) lost: the log file could not be written").arg(lost))
                : QString();
        if (!log.append(logPath, logLine(now, tx ? LogKind::Tx : LogKind::Rx, hex), note) && lost == 0) {
            std::fprintf(stderr, "zrctl: --log: cannot write %s\n", qPrintable(logPath));
        }
    }
}
