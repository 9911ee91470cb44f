#include "cli/cli_context.h"
#include "core/device/device_model.h"
#include "core/device/register_map.h"
#include "core/device/reply_parser.h"
#include "core/device/shared_data.h"
#include "core/modbus/modbus_frame.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <unistd.h>

void cliError(const QString &text) {
    std::fprintf(stderr, "zrctl: %s\n", qPrintable(text));
    std::fflush(stderr);
}

bool cliPrint(const QString &text) {
    const QByteArray line = text.toUtf8() + '\n';
    // Straight to the descriptor in one write, not through a buffer that would keep a failed
    // line and put part of it out later in front of another.
    qint64 done = 0;
    while (done < line.size()) {
        const ssize_t n =
            ::write(STDOUT_FILENO, line.constData() + done, static_cast<size_t>(line.size() - done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += n;
    }
    return true;
}

bool cliPrintJson(const QJsonObject &object) {
    return cliPrint(QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)));
}

int cliFailure(const LineReply &reply, const QString &what) {
    switch (reply.outcome()) {
    case LineReply::Outcome::Answer:
        return CliArgs::Done;
    case LineReply::Outcome::Exception:
        cliError(QStringLiteral("%1: the device refused it (exception code %2)")
                     .arg(what)
                     .arg(reply.exceptionCode()));
        return CliArgs::Refused;
    case LineReply::Outcome::NoReply:
        cliError(QStringLiteral("%1: no reply").arg(what));
        return CliArgs::NoReply;
    case LineReply::Outcome::Flood:
        cliError(
            QStringLiteral("%1: the line is flooded with 0x00 or 0xFF, reconnect the USB adapter").arg(what));
        return CliArgs::PortFailure;
    case LineReply::Outcome::Waiting:
    case LineReply::Outcome::PortLost:
    case LineReply::Outcome::Closed:
        break;
    }
    cliError(QStringLiteral("%1: the port failed").arg(what));
    return CliArgs::PortFailure;
}

int cliExec(const std::function<void(const CliDone &finish)> &start) {
    QTimer::singleShot(0, QCoreApplication::instance(),
                       [start] { start([](int status) { QCoreApplication::exit(status); }); });
    return QCoreApplication::exec();
}

void cliRead(CliLine &line, int address, quint16 start, quint16 count, SharedDataClass &shared,
             const CliDone &then) {
    line.request(buildReadRequest(static_cast<quint8>(address), start, count),
                 [start, &shared, then](const LineReply &reply) {
                     const int status = cliFailure(
                         reply, QStringLiteral("reading register 0x%1").arg(start, 4, 16, QLatin1Char('0')));
                     if (status == CliArgs::Done) {
                         Rx::decode(start, reply.frame(), shared);
                     }
                     then(status);
                 });
}

void cliReadInfo(CliLine &line, int address, SharedDataClass &shared, const CliDone &then) {
    cliRead(line, address, Reg::SlaveAddress, Reg::DeviceInfoCount, shared,
            [&line, address, &shared, then](int status) {
                if (status == CliArgs::Done && Model::hasClock(shared.deviceType, shared.firmwareVersion)) {
                    cliRead(line, address, Reg::ClockYear, Reg::ClockBlockCount, shared, then);
                } else {
                    then(status);
                }
            });
}
