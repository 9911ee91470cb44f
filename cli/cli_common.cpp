#include "cli/cli_context.h"
#include "core/device/device_model.h"
#include "core/device/register_map.h"
#include "core/device/reply_parser.h"
#include "core/device/shared_data.h"
#include "core/modbus/modbus_frame.h"

#include <QJsonDocument>

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

int cliFailure(const Exchange::Result &result, const QString &what) {
    switch (result.outcome) {
    case Exchange::Outcome::Answer:
        return CliArgs::Done;
    case Exchange::Outcome::Exception:
        cliError(QStringLiteral("%1: the device refused it (exception code %2)")
                     .arg(what)
                     .arg(result.exceptionCode));
        return CliArgs::Refused;
    case Exchange::Outcome::Timeout:
        cliError(QStringLiteral("%1: no reply").arg(what));
        return CliArgs::NoReply;
    case Exchange::Outcome::Flood:
        cliError(
            QStringLiteral("%1: the line is flooded with 0x00 or 0xFF, reconnect the USB adapter").arg(what));
        return CliArgs::PortFailure;
    case Exchange::Outcome::PortError:
        cliError(QStringLiteral("%1: the port failed").arg(what));
        return CliArgs::PortFailure;
    }
    return CliArgs::PortFailure;
}

int cliRead(CliLine &line, int address, quint16 start, quint16 count, SharedDataClass &shared,
            QByteArray *reply) {
    const Exchange::Result result =
        line.transact(buildReadRequest(static_cast<quint8>(address), start, count));
    const int status =
        cliFailure(result, QStringLiteral("reading register 0x%1").arg(start, 4, 16, QLatin1Char('0')));
    if (status != CliArgs::Done) {
        return status;
    }
    Rx::decode(start, result.reply, shared);
    if (reply) {
        *reply = result.reply;
    }
    return CliArgs::Done;
}

int cliReadInfo(CliLine &line, int address, SharedDataClass &shared) {
    int status = cliRead(line, address, Reg::SlaveAddress, Reg::DeviceInfoCount, shared);
    if (status == CliArgs::Done && Model::hasClock(shared.deviceType, shared.firmwareVersion)) {
        status = cliRead(line, address, Reg::ClockYear, Reg::ClockBlockCount, shared);
    }
    return status;
}
