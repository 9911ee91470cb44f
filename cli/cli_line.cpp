#include "cli/cli_line.h"

#include "core/base/clock.h"
#include "core/modbus/line_port.h"
#include "core/modbus/modbus_frame.h"
#include "core/modbus/port_factory.h"

#include <QTimer>

#include <cstdio>

CliLine::CliLine(const CliLineOptions &context, QObject *parent)
    : QObject(parent), line(new ModbusLine(makeLinePort(context.port), LineClock::system(), this)),
      timeoutMs(context.timeoutMs), verbose(context.verbose), logPath(context.logPath) {
    LineTimes times = line->times();
    // A lost port (or connection) is looked for after 0.5 s, then after delays doubling up to 30 s.
    times.watchFirstMs = 500;
    times.watchMaxMs = 30000;
    if (timeoutMs > 0) {
        times.networkTimeoutMs = timeoutMs;
    }
    times.pauseMs = context.pauseMs;
    times.anyTransactionId = context.anyTransactionId;
    line->setTimes(times);
    connect(line, &ModbusLine::traced, this, &CliLine::trace);
    // The log names the port as the user gave it.
    connect(line, &ModbusLine::portLost, this, [this](const QString &reason) {
        lostReason = reason;
        logAppend(LogKind::Status, QStringLiteral("port %1 lost: %2").arg(portName(), reason));
    });
    connect(line, &ModbusLine::portBack, this,
            [this] { logAppend(LogKind::Status, QStringLiteral("port %1 back").arg(portName())); });
}

bool CliLine::open(int rate, QString *error) {
    if (!line->open(rate, error)) {
        return false;
    }
    // A connection is made in the background: whether it is made is said as it comes.
    logAppend(LogKind::Status,
              (isNetwork() ? QStringLiteral("port %1 connecting, its line counted at %2 baud")
                           : QStringLiteral("port %1 opened at %2 baud"))
                  .arg(portName())
                  .arg(rate));
    return true;
}

QString CliLine::portName() const {
    return line->port().name();
}

bool CliLine::isNetwork() const {
    return line->port().isNetwork();
}

void CliLine::request(const QByteArray &frame, const std::function<void(const LineReply &)> &then) {
    LineTimes times = line->times();
    times.turnaroundMs = Rx::TurnaroundMs;
    if (timeoutMs > 0 && !isNetwork()) {
        // The window asked for in place of both frames' wire time and the turnaround.
        const int wire =
            Rx::replyWindowMs(Rx::requestOfFrame(frame), frame.size(), line->rate()) - Rx::TurnaroundMs;
        times.turnaroundMs = qMax(0, timeoutMs - wire);
    }
    line->setTimes(times);
    LineReply *reply = line->send(frame);
    connect(reply, &LineReply::finished, this, [this, reply, then] {
        lastReply.reset(reply);
        if (reply->outcome() != LineReply::Outcome::PortLost || !sayLosses || !isNetwork()) {
            then(*reply);
            return;
        }
        // A connection refused or closed fails the reply before the line says why: the reason
        // first, once the line has given it.
        QTimer::singleShot(0, this, [this, reply, then] {
            if (!lostReason.isEmpty()) {
                std::fprintf(stderr, "zrctl: %s\n", qPrintable(lostReason));
                lostReason.clear();
            }
            then(*reply);
        });
    });
}

void CliLine::trace(const QByteArray &bytes, ModbusLine::Trace kind) {
    // Bytes dropped are bytes received: the trace holds everything that came, as it came.
    const bool tx = kind == ModbusLine::Trace::Tx;
    const QString hex = frameToHex(bytes);
    if (verbose) {
        std::fprintf(stderr, "%s  %s\n", tx ? "TX" : "RX", qPrintable(hex));
    }
    logAppend(tx ? LogKind::Tx : LogKind::Rx, hex);
}

void CliLine::logAppend(LogKind kind, const QString &text) {
    if (logPath.isEmpty()) {
        return;
    }
    // The window's line format, each line whole or not at all.
    const QDateTime now = Clock::now();
    const int lost = log.lostLines();
    const QString note =
        lost > 0 ? logLine(now, LogKind::Status,
                           QStringLiteral("%1 log line(s) lost: the log file could not be written").arg(lost))
                 : QString();
    if (!log.append(logPath, logLine(now, kind, text), note) && lost == 0) {
        std::fprintf(stderr, "zrctl: --log: cannot write %s\n", qPrintable(logPath));
    }
}
